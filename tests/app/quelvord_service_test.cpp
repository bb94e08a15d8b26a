// quelvord as systemd and an operator run it: its command line, the reload
// on SIGHUP, a second copy on the same configuration, a closed standard
// output and the notifications to systemd.
#include "app/ConfigFile.h"
#include "app/InstanceLock.h"
#include "tests/support/QuelvordProcess.h"
#include "tests/support/TestDatabase.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>

#include <fstream>

using namespace quelvor;
using quelvor::test::QuelvordProcess;
using quelvor::test::TestDatabase;

namespace {

std::string listening(int port)
{
    return "-Servidor socket inicializado na porta " + std::to_string(port);
}

bool accepts(int port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<uint16_t>(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    ::close(fd);
    return ok;
}

// The datagram socket systemd would listen on, bound in a folder of its own.
class NotifySocket
{
public:
    NotifySocket()
    {
        char folder[] = "/tmp/quelvor-notify-XXXXXX";
        m_dir = ::mkdtemp(folder);
        m_path = m_dir + "/notify";
        m_fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_un a{};
        a.sun_family = AF_UNIX;
        std::snprintf(a.sun_path, sizeof a.sun_path, "%s", m_path.c_str());
        ::bind(m_fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
        timeval tv{0, 200000};
        ::setsockopt(m_fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    }
    ~NotifySocket()
    {
        ::close(m_fd);
        std::filesystem::remove_all(m_dir);
    }
    const std::string& path() const { return m_path; }

    // Every message received until one begins with `prefix` (or the patience ends).
    bool waitFor(const std::string& prefix, std::chrono::milliseconds patience = std::chrono::seconds(20))
    {
        const auto deadline = std::chrono::steady_clock::now() + patience;
        while (std::chrono::steady_clock::now() < deadline) {
            for (const std::string& m : messages)
                if (m.starts_with(prefix))
                    return true;
            char buffer[4096];
            const ssize_t n = ::recv(m_fd, buffer, sizeof buffer, 0);
            if (n > 0)
                messages.emplace_back(buffer, static_cast<size_t>(n));
        }
        return false;
    }

    std::vector<std::string> messages;

private:
    std::string m_dir, m_path;
    int m_fd = -1;
};

} // namespace

TEST(QuelvordCommandLine, OptionsThatEndAtOnceAndTheirExitStatus)
{
    struct Case
    {
        std::vector<std::string> args;
        int status;
        std::string out, err;
    };
    const std::vector<Case> cases = {
        {{"--version"}, 0, "quelvord 1.0\n", ""},
        {{"--help"}, 0, "Usage: quelvord", ""},
        {{"--bogus"}, 2, "", "unknown option '--bogus'"},
        {{"--config"}, 2, "", "--config needs the path"},
        {{"--set-credentials", "erp", "X"}, 2, "", "coleta or tarvell"},
        {{"--version", "--help"}, 2, "", "only one of"},
        {{"--check-config", "--config", "/nonexistent/q.ini"}, 1, "", "no configuration file"},
    };
    for (const Case& c : cases) {
        QuelvordProcess daemon(QUELVORD_PATH, nullptr, QuelvordProcess::NoWait{}, {c.args, {}, false, {}});
        EXPECT_EQ(daemon.wait(), c.status) << c.args[0];
        if (!c.out.empty())
            EXPECT_EQ(daemon.output().rfind(c.out, 0), 0u) << c.args[0] << ": " << daemon.output();
        else
            EXPECT_EQ(daemon.output(), "") << c.args[0];
        EXPECT_NE(daemon.errors().find(c.err), std::string::npos) << c.args[0] << ": " << daemon.errors();
    }
}

TEST(QuelvordCommandLine, CheckConfigTriesTheDatabaseAndMasksThePassword)
{
    TestDatabase db(TestDatabase::Kind::Coleta);
    db.execScript("INSERT INTO PARAMETROS (PAR_ID, PAR_EMPRESA, PAR_VERSAOAPK) VALUES (1, '7', '3.2');");
    base::Settings s = test::settingsForServer(db);
    {
        QuelvordProcess good(QUELVORD_PATH, &s, QuelvordProcess::NoWait{},
                             {{"--check-config"}, {}, false, {}});
        EXPECT_EQ(good.wait(), 0) << good.output() << good.errors();
        EXPECT_NE(good.output().find("company 7, expected handheld version 3.2"), std::string::npos)
            << good.output();
        EXPECT_EQ(good.output().find(db.password()), std::string::npos) << good.output();
    }
    s.EdtSenhaColeta = "wrong";
    s.ch_integratarvell = true; // and no ERP database at all
    QuelvordProcess bad(QUELVORD_PATH, &s, QuelvordProcess::NoWait{}, {{"--check-config"}, {}, false, {}});
    EXPECT_EQ(bad.wait(), 1);
    EXPECT_NE(bad.errors().find("the collection database cannot be reached"), std::string::npos)
        << bad.errors();
    EXPECT_NE(bad.errors().find("the ERP database cannot be reached"), std::string::npos) << bad.errors();
}

TEST(QuelvordCommandLine, ConfigOptionPointsAtAFileElsewhere)
{
    TestDatabase db(TestDatabase::Kind::Coleta);
    const base::Settings s = test::settingsForServer(db);
    char folder[] = "/tmp/quelvor-etc-XXXXXX";
    const std::filesystem::path etc = ::mkdtemp(folder);
    const std::string config = (etc / "elsewhere.ini").string();
    app::saveConfig(config, s);
    // No file beside the executable: only --config can make it start.
    QuelvordProcess daemon(QUELVORD_PATH, nullptr, QuelvordProcess::NoWait{},
                           {{"--config", config}, {}, false, {}});
    EXPECT_TRUE(daemon.waitForOutput(listening(s.edtPorta))) << daemon.output();
    EXPECT_TRUE(
        daemon.waitForOutput("-Configuração em uso: arquivo " + config + ", porta " +
                             std::to_string(s.edtPorta) + ", base Coleta " + db.connectionString() +
                             ", base Tarvell (vazio), integração N, empresa 0, versão esperada (vazio), "
                             "quelvord 1.0"))
        << daemon.output();
    daemon.stop();
    std::filesystem::remove_all(etc);
}

TEST(Quelvord, SighupReloadsTheFileAndKeepsTheRunningSettingsWhenItIsInvalid)
{
    TestDatabase db(TestDatabase::Kind::Coleta);
    base::Settings s = test::settingsForServer(db);
    QuelvordProcess daemon(QUELVORD_PATH, s);
    const int first = s.edtPorta;

    // Unusable: the running settings stay and the server still listens.
    {
        std::ofstream(daemon.configFile(), std::ios::trunc) << "[Socket]\nPorta=sete\n";
    }
    daemon.signal(SIGHUP);
    ASSERT_TRUE(daemon.waitForOutput("-Configuração não recarregada (Porta inválida"));
    EXPECT_TRUE(accepts(first));

    // A new port and password: a restart on the new port, the password named only.
    s.edtPorta = test::freeLoopbackPort();
    s.edtTempoInicializacao = 3;
    app::saveConfig(daemon.configFile().string(), s);
    daemon.signal(SIGHUP);
    ASSERT_TRUE(daemon.waitForOutput(listening(s.edtPorta))) << daemon.output();
    const std::string out = daemon.output();
    EXPECT_NE(out.find(": Porta " + std::to_string(first) + " -> " + std::to_string(s.edtPorta) +
                       "; Tempo 0 -> 3."),
              std::string::npos)
        << out;
    EXPECT_NE(out.find("-Serviços encerrados"), std::string::npos);
    EXPECT_FALSE(accepts(first));

    // Only the wait changed: kept, no restart.
    s.edtTempoInicializacao = 5;
    app::saveConfig(daemon.configFile().string(), s);
    daemon.signal(SIGHUP);
    ASSERT_TRUE(daemon.waitForOutput(": Tempo 3 -> 5."));
    daemon.signal(SIGHUP);
    ASSERT_TRUE(daemon.waitForOutput(": nada mudou."));
    const std::string after = daemon.output();
    size_t stops = 0;
    for (size_t at = after.find("-Serviços encerrados"); at != std::string::npos;
         at = after.find("-Serviços encerrados", at + 1))
        ++stops;
    EXPECT_EQ(stops, 1u) << after;
    daemon.signal(SIGTERM);
    EXPECT_EQ(daemon.wait(), 0);
}

TEST(Quelvord, ASecondCopyOnTheSameConfigurationSaysSoAndExitsWithOne)
{
    TestDatabase db(TestDatabase::Kind::Coleta);
    const base::Settings s = test::settingsForServer(db);
    QuelvordProcess first(QUELVORD_PATH, s);
    const std::string config = first.configFile().string();
    QuelvordProcess second(QUELVORD_PATH, nullptr, QuelvordProcess::NoWait{},
                           {{"--config", config}, {}, false, {}});
    EXPECT_EQ(second.wait(), 1);
    EXPECT_NE(second.output().find("-Já existe um servidor em execução com esta configuração"),
              std::string::npos)
        << second.output();
    EXPECT_EQ(second.output().find("Iniciando tentativa"), std::string::npos);
    EXPECT_TRUE(accepts(s.edtPorta));
    // The lock goes with the process.
    first.stop();
    EXPECT_TRUE(app::InstanceLock(config).held());
}

TEST(Quelvord, AClosedStandardOutputDoesNotEndIt)
{
    TestDatabase db(TestDatabase::Kind::Coleta);
    const base::Settings s = test::settingsForServer(db);
    QuelvordProcess daemon(QUELVORD_PATH, &s, QuelvordProcess::NoWait{}, {{}, {}, true, {}});
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!accepts(s.edtPorta) && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    ASSERT_TRUE(accepts(s.edtPorta)); // each connection logs lines into the closed pipe
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_TRUE(accepts(s.edtPorta));
    daemon.signal(SIGTERM);
    EXPECT_EQ(daemon.wait(), 0);
}

TEST(Quelvord, TellsSystemdReadyStatusWatchdogAndStopping)
{
    TestDatabase db(TestDatabase::Kind::Coleta);
    const base::Settings s = test::settingsForServer(db);
    NotifySocket systemd;
    QuelvordProcess daemon(QUELVORD_PATH, &s, QuelvordProcess::NoWait{},
                           {{}, {"NOTIFY_SOCKET=" + systemd.path(), "WATCHDOG_USEC=400000"}, false, {}});
    ASSERT_TRUE(systemd.waitFor("READY=1")) << daemon.output();
    // Ready only once the listener is up. (The log line saying so may come a
    // moment later: standard output is written by a thread of its own.)
    EXPECT_TRUE(accepts(s.edtPorta));
    EXPECT_TRUE(systemd.waitFor("STATUS=Em execução na porta " + std::to_string(s.edtPorta) +
                                ", 0 coletores conectados"));
    EXPECT_TRUE(systemd.waitFor("WATCHDOG=1"));
    daemon.signal(SIGTERM);
    EXPECT_TRUE(systemd.waitFor("STOPPING=1"));
    EXPECT_EQ(daemon.wait(), 0);
}

TEST(Quelvord, NoReadinessNorWatchdogWhileTheDatabaseCannotBeReached)
{
    base::Settings s;
    s.edtPorta = test::freeLoopbackPort();
    s.EdtBaseColeta = "localhost:/nonexistent/COLETA.FDB";
    s.ch_integratarvell = false;
    NotifySocket systemd;
    QuelvordProcess daemon(QUELVORD_PATH, &s, QuelvordProcess::NoWait{},
                           {{}, {"NOTIFY_SOCKET=" + systemd.path(), "WATCHDOG_USEC=200000"}, false, {}});
    EXPECT_TRUE(systemd.waitFor("STATUS=Parado: a inicialização falhou"));
    // Long enough for a few watchdog periods; collects what came meanwhile.
    EXPECT_FALSE(systemd.waitFor("WATCHDOG=1", std::chrono::milliseconds(800)));
    for (const std::string& m : systemd.messages) {
        EXPECT_NE(m, "READY=1");
        EXPECT_NE(m, "WATCHDOG=1");
    }
}
