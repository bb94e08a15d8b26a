// Every exchange shown in docs/protocol.md, replayed against a running
// quelvord on a scratch copy of the demo data: the requests are sent as the
// document writes them and the replies must come back as it writes them, so
// the reference cannot drift from what the server does.
//
// An example is a fenced block whose info string is "exchange": each block is
// one connection. "> " lines are sent ("|" stands for STX, \xHH for a byte),
// "< " lines are the reply lines expected, shown as the simulator shows them.
// "(no answer)" expects nothing within the time limit, "(connection closed)"
// expects the server to end the connection. The date of a 2000 line is
// today's and is compared by its shape.
#include "tests/support/QuelvordProcess.h"
#include "tests/support/TestDatabase.h"
#include "tools/HandheldConnection.h"
#include "tools/HandheldLines.h"

#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <set>
#include <sstream>

using quelvor::test::freeLoopbackPort;
using quelvor::test::QuelvordProcess;
using quelvor::test::TestDatabase;
using namespace quelvor::tools;

namespace {

struct Example
{
    int firstLine = 0; // in the document, for messages
    std::vector<std::string> lines;
};

std::vector<Example> examplesOf(const std::string& path)
{
    std::ifstream in(path);
    if (!in)
        throw std::runtime_error("cannot read " + path);
    std::vector<Example> examples;
    std::string line;
    int number = 0;
    bool inside = false;
    while (std::getline(in, line)) {
        ++number;
        if (!inside && line == "```exchange") {
            inside = true;
            examples.push_back({number + 1, {}});
        } else if (inside && line.starts_with("```")) {
            inside = false;
        } else if (inside) {
            examples.back().lines.push_back(line);
        }
    }
    return examples;
}

bool isEnd(const std::string& shown)
{
    return shown == "9999|" || shown == "9999" || shown == "9998|SEM PERMISSAO|";
}

// The handshake's date is today's on the server, so it is compared by shape.
bool sameReply(const std::string& expected, const std::string& got)
{
    if (!expected.starts_with("2000|"))
        return expected == got;
    static const std::regex date(R"(\|\d\d/\d\d/\d{4}\|$)");
    return std::regex_search(expected, date) && std::regex_search(got, date) &&
           std::regex_replace(expected, date, "|") == std::regex_replace(got, date, "|");
}

class DocumentedExchanges : public ::testing::Test
{
protected:
    DocumentedExchanges() : m_database(TestDatabase::Kind::Coleta, true)
    {
        quelvor::base::Settings s = quelvor::test::settingsForServer(m_database);
        m_server = std::make_unique<QuelvordProcess>(QUELVORD_PATH, s);
        m_port = s.edtPorta;
    }
    ~DocumentedExchanges() override { m_server.reset(); }

    TestDatabase m_database;
    std::unique_ptr<QuelvordProcess> m_server;
    int m_port = 0;
};

TEST_F(DocumentedExchanges, ReplayAsWritten)
{
    const std::vector<Example> examples = examplesOf(QUELVOR_SCHEMA_DIR "/../docs/protocol.md");
    std::set<std::string> codesShown;
    for (const Example& example : examples) {
        ASSERT_FALSE(example.lines.empty()) << "an empty example at line " << example.firstLine;
        HandheldConnection connection("127.0.0.1", m_port, std::chrono::milliseconds(1500));
        std::string last;
        for (size_t i = 0; i < example.lines.size(); ++i) {
            const std::string& line = example.lines[i];
            SCOPED_TRACE("docs/protocol.md line " + std::to_string(example.firstLine + static_cast<int>(i)) +
                         ": " + line);
            if (line.starts_with("> ")) {
                const std::string wire = rawLine(line.substr(2), '|');
                codesShown.insert(wire.substr(0, wire.find(kStx)));
                connection.send(wire);
            } else if (line.starts_with("< ")) {
                std::string got;
                try {
                    got = visibleLine(connection.readLine(), "|");
                } catch (const HandheldError& e) {
                    FAIL() << "no reply line: " << e.what();
                }
                EXPECT_TRUE(sameReply(line.substr(2), got)) << "the server answered " << got;
            } else if (line == "(no answer)" || line == "(connection closed)") {
                try {
                    const std::string got = connection.readLine();
                    ADD_FAILURE() << "the server answered " << visibleLine(got, "|");
                } catch (const HandheldError& e) {
                    EXPECT_EQ(e.timedOut(), line == "(no answer)") << e.what();
                }
            } else {
                FAIL() << "an example holds only \"> \", \"< \", \"(no answer)\" and \"(connection closed)\"";
            }
            last = line;
        }
        // Nothing more than the document shows.
        if (last.starts_with("< ") && !isEnd(last.substr(2)))
            ADD_FAILURE() << "the example at line " << example.firstLine << " ends before the answer does";
    }
    // One exchange at least for every request type.
    for (const char* code : {"1000", "1001", "1002", "1003", "1004", "1005", "4001", "6001", "6002", "6003"})
        EXPECT_TRUE(codesShown.count(code)) << "no example sends " << code;
}

} // namespace
