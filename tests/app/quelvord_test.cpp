// quelvord as an operator runs it: a copy of the executable with its
// configuration file beside it, talked to over a real socket, stopped with a
// signal.
#include "app/ConfigFile.h"
#include "tests/support/TestDatabase.h"
#include "tests/support/TestDevice.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <spawn.h>
#include <sys/wait.h>

using namespace quelvor;
using quelvor::test::TestDatabase;
using quelvor::test::TestDevice;

namespace {

const std::string S(1, '\x02');

int freePort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    socklen_t len = sizeof a;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    ::close(fd);
    return ntohs(a.sin_port);
}

// A copy of quelvord in a folder of its own, with its output collected.
class Daemon
{
public:
    explicit Daemon(const app::Settings* settings)
        : m_dir(std::filesystem::temp_directory_path() / ("quelvord-test-" + std::to_string(::getpid())))
    {
        std::filesystem::remove_all(m_dir);
        std::filesystem::create_directories(m_dir);
        const auto exe = m_dir / "quelvord";
        std::filesystem::copy_file(QUELVORD_PATH, exe);
        if (settings)
            app::saveConfig((m_dir / "ConfigQuelvorLeite.ini").string(), *settings);

        int out[2], err[2];
        EXPECT_EQ(::pipe(out), 0);
        EXPECT_EQ(::pipe(err), 0);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], 1);
        posix_spawn_file_actions_adddup2(&actions, err[1], 2);
        posix_spawn_file_actions_addclose(&actions, out[0]);
        posix_spawn_file_actions_addclose(&actions, err[0]);
        const std::string path = exe.string();
        char* argv[] = {const_cast<char*>(path.c_str()), nullptr};
        EXPECT_EQ(posix_spawn(&m_pid, path.c_str(), &actions, nullptr, argv, environ), 0);
        posix_spawn_file_actions_destroy(&actions);
        ::close(out[1]);
        ::close(err[1]);
        m_readers.emplace_back([this, fd = out[0]] { collect(fd, m_out); });
        m_readers.emplace_back([this, fd = err[0]] { collect(fd, m_err); });
    }
    ~Daemon()
    {
        if (m_pid > 0 && !m_exited) {
            ::kill(m_pid, SIGKILL);
            wait();
        }
        for (auto& t : m_readers)
            t.join();
        std::filesystem::remove_all(m_dir);
    }

    bool outputHas(const std::string& part)
    {
        std::lock_guard lock(m_mutex);
        return m_out.find(part) != std::string::npos;
    }
    bool waitForOutput(const std::string& part)
    {
        return test::waitUntil([&] { return outputHas(part); });
    }
    std::string output()
    {
        std::lock_guard lock(m_mutex);
        return m_out;
    }
    std::string errors()
    {
        std::lock_guard lock(m_mutex);
        return m_err;
    }
    void signal(int sig) { ::kill(m_pid, sig); }
    // The exit status, or -1 when it did not end in time.
    int wait()
    {
        const auto deadline = std::chrono::steady_clock::now() + test::kPatience;
        int status = 0;
        while (std::chrono::steady_clock::now() < deadline) {
            if (::waitpid(m_pid, &status, WNOHANG) == m_pid) {
                m_exited = true;
                // The pipes end with the process: take what is still in them.
                for (auto& t : m_readers)
                    t.join();
                m_readers.clear();
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return -1;
    }

private:
    void collect(int fd, std::string& into)
    {
        char buf[4096];
        ssize_t n;
        while ((n = ::read(fd, buf, sizeof buf)) > 0) {
            std::lock_guard lock(m_mutex);
            into.append(buf, static_cast<size_t>(n));
        }
        ::close(fd);
    }

    std::filesystem::path m_dir;
    pid_t m_pid = -1;
    bool m_exited = false;
    std::mutex m_mutex;
    std::string m_out; // guarded by m_mutex
    std::string m_err; // guarded by m_mutex
    std::vector<std::thread> m_readers;
};

} // namespace

TEST(Quelvord, ServesHandheldsAndStopsCleanlyOnSignals)
{
    TestDatabase db(TestDatabase::Kind::Coleta);
    db.execScript("INSERT INTO PARAMETROS (PAR_ID, PAR_EMPRESA, PAR_VERSAOAPK) VALUES (1, '5', '2.0');"
                  "INSERT INTO DISPOSITIVOS (DIS_ID, DIS_LIBERADO, DIS_NROTANQUES) VALUES ('HH', 'S', 1);"
                  "INSERT INTO SESSOESATIVAS (SES_ID, LIBERADO) VALUES (999999, 'S');");
    app::Settings s;
    s.edtPorta = freePort();
    s.EdtBaseColeta = db.connectionString();
    s.EdtUsuarioColeta = db.user();
    s.EdtSenhaColeta = db.password();
    s.ch_integratarvell = false;
    Daemon daemon(&s);
    ASSERT_TRUE(daemon.waitForOutput("-Servidor socket inicializado na porta " + std::to_string(s.edtPorta)))
        << daemon.output() << daemon.errors();
    TestDevice released("127.0.0.1", s.edtPorta);
    released.send("1000" + S + "HH" + S + "1" + S + "2" + S + "5" + S + "2.0" + S + "\r\n");
    const std::string reply = released.receiveUntil("9999" + S + "\r\n");
    EXPECT_EQ(reply.substr(0, 7), "2000" + S + "1" + S) << reply;
    // No device is served before the session rows of an earlier run are gone.
    EXPECT_EQ(db.queryText("SELECT COUNT(*) FROM SESSOESATIVAS WHERE SES_ID = 999999;"), "0");
    TestDevice idle("127.0.0.1", s.edtPorta);
    ASSERT_TRUE(daemon.waitForOutput("-Conectou: "));

    // SIGUSR1 runs a synchronisation, which finds the integration off.
    daemon.signal(SIGUSR1);
    EXPECT_TRUE(daemon.waitForOutput("-Integração com TARVELL não está ativa."));

    daemon.signal(SIGTERM);
    EXPECT_EQ(daemon.wait(), 0);
    const std::string out = daemon.output();
    EXPECT_NE(out.find("-Serviços encerrados"), std::string::npos) << out;
    size_t disconnects = 0;
    for (size_t at = out.find("-Desconectou: "); at != std::string::npos; at = out.find("-Desconectou: ", at + 1))
        ++disconnects;
    EXPECT_EQ(disconnects, 2u);
    EXPECT_TRUE(released.endedByServer());
}

TEST(Quelvord, WithoutConfigurationItSaysSoAndExitsWithStatusOne)
{
    Daemon daemon(nullptr);
    EXPECT_EQ(daemon.wait(), 1);
    EXPECT_NE(daemon.output().find("-Necessário efetuar a configuração do sistema"), std::string::npos);
    EXPECT_NE(daemon.errors().find("Necessário efetuar a configuração do sistema"), std::string::npos);
}

TEST(Quelvord, InterruptDuringTheStartUpWaitEndsIt)
{
    app::Settings s;
    s.edtPorta = freePort();
    s.edtTempoInicializacao = 30;
    Daemon daemon(&s);
    ASSERT_TRUE(daemon.waitForOutput("-Aguardando 1 de 30"));
    daemon.signal(SIGINT);
    EXPECT_EQ(daemon.wait(), 0);
    EXPECT_EQ(daemon.output().find("Iniciando tentativa"), std::string::npos);
}
