// The simulator's --explain names each field as docs/protocol.md does: every
// field table of the document ("| `6001` request | Name | Holds |") is read
// and compared, position by position, with what the simulator says.
#include "tools/FieldNames.h"
#include "tools/HandheldLines.h"

#include <gtest/gtest.h>

#include <fstream>
#include <regex>

using namespace quelvor::tools;

namespace {

struct FieldTable
{
    Direction direction;
    std::string code;
    std::vector<std::pair<size_t, std::string>> fields; // position, name
};

std::vector<FieldTable> fieldTablesOf(const std::string& path)
{
    std::ifstream in(path);
    if (!in)
        throw std::runtime_error("cannot read " + path);
    static const std::regex head(R"(^\| `(\d{4})` (request|reply) \| Name \|)");
    static const std::regex row(R"(^\| (\d+) \| `([^`]+)` \|)");
    std::vector<FieldTable> tables;
    bool inTable = false;
    std::string line;
    std::smatch m;
    while (std::getline(in, line)) {
        if (std::regex_search(line, m, head)) {
            tables.push_back({m[2] == "request" ? Direction::Sent : Direction::Received, m[1], {}});
            inTable = true;
        } else if (inTable && std::regex_search(line, m, row)) {
            tables.back().fields.emplace_back(std::stoul(m[1]), m[2]);
        } else if (!line.starts_with("|")) {
            inTable = false;
        }
    }
    return tables;
}

TEST(FieldNames, AreThoseOfTheProtocolReference)
{
    const std::vector<FieldTable> tables = fieldTablesOf(QUELVOR_SCHEMA_DIR "/../docs/protocol.md");
    ASSERT_GE(tables.size(), 16u);
    for (const FieldTable& t : tables) {
        SCOPED_TRACE(t.code + (t.direction == Direction::Sent ? " request" : " reply"));
        ASSERT_FALSE(t.fields.empty());
        for (size_t i = 0; i < t.fields.size(); ++i) {
            EXPECT_EQ(t.fields[i].first, i) << "the table skips or repeats a position";
            EXPECT_EQ(fieldName(t.direction, t.code, t.fields[i].first), t.fields[i].second);
        }
        // The table goes as far as the simulator names fields.
        EXPECT_EQ(fieldName(t.direction, t.code, t.fields.size()),
                  t.direction == Direction::Sent ? "not read" : "not expected");
    }
    // The five catalogues share the tables of 1001 and 2001.
    for (const char* code : {"1002", "1003", "1004", "1005"})
        EXPECT_EQ(fieldName(Direction::Sent, code, 4), "since");
    for (const char* code : {"2002", "2003", "2004", "2005"})
        EXPECT_EQ(fieldName(Direction::Received, code, 1), "rows");
}

TEST(FieldNames, ExplainEachFieldAndHowTheServerCountsThem)
{
    const std::string S(1, kStx);
    struct Case
    {
        Direction direction;
        std::string wire;
        std::vector<std::string> lines;
    };
    const std::vector<Case> cases = {
        {Direction::Sent,
         "4001" + S + "D" + S + "1" + S + "2" + S + "A7" + S,
         {"    0  code       4001", "    1  device     D", "    2  latitude   1", "    3  longitude  2",
          "    4  reference  A7",
          "    the server counts 6 fields: the trailing separator adds an empty last one"}},
        // Without the trailing separator the count is the fields shown.
        {Direction::Sent, "1001" + S + "D", {"    0  code    1001", "    1  device  D"}},
        {Direction::Sent,
         "1001",
         {"    0  code  1001", "    no separator: one field to the server, which answers nothing"}},
        // An unknown code still carries the handheld's identity; more is not read.
        {Direction::Sent,
         "1234" + S + "D" + S + "1" + S + "2" + S + "x" + S,
         {"    0  code       1234", "    1  device     D", "    2  latitude   1", "    3  longitude  2",
          "    4  not read   x",
          "    the server counts 6 fields: the trailing separator adds an empty last one"}},
        {Direction::Sent,
         "0000",
         {"    the server answers a line beginning with 0000 with a bare 9999, nothing else"}},
        {Direction::Received,
         "9999",
         {"    9999 without separator: the answer to a line beginning with 0000"}},
        // A blank in a row line is a null or an empty value; an empty field says so.
        {Direction::Received,
         "3004" + S + "1" + S + " " + S + S,
         {"    0  code                 3004", "    1  MOT_ID               1",
          "    2  MOT_DESCRICAO        \" \" (null or empty in the database)",
          "    3  SEQUENCIALALTERACAO  (empty)"}},
        {Direction::Received,
         "7002" + S + "S" + S + "7" + S + "extra" + S,
         {"    0  code            7002", "    1  acknowledged    S", "    2  COL_IDORIGINAL  7",
          "    3  not expected    extra"}},
        // Values are shown as the lines are: Windows-1252 decoded, controls as \xHH.
        {Direction::Received,
         "3001" + S + "3" + S +
             "SERRA GA\xDA"
             "CHA\x01" +
             S + "3" + S,
         {"    0  code                 3001", "    1  ROT_CODIGO           3",
          "    2  ROT_DESCRICAO        SERRA GAÚCHA\\x01", "    3  SEQUENCIALALTERACAO  3"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(visibleLine(c.wire, "|"));
        EXPECT_EQ(explainLine(c.direction, c.wire, "|"), c.lines);
    }
}

} // namespace
