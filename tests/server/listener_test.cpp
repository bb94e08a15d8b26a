#include "server/TcpListener.h"

#include "tests/support/TestDatabase.h"
#include "tests/support/TestDevice.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <cstdlib>
#include <iostream>
#include <map>
#include <mutex>
#include <set>

using namespace quelvor;
using quelvor::server::IdTCPServer;
using quelvor::test::LogMessages;
using quelvor::test::TestDatabase;
using quelvor::test::TestDevice;
using quelvor::test::waitUntil;

namespace {

const std::string kSessionRowSql =
    "Sql:UPDATE OR INSERT INTO SESSOESATIVAS(SES_ID,LIBERADO,EMPRESACERTA,VERSAOCORRETA,IP)VALUES(";

// A stop that hangs would otherwise only show as the test program's timeout.
class HangGuard
{
public:
    explicit HangGuard(const char* what) : m_what(what), m_thread([this] { watch(); }) {}
    ~HangGuard()
    {
        {
            std::lock_guard lock(m_mutex);
            m_done = true;
        }
        m_cv.notify_all();
        m_thread.join();
    }

private:
    void watch()
    {
        std::unique_lock lock(m_mutex);
        if (!m_cv.wait_for(lock, std::chrono::seconds(60), [this] { return m_done; })) {
            std::cerr << m_what << " did not return within 60 s" << std::endl;
            std::abort();
        }
    }

    const char* m_what;
    std::mutex m_mutex;
    std::condition_variable m_cv;
    bool m_done = false; // guarded by m_mutex
    std::thread m_thread;
};

// The collection database of one test, the shared state pointing at it, and a
// listener; declared in this order so the listener is gone before the drop.
class ListenerTest : public ::testing::Test
{
protected:
    ListenerTest()
    {
        base::Settings s;
        s.EdtBaseColeta = db.connectionString();
        s.EdtUsuarioColeta = db.user();
        s.EdtSenhaColeta = db.password();
        state.settings.set(s);
    }

    // "SES_ID|LIBERADO|EMPRESACERTA|VERSAOCORRETA|IP" per row, by SES_ID.
    std::map<std::string, std::string> sessionRows()
    {
        const std::string text = db.queryText(
            "SELECT SES_ID || '=' || COALESCE(LIBERADO,'<null>') || '|' || COALESCE(EMPRESACERTA,'<null>') "
            "|| '|' "
            "|| COALESCE(VERSAOCORRETA,'<null>') || '|' || COALESCE(IP,'<null>') FROM SESSOESATIVAS;");
        std::map<std::string, std::string> rows;
        size_t from = 0;
        while (from < text.size()) {
            size_t end = text.find('\n', from);
            if (end == std::string::npos)
                end = text.size();
            const std::string line = text.substr(from, end - from);
            const size_t eq = line.find('=');
            if (eq != std::string::npos)
                rows[line.substr(0, eq)] = line.substr(eq + 1);
            from = end + 1;
        }
        return rows;
    }

    std::vector<std::string> loopbacks() const
    {
        std::vector<std::string> ips{"127.0.0.1"};
        if (server.listensOnIpv6() && test::hostHasIpv6Loopback())
            ips.push_back("::1");
        return ips;
    }

    TestDatabase db{TestDatabase::Kind::Coleta};
    base::ServiceState state;
    LogMessages log;
    IdTCPServer server{state};
};

} // namespace

TEST_F(ListenerTest, DevicesGetTheirOwnSessionRowsWhichOutliveTheConnection)
{
    server.activate(0);
    ASSERT_TRUE(server.active());
    ASSERT_NE(server.port(), 0);
    if (!server.listensOnIpv6())
        std::cout << "host without IPv6: the ::1 device is left out\n";

    auto first = std::make_unique<TestDevice>("127.0.0.1", server.port());
    auto second = std::make_unique<TestDevice>(loopbacks().back(), server.port());
    ASSERT_TRUE(waitUntil([&] { return state.connectedDevices == 2; }));
    const std::vector<std::string> keys = log.keysOf("Conectou: ");
    ASSERT_EQ(keys.size(), 2u);
    EXPECT_NE(keys[0], keys[1]);

    // The counter goes up after the row is written, so both rows are there.
    std::map<std::string, std::string> rows = sessionRows();
    ASSERT_EQ(rows.size(), 2u);
    std::set<std::string> ips;
    for (const std::string& key : keys) {
        ASSERT_TRUE(rows.count(key)) << key;
        ASSERT_EQ(rows[key].substr(0, 3), "|||") << "flags not empty";
        ips.insert(rows[key].substr(3));
        EXPECT_EQ(log.countStartingWith(kSessionRowSql + key + ",'','','','"), 1u) << key;
    }
    EXPECT_EQ(ips, (std::set<std::string>{"127.0.0.1", loopbacks().back()}));

    first.reset();
    second.reset();
    ASSERT_TRUE(waitUntil([&] { return state.connectedDevices == 0; }));
    EXPECT_EQ(log.keysOf("Desconectou: ").size(), 2u);
    EXPECT_EQ(sessionRows().size(), 2u) << "session rows are kept after the disconnect";

    // A later connection resets its row, whatever a session left in it (when
    // the handle number is reused, this is the same row).
    db.execScript(
        "UPDATE SESSOESATIVAS SET LIBERADO='S', EMPRESACERTA='S', VERSAOCORRETA='N', IP='10.9.9.9';");
    TestDevice third("127.0.0.1", server.port());
    ASSERT_TRUE(waitUntil([&] { return state.connectedDevices == 1; }));
    const std::string thirdKey = log.keysOf("Conectou: ").back();
    EXPECT_EQ(sessionRows()[thirdKey], "|||127.0.0.1");
}

TEST_F(ListenerTest, SessionTableIsEmptiedAtTheFirstStartOfTheProcessOnly)
{
    // The emptying is made slow, so that a device accepted before it ends
    // would find the row of the earlier run still there.
    db.execScript(
        "SET TERM ^;\n"
        "CREATE TRIGGER SESSOESATIVAS_SLOW FOR SESSOESATIVAS BEFORE DELETE AS\n"
        "DECLARE T0 TIMESTAMP; BEGIN T0 = CAST('NOW' AS TIMESTAMP);\n"
        "WHILE (DATEDIFF(MILLISECOND FROM T0 TO CAST('NOW' AS TIMESTAMP)) < 1500) DO T0 = T0; END^\n"
        "SET TERM ;^\n"
        "INSERT INTO SESSOESATIVAS(SES_ID,LIBERADO,IP) VALUES(999999,'S','10.0.0.1');");
    server.activate(0);
    {
        // No device is accepted on either family before the emptying is done,
        // so their rows survive it.
        std::vector<std::unique_ptr<TestDevice>> devices;
        for (const std::string& ip : loopbacks())
            devices.push_back(std::make_unique<TestDevice>(ip, server.port()));
        ASSERT_TRUE(waitUntil([&] { return state.connectedDevices == static_cast<int>(devices.size()); }));
        const std::map<std::string, std::string> rows = sessionRows();
        EXPECT_EQ(rows.count("999999"), 0u) << "a device was accepted before the emptying ended";
        EXPECT_EQ(rows.size(), devices.size());
    }
    EXPECT_TRUE(state.inicializousocket);
    server.deactivate();
    EXPECT_FALSE(server.active());
    EXPECT_EQ(state.connectedDevices, 0);

    db.execScript("INSERT INTO SESSOESATIVAS(SES_ID,LIBERADO,IP) VALUES(888888,'S','10.0.0.2');");
    server.activate(0);
    TestDevice device("127.0.0.1", server.port());
    ASSERT_TRUE(waitUntil([&] { return state.connectedDevices == 1; }));
    const std::map<std::string, std::string> rows = sessionRows();
    EXPECT_EQ(rows.count("888888"), 1u) << "a restart of the service emptied the table again";
    for (const std::string& m : log.collect())
        EXPECT_EQ(m.find("Erro na query"), std::string::npos) << m;
}

TEST_F(ListenerTest, DeviceThatSendsNoWholeLineLogsConnectSqlReadFailureDisconnect)
{
    server.activate(0);
    for (const std::string& ip : loopbacks()) {
        for (const std::string sent : {"", "0000"}) {
            SCOPED_TRACE(ip + " sending '" + sent + "'");
            LogMessages lines;
            {
                TestDevice device(ip, server.port());
                device.send(sent);
            }
            ASSERT_TRUE(lines.waitForCount("Desconectou: ", 1));
            const std::vector<std::string> keys = lines.keysOf("Conectou: ");
            ASSERT_EQ(keys.size(), 1u);
            const std::vector<std::string> expected = {
                "Conectou: " + keys[0],
                kSessionRowSql + keys[0] + ",'','','','" + ip + "')",
                "Conexão encerrada pelo dispositivo.",
                "Desconectou: " + keys[0],
            };
            EXPECT_EQ(lines.collect(), expected);
            EXPECT_TRUE(waitUntil([&] { return state.connectedDevices == 0; }));
        }
    }
}

TEST_F(ListenerTest, EndLineRequestIsAnsweredOverEachFamily)
{
    server.activate(0);
    for (const std::string& ip : loopbacks()) {
        SCOPED_TRACE(ip);
        TestDevice device(ip, server.port());
        device.send("0000\r\n");
        EXPECT_EQ(device.receiveUntil("\r\n"), "9999\r\n");
        // An empty line gets nothing back, and the connection stays for the next request.
        device.send("\r\n0000\n");
        EXPECT_EQ(device.receiveUntil("\r\n"), "9999\r\n");
        EXPECT_EQ(device.unread(), "");
    }
}

TEST_F(ListenerTest, OverlongLineClosesThatConnectionOnly)
{
    server.activate(0);
    TestDevice patient("127.0.0.1", server.port());
    TestDevice flooder("127.0.0.1", server.port());
    flooder.send(std::string(server::kMaxLineBytes + 1, 'x') + "\r\n");
    EXPECT_TRUE(flooder.endedByServer());
    ASSERT_TRUE(log.waitForCount("Desconectou: ", 1));
    EXPECT_EQ(log.countStartingWith("Linha recebida maior que o limite de 16384 bytes"), 1u);
    EXPECT_TRUE(waitUntil([&] { return state.connectedDevices == 1; }));

    patient.send("0000\n");
    EXPECT_EQ(patient.receiveUntil("\r\n"), "9999\r\n");
}

TEST_F(ListenerTest, StopDisconnectsEveryDeviceWhateverItWasDoing)
{
    server.activate(0);
    std::vector<std::unique_ptr<TestDevice>> devices;
    for (const std::string& ip : loopbacks())
        for (int i = 0; i < 3; ++i)
            devices.push_back(std::make_unique<TestDevice>(ip, server.port()));
    devices.push_back(std::make_unique<TestDevice>("127.0.0.1", server.port()));
    devices.back()->send("1000\x02"
                         "123"); // half a request line
    devices.push_back(std::make_unique<TestDevice>("127.0.0.1", server.port()));
    devices.back()->send(std::string(20000, 'y')); // no LF: ended by the server on its own
    ASSERT_TRUE(log.waitForCount("Conectou: ", devices.size()));
    ASSERT_TRUE(log.waitForCount("Desconectou: ", 1)) << "the 20000-byte line was not refused";

    {
        HangGuard guard("deactivate() with connected devices");
        server.disconnectAll();
        server.deactivate();
    }
    EXPECT_FALSE(server.active());
    EXPECT_EQ(state.connectedDevices, 0);
    std::vector<std::string> connected = log.keysOf("Conectou: ");
    std::vector<std::string> disconnected = log.keysOf("Desconectou: ");
    std::sort(connected.begin(), connected.end());
    std::sort(disconnected.begin(), disconnected.end());
    EXPECT_EQ(disconnected, connected) << "one Desconectou per device";
    EXPECT_EQ(log.countStartingWith("Conexão encerrada pelo servidor."), devices.size() - 1);
    for (auto& device : devices)
        EXPECT_TRUE(device->endedByServer());
    EXPECT_THROW(TestDevice("127.0.0.1", server.port()), std::runtime_error)
        << "still accepting after the stop";
}

// A handheld's upload waits for a row that another transaction holds, with
// no limit on the wait: the stop cancels the statement instead of waiting for
// the lock, and the handheld is told nothing.
TEST_F(ListenerTest, StopCancelsAStatementThatWaitsForALock)
{
    base::Settings s = state.settings.get();
    s.tempoEsperaBloqueio = 0;
    state.settings.set(s);
    server.activate(0);
    TestDevice device("127.0.0.1", server.port());
    ASSERT_TRUE(log.waitForCount("Conectou: ", 1));
    const std::string key = log.keysOf("Conectou: ").at(0);
    // The connect event's reset first, then the release, as a handshake would.
    ASSERT_TRUE(waitUntil([&] { return sessionRows().count(key) == 1; }));
    db.execScript("UPDATE SESSOESATIVAS SET LIBERADO = 'S' WHERE SES_ID = " + key +
                  ";\nINSERT INTO CARGAS (CAR_CODIGO) VALUES (5001);");
    db::Attachment holder({db.connectionString(), db.user(), db.password(), "WIN1252"});
    holder.select("SELECT CAR_CODIGO FROM CARGAS WHERE CAR_CODIGO = 5001 WITH LOCK");

    const char* campos[] = {
        "6001", "H1",     "-23.5",  "-46.6",   "17",   "12/31/2026", "12/31/2026 06:00:00",
        "",     "1520.5", "H1",     "5001",    "S",    "x",          "JOAO",
        "12",   "20",     "1000.5", "1100.25", "99.75"};
    std::string line;
    for (const char* c : campos)
        line += std::string(c) + "\x02";
    line.pop_back();
    device.send(line + "\r\n");
    ASSERT_TRUE(log.waitForCount("Gravar carga", 1)) << "the upload did not start";
    std::this_thread::sleep_for(std::chrono::milliseconds(300)); // it now waits for the lock

    {
        HangGuard guard("deactivate() with a statement waiting for a lock");
        server.disconnectAll();
        server.deactivate();
    }
    EXPECT_EQ(state.connectedDevices, 0);
    EXPECT_TRUE(device.endedByServer());
    EXPECT_EQ(device.unread().find("7001"), std::string::npos) << "nothing acknowledged";
    EXPECT_EQ(log.countStartingWith("Erro na query: "), 1u);
    holder.commit();
}

// Past the cap a new connection is closed at once, said once (with a count),
// and the handhelds already connected go on being served.
TEST_F(ListenerTest, ConnectionsPastTheCapAreClosedAtOnce)
{
    base::Settings s = state.settings.get();
    s.maximoConexoes = 2;
    state.settings.set(s);
    server.activate(0);
    TestDevice first("127.0.0.1", server.port());
    TestDevice second("127.0.0.1", server.port());
    ASSERT_TRUE(waitUntil([&] { return state.connectedDevices == 2; }));
    TestDevice third("127.0.0.1", server.port());
    TestDevice fourth("127.0.0.1", server.port());
    EXPECT_TRUE(third.endedByServer());
    EXPECT_TRUE(fourth.endedByServer());
    EXPECT_EQ(
        log.countStartingWith("Conexão recusada: limite de 2 conexões simultâneas atingido (1 recusadas"),
        1u);
    EXPECT_EQ(log.countStartingWith("Conexão recusada"), 1u) << "at most one line a minute";
    EXPECT_EQ(state.connectedDevices, 2);
    for (TestDevice* device : {&first, &second}) {
        device->send("0000\r\n");
        EXPECT_EQ(device->receiveUntil("\r\n"), "9999\r\n");
    }
}

// The requests' attachments are kept between requests, and a stop leaves none
// behind: the database can be dropped right after it.
TEST_F(ListenerTest, AttachmentsAreKeptBetweenRequestsAndDrainedByTheStop)
{
    auto others = [&] {
        return db.queryText("SELECT COUNT(*) FROM MON$ATTACHMENTS WHERE MON$SYSTEM_FLAG = 0 AND "
                            "MON$ATTACHMENT_ID <> CURRENT_CONNECTION;");
    };
    base::Settings s = state.settings.get();
    s.poolConexoes = 32; // whatever the build's default
    state.settings.set(s);
    server.activate(0);
    TestDevice device("127.0.0.1", server.port());
    for (int i = 0; i < 3; ++i) {
        device.send("0000\r\n");
        EXPECT_EQ(device.receiveUntil("\r\n"), "9999\r\n");
    }
    EXPECT_EQ(others(), "1") << "one attachment served the three requests and stays";
    server.disconnectAll();
    server.deactivate();
    EXPECT_EQ(others(), "0");
}

TEST_F(ListenerTest, PortIsHeldWhileActiveAndFreeAfterTheStop)
{
    server.activate(0);
    const int port = server.port();

    IdTCPServer other(state);
    EXPECT_THROW(other.activate(port), std::system_error) << "the port is in use";
    EXPECT_FALSE(other.active());

    server.deactivate();
    {
        // Free for anyone, without address reuse.
        asio::io_context context;
        asio::ip::tcp::acceptor plain(context);
        plain.open(asio::ip::tcp::v4());
        plain.bind({asio::ip::address_v4::any(), static_cast<unsigned short>(port)});
        plain.listen();
        EXPECT_THROW(server.activate(port), std::system_error) << "taken on IPv4 by another program";
        EXPECT_FALSE(server.active());
    }

    // Start, stop and start again on the same port within one process.
    server.activate(port);
    EXPECT_EQ(server.port(), port);
    server.deactivate();
    server.activate(port + 65536); // the port is held in 16 bits
    EXPECT_EQ(server.port(), port);
    TestDevice device("127.0.0.1", port);
    device.send("0000\n");
    EXPECT_EQ(device.receiveUntil("\r\n"), "9999\r\n");
}

// Without a reachable collection database: the emptying and the session row
// fail quietly, the device is still counted, and a request whose handler
// cannot attach ends the connection.
TEST(ListenerWithoutDatabase, DeviceIsCountedAndItsRequestEndsTheConnection)
{
    base::ServiceState state;
    base::Settings s;
    s.EdtBaseColeta = "localhost:/nonexistent/quelvor/coleta.fdb";
    s.EdtUsuarioColeta = "KORVA";
    s.EdtSenhaColeta = "wrong";
    state.settings.set(s);
    LogMessages log;
    IdTCPServer server(state);
    server.activate(0);

    TestDevice device("127.0.0.1", server.port());
    ASSERT_TRUE(waitUntil([&] { return state.connectedDevices == 1; }));
    EXPECT_TRUE(state.inicializousocket);
    device.send("0000\r\n");
    EXPECT_TRUE(device.endedByServer());
    EXPECT_EQ(device.unread(), "") << "nothing is answered";
    ASSERT_TRUE(waitUntil([&] { return state.connectedDevices == 0; }));
    const std::vector<std::string> keys = log.keysOf("Conectou: ");
    ASSERT_EQ(keys.size(), 1u);
    // The operator is told why, once, with the database's own message: at
    // the emptying of the session table, the first attempt of this run.
    std::vector<std::string> lines = log.collect();
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0].rfind("Base de dados das Coletas inacessível: ", 0), 0u) << lines[0];
    EXPECT_NE(lines[0].find("password"), std::string::npos) << lines[0];
    lines.erase(lines.begin());
    EXPECT_EQ(lines, (std::vector<std::string>{"Conectou: " + keys[0],
                                               kSessionRowSql + keys[0] + ",'','','','127.0.0.1')",
                                               "Desconectou: " + keys[0]}));
    EXPECT_TRUE(state.coleta.inacessivel());
}
