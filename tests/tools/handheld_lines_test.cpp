// The simulator's lines and command line, without a server: how typed text
// becomes wire bytes, how wire bytes are shown, and how a wrong command line
// is turned away before anything connects.
#include "tests/support/QuelvordProcess.h"
#include "tools/HandheldCommand.h"
#include "tools/HandheldLines.h"

#include <gtest/gtest.h>

#include <sstream>
#include <stdexcept>

using namespace quelvor::tools;

namespace {

const std::string S(1, '\x02');

TEST(HandheldLines, RequestsEndEveryFieldWithTheSeparatorAndRepliesSplitBack)
{
    // The trailing separator is what makes the server read the version of a
    // handshake (seven split fields) and the sequence number of a catalogue.
    Handheld h;
    EXPECT_EQ(requestLine(handshakeFields(h)),
              "1000" + S + "DEMO-01" + S + "-29.1234567" + S + "-51.9456789" + S + "1" + S + "1.0.0" + S);
    EXPECT_EQ(requestLine(catalogueFields(h, "1001", "57")),
              "1001" + S + "DEMO-01" + S + "-29.1234567" + S + "-51.9456789" + S + "57" + S);
    EXPECT_EQ(requestLine(catalogueFields(h, "1001")),
              "1001" + S + "DEMO-01" + S + "-29.1234567" + S + "-51.9456789" + S);
    // The fields each upload handler reads: 18, 25 and 11 are the last.
    EXPECT_EQ(loadFields(h, Load{}).size(), 19u);
    EXPECT_EQ(collectionFields(h, Collection{}).size(), 26u);
    EXPECT_EQ(trackingFields(h, TrackingPoint{}).size(), 12u);

    struct Case
    {
        std::string line;
        Fields fields;
    };
    const std::vector<Case> cases = {
        {"7001" + S + "S" + S + "17" + S + "N" + S, {"7001", "S", "17", "N"}},
        {"7002" + S + "S" + S + S, {"7002", "S", ""}},
        {"9999", {"9999"}},
        {"", {""}},
        {"3001" + S + "1" + S + " " + S, {"3001", "1", " "}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(replyFields(c.line), c.fields) << visibleLine(c.line, "|");

    Fields f = {"6001"};
    setField(f, 3, "x");
    EXPECT_EQ(f, (Fields{"6001", "", "", "x"}));
}

TEST(HandheldLines, TypedTextBecomesWireBytesAndWireBytesAreShownReadably)
{
    struct Case
    {
        std::string typed;
        std::optional<char> separator;
        std::string wire;
    };
    const std::vector<Case> cases = {
        {"1001\\x02a\\x02", std::nullopt, "1001" + S + "a" + S},
        {"1001|a|", '|', "1001" + S + "a" + S},
        {"1001|a|", std::nullopt, "1001|a|"},
        {"a\\\\x02", std::nullopt, "a\\x02"},       // an escaped backslash is not an escape
        {"JOSÉ\\xc9", std::nullopt, "JOS\xC9\xC9"}, // UTF-8 typed, Windows-1252 sent
        {"\\x00\\x0D\\xFF", std::nullopt, std::string("\0\r\xFF", 3)},
        {"", std::nullopt, ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(rawLine(c.typed, c.separator), c.wire) << c.typed;
    for (const char* bad : {"a\\", "a\\x0", "a\\xZZ", "a\\n"})
        EXPECT_THROW(rawLine(bad, std::nullopt), std::invalid_argument) << bad;

    EXPECT_EQ(visibleLine("3002" + S + "JOS\xC9" + S + "a\r\nb\x7F" + S, "|"),
              "3002|JOSÉ|a\\x0D\\x0Ab\\x7F|");
    EXPECT_EQ(visibleLine("2001" + S + "3" + S, " \xC2\xB7 "), "2001 · 3 · ");
    EXPECT_EQ(visibleLine("", "|"), "");

    EXPECT_EQ(catalogueCode("producers"), "1002");
    EXPECT_EQ(catalogueCode("1005"), "1005");
    EXPECT_EQ(catalogueCode("1006"), std::nullopt);
    EXPECT_EQ(catalogueName("1004"), "reasons");
}

TEST(HandheldCommandLine, AWrongCommandLineIsTurnedAwayBeforeConnecting)
{
    // Nothing listens on this port: a case that connected would end with 2.
    const std::string port = std::to_string(quelvor::test::freeLoopbackPort());
    const std::vector<std::vector<std::string>> cases = {
        {},
        {"frobnicate"},
        {"--bogus", "handshake"},
        {"-x", "handshake"},
        {"--port"},
        {"--port", "70000", "handshake"},
        {"--port", "seventy", "handshake"},
        {"--timeout", "0", "handshake"},
        {"--timeout", "1s", "handshake"},
        {"--quiet=yes", "handshake"},
        {"handshake", "extra"},
        {"catalogue"},
        {"catalogue", "cows"},
        {"catalogue", "routes", "users"},
        {"key", "--since", "1"},
        {"route", "--collections", "-1"},
        {"load", "--set", "x=1"},
        {"load", "--set", "14"},
        {"load", "--user", "A\\q"},
        {"raw"},
        {"raw", "a\\q"},
        {"raw", "--sep", "ab", "x"},
        {"raw", "--sep", "\\", "x"},
    };
    for (const auto& c : cases) {
        std::vector<std::string> args = {"--port", port};
        args.insert(args.end(), c.begin(), c.end());
        std::ostringstream out, err;
        std::string shown;
        for (const auto& a : c)
            shown += a + " ";
        EXPECT_EQ(runHandheldCommand(args, out, err), 3) << shown << "\n" << err.str();
        EXPECT_NE(err.str().find("Try 'quelvor-handheld --help'."), std::string::npos) << shown;
        EXPECT_EQ(out.str(), "") << shown;
    }

    std::ostringstream out, err;
    EXPECT_EQ(runHandheldCommand({"route", "--help"}, out, err), 0);
    EXPECT_EQ(out.str(), handheldUsage());
    for (const char* part : {"--host", "--port", "--device", "--company", "--version", "--timeout",
                             "Exit status", "\\x02", "--sep"})
        EXPECT_NE(out.str().find(part), std::string::npos) << part;
}

} // namespace
