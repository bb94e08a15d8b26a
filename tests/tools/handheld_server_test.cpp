// The simulator against a running quelvord on a scratch copy of the demo
// data, and against stand-ins for a server that is down, mute or gone half
// way through an answer.
#include "tests/support/QuelvordProcess.h"
#include "tests/support/TestDatabase.h"
#include "tools/HandheldCommand.h"

#include <gtest/gtest.h>

#include <poll.h>

#include <sstream>
#include <thread>

using quelvor::test::freeLoopbackPort;
using quelvor::test::QuelvordProcess;
using quelvor::test::TestDatabase;
using quelvor::tools::runHandheldCommand;

namespace {

struct Outcome
{
    int status;
    std::string out;
    std::string err;
};

Outcome handheld(int port, std::vector<std::string> args)
{
    args.insert(args.begin(), {"--port", std::to_string(port)});
    std::ostringstream out, err;
    const int status = runHandheldCommand(args, out, err);
    return {status, out.str(), err.str()};
}

std::string joined(const std::vector<std::string>& args)
{
    std::string text;
    for (const std::string& a : args)
        text += a + " ";
    return text;
}

// The demo data on a scratch database, served by a quelvord of its own. No
// ERP is configured, so load keys come from GEN_CARGAS: 1, 2, ...
class DemoServer : public ::testing::Test
{
protected:
    DemoServer() : m_database(TestDatabase::Kind::Coleta, true)
    {
        quelvor::base::Settings s = quelvor::test::settingsForServer(m_database);
        m_server = std::make_unique<QuelvordProcess>(QUELVORD_PATH, s);
        m_port = s.edtPorta;
    }
    ~DemoServer() override { m_server.reset(); } // before the database is dropped

    TestDatabase m_database;
    std::unique_ptr<QuelvordProcess> m_server;
    int m_port = 0;
};

TEST_F(DemoServer, WholeRoutesLandInTheDatabase)
{
    const Outcome first = handheld(m_port, {"--quiet", "route", "--collections", "4", "--points", "6"});
    ASSERT_EQ(first.status, 0) << first.err << m_server->output();
    EXPECT_NE(first.out.find("route 1 done: load 1 opened, 4 collections and 6 tracking points acknowledged, "
                             "load closed"),
              std::string::npos)
        << first.out;
    EXPECT_EQ(first.out.find("> "), std::string::npos) << "--quiet shows no lines";

    // Route 2 named on the command line; a load without collections.
    const Outcome second = handheld(m_port, {"route", "--route", "2", "--collections", "0", "--points", "3"});
    ASSERT_EQ(second.status, 0) << second.err;
    EXPECT_NE(second.out.find("< 2000|2|S|20|N|1.0.0|1;2|"), std::string::npos) << second.out;

    EXPECT_EQ(m_database.queryText(
                  "SELECT CAR_CODIGO || ' ' || CAR_FINALIZADO || ' ' || CAR_ROTA || ' ' || CAR_NUMEROCOLETAS "
                  "|| ' ' "
                  "|| CAR_ID_APARELHO || ' ' || CAR_USUARIO || ' ' || IIF(CAR_DATAHORAFIM IS NULL, 'open', "
                  "'ended') || ' ' || IIF(CAR_TOTALCARGA = (SELECT COALESCE(SUM(COL_QTDE), 0) FROM COLETAS c "
                  "WHERE c.CAR_CODIGO = CARGAS.CAR_CODIGO), 'total', 'wrong total') FROM CARGAS ORDER BY 1;"),
              "1 S 1 4 DEMO-01 CARLOS ended total\n"
              "2 S 2 0 DEMO-01 CARLOS ended total");
    // The collections went to route 1's producers, in their order.
    EXPECT_EQ(
        m_database.queryText("SELECT c.COL_SEQU || ' ' || c.COL_PRODUTOR || ' ' || p.PRO_ROTA FROM COLETAS c "
                             "JOIN PRODUTORES p ON p.PRO_CLIFOR = c.COL_PRODUTOR ORDER BY c.COL_SEQU;"),
        "1 1001 1\n2 1002 1\n3 1003 1\n4 1004 1");
    EXPECT_EQ(m_database.queryText("SELECT RAS_CARGAABERTA || ' ' || RAS_DISPOSITIVO || ' ' || COUNT(*) "
                                   "FROM RASTREAMENTO GROUP BY RAS_CARGAABERTA, RAS_DISPOSITIVO ORDER BY 1;"),
              "1 DEMO-01 6\n2 DEMO-01 3");
}

TEST_F(DemoServer, EachCommandShowsTheAnswerAndEndsWithItsStatus)
{
    // Released without routes; released for route 1 but free to ignore it.
    m_database.execScript(
        "INSERT INTO DISPOSITIVOS (DIS_ID, DIS_LIBERADO, DIS_ROTAS) VALUES ('DEMO-03', 'S', '');\n"
        "INSERT INTO DISPOSITIVOS (DIS_ID, DIS_LIBERADO, DIS_IGNORAROTA, DIS_ROTAS) "
        "VALUES ('DEMO-04', 'S', 'S', '1');\n");
    struct Case
    {
        std::vector<std::string> args;
        int status;
        std::string inOut; // part of what is shown
        std::string inErr; // part of the failure message
    };
    const std::string refused = "< 9998|SEM PERMISSAO|";
    const std::vector<Case> cases = {
        {{"handshake"}, 0, "< 2000|2|S|20|N|1.0.0|1;2|", ""},
        {{"--version", "0.9", "handshake"}, 0, "the server expects 1.0.0", ""},
        {{"--device", "DEMO-02", "handshake"}, 1, refused, "refused: the server refused 1000"},
        {{"--company", "9", "key"}, 1, refused, "the company 9 is not the server's"},
        {{"catalogue", "routes", "--since", "2"},
         0,
         "< 2001|1|\n< 3001|3|LINHA 03 - SERRA GAÚCHA|3|\n< 9999|\n",
         ""},
        {{"catalogue", "1003"}, 0, "users (1003): 3 rows", ""},
        {{"key", "--ref", "R7"}, 0, "|R7|\n< 9999|", ""},
        {{"load", "--code", "900", "--closed"}, 0, "load 900 acknowledged", ""},
        {{"collection", "--load", "900", "--id", "7"}, 0, "< 7002|S|7|", ""},
        {{"tracking", "--load", "900", "--id", "3", "--show-sep", "·"}, 0, "< 7003·S·3·", ""},
        {{"load"}, 0, "drew the load key", ""},
        {{"load", "--code", "901", "--set", "14="}, 4, "", "6001 was not acknowledged"},
        {{"collection", "--load", "900", "--set", "12=850,5"}, 4, "", "only the end line came"},
        {{"raw", "0000"}, 0, "< 9999\n", ""},
        {{"raw", "9999\\x02"}, 0, "answer: 1 line, ended by the end line 9999", ""},
        {{"raw", "--no-handshake", "--sep", "|", "6002|H|1|2|"}, 1, refused, ""},
        {{"raw", "--sep", "|", "1001|x|y|z|abc|"},
         2,
         "< 2001|0|",
         "closed the connection (answer to 1001: 1 line"},
        {{"--timeout", "0.3", "raw", "1001"}, 0, "no answer within 0.3 s", ""},
        // raw's options stand before or after the lines; after -- all is lines.
        {{"raw", "1004|D|1|2|20|", "--sep", "|", "--no-handshake"}, 1, "> 1004|D|1|2|20|\n" + refused, ""},
        {{"raw", "1004|D|1|2|20|", "--sep=|"}, 0, "> 1004|D|1|2|20|\n< 2004|1|\n< 3004|5|", ""},
        {{"--timeout", "0.3", "raw", "--sep", "|", "--", "-1|x|", "--sep", "|"},
         0,
         "> -1|x|\n< 9999|\n",
         "\"--sep\" stands after -- and goes out as a line"},
        {{"--explain", "key", "--ref", "R9"},
         0,
         "> 4001|DEMO-01|-29.1234567|-51.9456789|R9|\n    0  code       4001\n",
         ""},
        {{"--explain", "--quiet", "handshake"},
         3,
         "",
         "--explain names the fields of the lines that --quiet hides"},
        // A route the handheld cannot drive: warned of, and nothing written.
        {{"route", "--route", "9"},
         5,
         "< 2002|10|",
         "warning: route 9 has no active producer in the producers catalogue (1002)\n"
         "quelvor-handheld: warning: route 9 is not one of the handheld's routes (1;2 in its 2000 line)\n"
         "quelvor-handheld: route 9 not driven: no load key drawn, nothing uploaded"},
        {{"route", "--route", "3", "--collections", "0"},
         5,
         "",
         "warning: route 3 is not one of the handheld's routes"},
        {{"route", "--route", "2", "--collections", "1", "--points", "0", "--device", "DEMO-03"},
         5,
         "",
         "the handheld has no routes in its 2000 line"},
        {{"-q", "route", "--route", "3", "--collections", "1", "--points", "0", "--device", "DEMO-04"},
         0,
         "route 3 done: load 4 opened, 1 collections",
         ""},
    };
    for (const Case& c : cases) {
        const Outcome r = handheld(m_port, c.args);
        SCOPED_TRACE(joined(c.args) + "\n" + r.out + r.err);
        EXPECT_EQ(r.status, c.status);
        EXPECT_NE(r.out.find(c.inOut), std::string::npos);
        EXPECT_NE(r.err.find(c.inErr), std::string::npos);
        EXPECT_EQ(r.err.empty(), c.status == 0 && c.inErr.empty());
    }
    // What was acknowledged is there; what was not, is not.
    EXPECT_EQ(m_database.queryText("SELECT CAR_CODIGO || ' ' || CAR_FINALIZADO FROM CARGAS ORDER BY 1;"),
              "2 N\n4 S\n900 S");
    EXPECT_EQ(
        m_database.queryText(
            "SELECT CAR_CODIGO || ' ' || COL_IDORIGINAL || ' ' || COL_PRODUTOR FROM COLETAS ORDER BY 1;"),
        "4 1 1008\n900 7 1001");
    EXPECT_EQ(m_database.queryText("SELECT RAS_CARGAABERTA FROM RASTREAMENTO;"), "900");
}

// Accepts one connection, reads the first line, writes `reply`, and then
// closes or waits for the handheld to go. Every wait is bounded.
class ScriptedServer
{
public:
    ScriptedServer(std::string reply, bool closeAfterReply)
    {
        m_listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof a;
        if (::bind(m_listener, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
            ::listen(m_listener, 1) != 0 ||
            ::getsockname(m_listener, reinterpret_cast<sockaddr*>(&a), &length) != 0)
            throw std::runtime_error("cannot listen on the loopback");
        m_port = ntohs(a.sin_port);
        m_thread =
            std::thread([this, reply = std::move(reply), closeAfterReply] { serve(reply, closeAfterReply); });
    }
    ~ScriptedServer()
    {
        m_thread.join();
        ::close(m_listener);
    }
    int port() const { return m_port; }

private:
    static bool readable(int fd)
    {
        pollfd p{fd, POLLIN, 0};
        return ::poll(&p, 1, 10000) > 0;
    }

    void serve(const std::string& reply, bool closeAfterReply)
    {
        if (!readable(m_listener))
            return;
        const int fd = ::accept(m_listener, nullptr, nullptr);
        std::string received;
        char chunk[1024];
        while (received.find('\n') == std::string::npos && readable(fd)) {
            const ssize_t n = ::recv(fd, chunk, sizeof chunk, 0);
            if (n <= 0)
                break;
            received.append(chunk, static_cast<size_t>(n));
        }
        ::send(fd, reply.data(), reply.size(), MSG_NOSIGNAL);
        if (!closeAfterReply) {
            while (readable(fd) && ::recv(fd, chunk, sizeof chunk, 0) > 0) {
            }
        }
        ::close(fd);
    }

    int m_listener = -1;
    int m_port = 0;
    std::thread m_thread;
};

TEST(HandheldWithoutAProperServer, EndsWithAClearConnectionErrorAndNeverHangs)
{
    const Outcome down = handheld(freeLoopbackPort(), {"--timeout", "30", "route"});
    EXPECT_EQ(down.status, 2);
    EXPECT_NE(down.err.find("cannot connect to 127.0.0.1:"), std::string::npos) << down.err;
    EXPECT_NE(down.err.find("Connection refused (is the server running?)"), std::string::npos) << down.err;

    const std::string S(1, '\x02');
    struct Case
    {
        const char* what;
        std::string reply;
        bool close;
        int status;
        std::string inErr;
    };
    const std::vector<Case> cases = {
        {"mute", "", false, 2, "no reply line from 127.0.0.1:"},
        {"gone without a word", "", true, 2, "closed the connection (answer to 1000: 0 lines received)"},
        {"gone in the middle of a line", "2000" + S + "2", true, 2,
         "closed the connection in the middle of a line"},
        {"gone before the end line", "2000" + S + "2" + S + "\r\n", true, 2,
         "closed the connection (answer to 1000: 1 line received)"},
        {"a handshake without settings", "9999" + S + "\r\n", true, 4, "no 2000 line"},
        {"a refusal", "9998" + S + "SEM PERMISSAO" + S + "\r\n", true, 1, "refused"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ScriptedServer server(c.reply, c.close);
        const Outcome r = handheld(server.port(), {"--timeout", "0.3", "handshake"});
        EXPECT_EQ(r.status, c.status);
        EXPECT_NE(r.err.find(c.inErr), std::string::npos) << r.err;
        EXPECT_NE(r.out.find("> 1000|DEMO-01|"), std::string::npos) << r.out;
    }
}

} // namespace
