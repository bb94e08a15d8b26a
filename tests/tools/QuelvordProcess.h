#pragma once
// quelvord as an operator runs it, for the handheld tests and the load
// benchmark: a copy of the executable in a folder of its own with its
// configuration file beside it, its log collected in a file there, stopped
// with SIGTERM (SIGKILL when that does not end it) and the folder removed when
// the object goes. Throws std::runtime_error when it does not start listening.
// One object belongs to one thread.

#include "app/ConfigFile.h"
#include "app/Settings.h"

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

class QuelvordProcess
{
public:
    // settings.edtPorta is the port it listens on.
    QuelvordProcess(const std::string& executable, const app::Settings& settings,
                    std::chrono::seconds patience = std::chrono::seconds(30))
    {
        char folder[] = "/tmp/quelvord-run-XXXXXX";
        if (!::mkdtemp(folder))
            throw std::runtime_error("cannot create a folder under /tmp");
        m_dir = folder;
        const std::filesystem::path exe = m_dir / "quelvord";
        std::filesystem::copy_file(executable, exe);
        app::saveConfig((m_dir / "ConfigQuelvorLeite.ini").string(), settings);

        const std::string log = logPath();
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                         0644);
        posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
        const std::string path = exe.string();
        char* argv[] = {const_cast<char*>(path.c_str()), nullptr};
        const int rc = ::posix_spawn(&m_pid, path.c_str(), &actions, nullptr, argv, environ);
        posix_spawn_file_actions_destroy(&actions);
        if (rc != 0) {
            m_pid = -1;
            std::filesystem::remove_all(m_dir);
            throw std::runtime_error("cannot start " + path);
        }

        const std::string ready =
            "-Servidor socket inicializado na porta " + std::to_string(settings.edtPorta);
        const auto deadline = std::chrono::steady_clock::now() + patience;
        while (output().find(ready) == std::string::npos) {
            int status = 0;
            if (::waitpid(m_pid, &status, WNOHANG) == m_pid || std::chrono::steady_clock::now() > deadline) {
                const std::string text = output();
                stop();
                std::filesystem::remove_all(m_dir);
                throw std::runtime_error("quelvord did not start listening:\n" + text);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    }

    ~QuelvordProcess()
    {
        stop();
        std::error_code ignored;
        std::filesystem::remove_all(m_dir, ignored);
    }

    QuelvordProcess(const QuelvordProcess&) = delete;
    QuelvordProcess& operator=(const QuelvordProcess&) = delete;

    // Everything it has written so far, standard output and error together.
    std::string output() const
    {
        std::ifstream in(logPath(), std::ios::binary);
        std::ostringstream text;
        text << in.rdbuf();
        return text.str();
    }

    // SIGTERM, then SIGKILL when it has not ended within 20 s. Idempotent.
    void stop()
    {
        if (m_pid <= 0)
            return;
        ::kill(m_pid, SIGTERM);
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        int status = 0;
        while (::waitpid(m_pid, &status, WNOHANG) != m_pid) {
            if (std::chrono::steady_clock::now() > deadline) {
                ::kill(m_pid, SIGKILL);
                ::waitpid(m_pid, &status, 0);
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        m_pid = -1;
    }

private:
    std::string logPath() const { return (m_dir / "quelvord.log").string(); }

    std::filesystem::path m_dir;
    pid_t m_pid = -1;
};

} // namespace quelvor::test
