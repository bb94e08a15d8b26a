#pragma once
// quelvord as an operator runs it, for the end-to-end tests and the load
// benchmark: a copy of the executable in a folder of its own with its
// configuration file beside it, its log collected in a file there, stopped
// with SIGTERM (SIGKILL when that does not end it) and the folder removed when
// the object goes. The first constructor throws std::runtime_error when it does
// not start listening.
// One object belongs to one thread.

#include "app/ConfigFile.h"
#include "base/Settings.h"
#include "tests/support/TestDatabase.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace quelvor::test {

// A port that nothing listens on at this moment, on the loopback.
inline int freeLoopbackPort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    socklen_t length = sizeof a;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &length);
    ::close(fd);
    return ntohs(a.sin_port);
}

// A server on the scratch collection database `db`: a free loopback port, no
// ERP, no integration.
inline base::Settings settingsForServer(const TestDatabase& db)
{
    base::Settings s;
    s.edtPorta = freeLoopbackPort();
    s.EdtBaseColeta = db.connectionString();
    s.EdtUsuarioColeta = db.user();
    s.EdtSenhaColeta = db.password();
    s.ch_integratarvell = false;
    return s;
}

class QuelvordProcess
{
public:
    // Starts it and waits until it listens on settings.edtPorta.
    QuelvordProcess(const std::string& executable, const base::Settings& settings,
                    std::chrono::seconds patience = std::chrono::seconds(30))
    {
        launch(executable, &settings);
        waitUntilListening(settings, patience);
    }

    // Starts it without waiting for anything; without settings no
    // configuration file stands beside it.
    struct NoWait
    {
    };
    QuelvordProcess(const std::string& executable, const base::Settings* settings, NoWait)
    {
        launch(executable, settings);
    }

    // What else a test may give it.
    struct Options
    {
        std::vector<std::string> args;        // after the program's name
        std::vector<std::string> environment; // NAME=value, added to this process's
        bool stdoutToClosedPipe = false;      // standard output a pipe nobody reads
        std::string iniExtra;                 // appended to the configuration file, e.g. "[Servidor]\n..."
        // Open descriptors allowed, soft and hard limit alike (0: this
        // process's). quelvord raises its soft limit to the hard one by
        // itself, so a lower limit has to be the hard one.
        unsigned long descriptorLimit = 0;
    };

    // Started with the options, then waits as the first constructor does.
    QuelvordProcess(const std::string& executable, const base::Settings& settings, const Options& options,
                    std::chrono::seconds patience = std::chrono::seconds(30))
    {
        launch(executable, &settings, options);
        waitUntilListening(settings, patience);
    }
    QuelvordProcess(const std::string& executable, const base::Settings* settings, NoWait,
                    const Options& options)
    {
        launch(executable, settings, options);
    }

    ~QuelvordProcess()
    {
        stop();
        std::error_code ignored;
        std::filesystem::remove_all(m_dir, ignored);
    }

    QuelvordProcess(const QuelvordProcess&) = delete;
    QuelvordProcess& operator=(const QuelvordProcess&) = delete;

    // What it has written so far to standard output (the operator log) and
    // to standard error (message boxes).
    std::string output() const { return readFile(m_dir / "quelvord.log"); }
    std::string errors() const { return readFile(m_dir / "quelvord.err"); }
    // The folder it runs in, and its configuration file there.
    const std::filesystem::path& folder() const { return m_dir; }
    std::filesystem::path configFile() const { return m_dir / "ConfigQuelvorLeite.ini"; }

    bool waitForOutput(const std::string& part,
                       std::chrono::seconds patience = std::chrono::seconds(20)) const
    {
        const auto deadline = std::chrono::steady_clock::now() + patience;
        while (output().find(part) == std::string::npos) {
            if (std::chrono::steady_clock::now() > deadline)
                return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return true;
    }

    // Its process id while it runs (for /proc/<pid>), -1 once it has ended.
    pid_t pid() const { return m_pid; }

    void signal(int sig) const
    {
        if (m_pid > 0)
            ::kill(m_pid, sig);
    }

    // Waits for it to end by itself; its exit status, or -1 when it is still
    // running after the patience (it is then killed).
    int wait(std::chrono::seconds patience = std::chrono::seconds(20))
    {
        const auto deadline = std::chrono::steady_clock::now() + patience;
        while (!exited()) {
            if (std::chrono::steady_clock::now() > deadline) {
                ::kill(m_pid, SIGKILL);
                ::waitpid(m_pid, nullptr, 0);
                m_pid = -1;
                return -1;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return m_status;
    }

    // SIGTERM, then SIGKILL when it has not ended within 20 s. Idempotent.
    void stop()
    {
        if (exited())
            return;
        ::kill(m_pid, SIGTERM);
        if (wait() < 0)
            m_status = -1;
    }

private:
    void waitUntilListening(const base::Settings& settings, std::chrono::seconds patience)
    {
        const std::string ready =
            "-Servidor socket inicializado na porta " + std::to_string(settings.edtPorta);
        const auto deadline = std::chrono::steady_clock::now() + patience;
        while (output().find(ready) == std::string::npos) {
            if (exited() || std::chrono::steady_clock::now() > deadline) {
                const std::string text = output() + errors();
                stop();
                std::filesystem::remove_all(m_dir);
                throw std::runtime_error("quelvord did not start listening:\n" + text);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    }

    void launch(const std::string& executable, const base::Settings* settings)
    {
        launch(executable, settings, Options());
    }

    void launch(const std::string& executable, const base::Settings* settings, const Options& options)
    {
        char folder[] = "/tmp/quelvord-run-XXXXXX";
        if (!::mkdtemp(folder))
            throw std::runtime_error("cannot create a folder under /tmp");
        m_dir = folder;
        const std::filesystem::path exe = m_dir / "quelvord";
        std::filesystem::copy_file(executable, exe);
        if (settings)
            app::saveConfig((m_dir / "ConfigQuelvorLeite.ini").string(), *settings);
        if (!options.iniExtra.empty()) {
            std::ofstream ini(m_dir / "ConfigQuelvorLeite.ini", std::ios::app | std::ios::binary);
            ini << "\n" << options.iniExtra;
        }

        const std::string out = (m_dir / "quelvord.log").string();
        const std::string err = (m_dir / "quelvord.err").string();
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
        int pipeEnds[2] = {-1, -1};
        if (options.stdoutToClosedPipe && ::pipe(pipeEnds) == 0) {
            posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], STDOUT_FILENO);
            posix_spawn_file_actions_addclose(&actions, pipeEnds[0]);
            posix_spawn_file_actions_addclose(&actions, pipeEnds[1]);
        } else {
            posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, out.c_str(),
                                             O_WRONLY | O_CREAT | O_TRUNC, 0644);
        }
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                         0644);
        const std::string path = exe.string();
        // prlimit sets the limit on itself and then executes quelvord in the
        // same process, so m_pid is quelvord's.
        const std::string prlimit = "/usr/bin/prlimit";
        const std::string nofile = "--nofile=" + std::to_string(options.descriptorLimit) + ":" +
                                   std::to_string(options.descriptorLimit);
        std::vector<char*> argv;
        if (options.descriptorLimit > 0) {
            argv.push_back(const_cast<char*>(prlimit.c_str()));
            argv.push_back(const_cast<char*>(nofile.c_str()));
        }
        argv.push_back(const_cast<char*>(path.c_str()));
        for (const std::string& a : options.args)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        std::vector<char*> env;
        for (char** e = environ; *e; ++e)
            env.push_back(*e);
        for (const std::string& e : options.environment)
            env.push_back(const_cast<char*>(e.c_str()));
        env.push_back(nullptr);
        const int rc = ::posix_spawn(&m_pid, argv[0], &actions, nullptr, argv.data(), env.data());
        posix_spawn_file_actions_destroy(&actions);
        // Nobody reads the pipe: the read end goes at once.
        for (int end : pipeEnds)
            if (end >= 0)
                ::close(end);
        if (rc != 0) {
            m_pid = -1;
            std::filesystem::remove_all(m_dir);
            throw std::runtime_error("cannot start " + path);
        }
    }

    // True once the process has ended (and been reaped); m_status holds how.
    bool exited()
    {
        if (m_pid <= 0)
            return true;
        int status = 0;
        if (::waitpid(m_pid, &status, WNOHANG) != m_pid)
            return false;
        m_status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        m_pid = -1;
        return true;
    }

    static std::string readFile(const std::filesystem::path& path)
    {
        std::ifstream in(path, std::ios::binary);
        std::ostringstream text;
        text << in.rdbuf();
        return text.str();
    }

    std::filesystem::path m_dir;
    pid_t m_pid = -1;
    int m_status = -1;
};

} // namespace quelvor::test
