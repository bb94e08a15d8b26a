// The execute event: one line read, one handler built with the settings of
// that moment, answered and destroyed.
#include "base/OperatorLog.h"
#include "base/ServiceState.h"
#include "server/ListenerEvents.h"
#include "server/RequestIntake.h"
#include "tests/support/TestDatabase.h"

#include <gtest/gtest.h>

#include <deque>

using namespace quelvor;
using quelvor::test::TestDatabase;

namespace {

const std::string S(1, '\x02');

// A connection that hands out scripted lines, then fails like a closed socket.
struct ScriptedConnection : server::DeviceConnection
{
    ScriptedConnection() { sessaoReiniciada = true; } // its connect event reset the row
    std::deque<std::string> incoming;
    std::vector<std::string> written;
    std::string readLine() override
    {
        if (incoming.empty())
            throw server::ReadError("Conexão encerrada pelo dispositivo.");
        std::string l = incoming.front();
        incoming.pop_front();
        return l;
    }
    void writeLine(const std::string& line) override { written.push_back(line); }
    bool connected() const override { return !incoming.empty(); }
    void disconnect() override { incoming.clear(); }
    std::string peerAddress() const override { return "127.0.0.1"; }
    std::string sessionKey() const override { return "55"; }
};

base::Settings settingsFor(const TestDatabase& db)
{
    base::Settings s;
    s.EdtBaseColeta = db.connectionString();
    s.EdtUsuarioColeta = db.user();
    s.EdtSenhaColeta = db.password();
    return s;
}

std::vector<std::string> messages()
{
    std::vector<std::string> out;
    for (const auto& l : base::OperatorLog::instance().drain())
        out.push_back(l.substr(l.find('-', 10) + 1));
    return out;
}

} // namespace

TEST(RequestIntake, LinesAreAnsweredOneAfterTheOtherAndEmptyOnesIgnored)
{
    TestDatabase db(TestDatabase::Kind::Coleta);
    db.execScript("INSERT INTO SESSOESATIVAS (SES_ID, LIBERADO) VALUES (55, 'S');");
    base::SettingsStore settings;
    settings.set(settingsFor(db));
    ScriptedConnection c;
    c.incoming = {"0000", "", "4001" + S + "a" + S + "b" + S + "c" + S + "R1" + S, "9876" + S};
    messages();

    for (int i = 0; i < 4; ++i)
        EXPECT_TRUE(server::IdTCPServer1Execute(c, settings));
    EXPECT_EQ(c.written,
              (std::vector<std::string>{"9999", "5001" + S + "1" + S + "R1" + S, "9999" + S, "9999" + S}));
    const auto log = messages();
    EXPECT_EQ(std::count(log.begin(), log.end(), "Id da Conexão-->>>> : 55"), 3)
        << "no handler for the empty line";

    // The connection ends: the read failure is logged and the loop stops.
    EXPECT_FALSE(server::IdTCPServer1Execute(c, settings));
    EXPECT_EQ(messages(), std::vector<std::string>{"Conexão encerrada pelo dispositivo."});
}

TEST(RequestIntake, SettingsAreTakenAfreshForEveryLine)
{
    TestDatabase first(TestDatabase::Kind::Coleta);
    TestDatabase second(TestDatabase::Kind::Coleta);
    for (const TestDatabase* db : {&first, &second})
        db->execScript("INSERT INTO SESSOESATIVAS (SES_ID, LIBERADO) VALUES (55, 'S');");
    second.execScript("ALTER SEQUENCE GEN_CARGAS RESTART WITH 500;");
    base::SettingsStore settings;
    settings.set(settingsFor(first));
    ScriptedConnection c;
    const std::string key = "4001" + S + "a" + S + "b" + S + "c" + S + "k" + S;
    c.incoming = {key, key};
    EXPECT_TRUE(server::IdTCPServer1Execute(c, settings));
    settings.set(settingsFor(second)); // the operator edits the path meanwhile
    EXPECT_TRUE(server::IdTCPServer1Execute(c, settings));
    ASSERT_EQ(c.written.size(), 4u);
    EXPECT_EQ(c.written[0], "5001" + S + "1" + S + "k" + S);
    EXPECT_EQ(c.written[2], "5001" + S + "501" + S + "k" + S);
}

TEST(RequestIntake, FailuresEndTheConnection)
{
    TestDatabase db(TestDatabase::Kind::Coleta);
    base::SettingsStore settings;
    ScriptedConnection c;
    messages();

    // An unreachable collection database: nothing answered, nothing logged.
    base::Settings s = settingsFor(db);
    s.EdtSenhaColeta = "wrong";
    settings.set(s);
    c.incoming = {"1000" + S + "x" + S + "1" + S + "2" + S + "3" + S};
    EXPECT_ANY_THROW(server::IdTCPServer1Execute(c, settings));
    EXPECT_TRUE(c.written.empty());
    EXPECT_TRUE(messages().empty());

    // The same with an ERP path set but unreachable.
    s = settingsFor(db);
    s.EdtBaseTarvell = "localhost:/nonexistent/erp.fdb";
    s.EdtUsuarioTarvell = "KORVA";
    settings.set(s);
    c.incoming = {"0000"};
    EXPECT_ANY_THROW(server::IdTCPServer1Execute(c, settings));
    EXPECT_TRUE(c.written.empty());
}

// With the outage notices given (as the listener gives them), the operator
// hears why the handhelds are dropped: once, and once more when it is over.
TEST(RequestIntake, AnOutageIsSaidOnceWithTheDatabasesMessage)
{
    TestDatabase db(TestDatabase::Kind::Coleta);
    db.execScript("INSERT INTO SESSOESATIVAS (SES_ID, LIBERADO) VALUES (55, 'S');");
    base::SettingsStore settings;
    base::OutageNotice coleta("das Coletas");
    base::OutageNotice tarvell("do Tarvell");
    messages();

    base::Settings down = settingsFor(db);
    down.EdtSenhaColeta = "wrong";
    settings.set(down);
    for (int i = 0; i < 3; ++i) {
        ScriptedConnection c;
        c.incoming = {"0000"};
        EXPECT_ANY_THROW(server::IdTCPServer1Execute(c, settings, {&coleta, &tarvell}));
    }
    std::vector<std::string> log = messages();
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].rfind("Base de dados das Coletas inacessível: ", 0), 0u) << log[0];
    EXPECT_NE(log[0].find("password"), std::string::npos) << "Firebird's own message: " << log[0];

    base::Settings erpDown = settingsFor(db);
    erpDown.EdtBaseTarvell = "localhost:/nonexistent/erp.fdb";
    erpDown.EdtUsuarioTarvell = "KORVA";
    settings.set(erpDown);
    ScriptedConnection c;
    c.incoming = {"0000"};
    EXPECT_ANY_THROW(server::IdTCPServer1Execute(c, settings, {&coleta, &tarvell}));
    log = messages();
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[0].rfind("Base de dados das Coletas respondendo novamente", 0), 0u) << log[0];
    EXPECT_EQ(log[1].rfind("Base de dados do Tarvell inacessível: ", 0), 0u) << log[1];

    settings.set(settingsFor(db));
    c.incoming = {"0000"};
    EXPECT_TRUE(server::IdTCPServer1Execute(c, settings, {&coleta, &tarvell}));
    for (const std::string& l : messages())
        EXPECT_EQ(l.find("Base de dados"), std::string::npos)
            << "the ERP is not asked for without a path: " << l;
    EXPECT_TRUE(tarvell.inacessivel());
}

// Handles are reused: a connection whose connect event could not reset its
// row finds an earlier connection's. It is reset before anything is answered,
// so an unregistered handheld is never let in on a released row.
TEST(RequestIntake, AConnectionWhoseRowWasNotResetIsNotLetInOnAnEarlierOne)
{
    TestDatabase db(TestDatabase::Kind::Coleta);
    db.execScript("INSERT INTO SESSOESATIVAS (SES_ID, LIBERADO, EMPRESACERTA, VERSAOCORRETA) "
                  "VALUES (55, 'S', 'S', 'S');");
    base::SettingsStore settings;
    base::ServiceState state;

    // The connect event with the database unreachable leaves the row alone.
    base::Settings unreachable = settingsFor(db);
    unreachable.EdtSenhaColeta = "wrong";
    state.settings.set(unreachable);
    ScriptedConnection c;
    server::IdTCPServer1Connect(c, state);
    EXPECT_FALSE(c.sessaoReiniciada);
    EXPECT_EQ(state.connectedDevices, 1);

    // Still unreachable at the first request: it ends the connection unanswered.
    const std::string ponto = "6003" + S + "INTRUSO" + S + "-23.5" + S + "-46.6" + S + "88" + S + "-23.55" +
                              S + "-46.63" + S + "01/15/2020 07:20:00" + S + "5001" + S + "45.5" + S +
                              "12.25" + S + "5m";
    settings.set(unreachable);
    c.incoming = {ponto};
    EXPECT_ANY_THROW(server::IdTCPServer1Execute(c, settings));
    EXPECT_TRUE(c.written.empty());

    // The database answers again: the row is reset first, so the point is
    // taken as the first request of a new session, and refused.
    settings.set(settingsFor(db));
    c.incoming = {ponto, ponto};
    EXPECT_TRUE(server::IdTCPServer1Execute(c, settings));
    EXPECT_TRUE(c.sessaoReiniciada);
    EXPECT_EQ(c.written, std::vector<std::string>{"9998" + S + "SEM PERMISSAO" + S});
    EXPECT_EQ(db.queryText("SELECT COUNT(*) FROM RASTREAMENTO;"), "0");

    // The connect event that reaches the database marks the row as reset.
    state.settings.set(settingsFor(db));
    ScriptedConnection fresh;
    fresh.sessaoReiniciada = false;
    server::IdTCPServer1Connect(fresh, state);
    EXPECT_TRUE(fresh.sessaoReiniciada);
    messages();
}
