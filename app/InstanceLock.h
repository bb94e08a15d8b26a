#pragma once
// One server per configuration: a running server holds an exclusive flock()
// on the folder of its configuration file, for as long as it lives. A folder
// lock needs no file of its own, so it works where the folder is read-only to
// the server (/etc/quelvor under the systemd unit), survives the window's
// save, which replaces the file, and goes with the process however it ends.
// Main thread only.

#include <string>

namespace quelvor::app {

inline constexpr const char* kServidorJaEmExecucao =
    "Já existe um servidor em execução com esta configuração";

class InstanceLock
{
public:
    // Tries to take the lock for the configuration file at `configPath`
    // without waiting; held() tells whether it did.
    explicit InstanceLock(const std::string& configPath);
    ~InstanceLock();
    InstanceLock(const InstanceLock&) = delete;
    InstanceLock& operator=(const InstanceLock&) = delete;

    // This process holds the lock.
    bool held() const { return m_held; }
    // Another process holds it: a server already runs with this configuration.
    bool takenByOther() const { return m_takenByOther; }
    // Why the lock could not be tried at all (a missing folder, say); the
    // server then runs unguarded, as it did before there was a lock.
    const std::string& problem() const { return m_problem; }

private:
    int m_fd = -1;
    bool m_held = false;
    bool m_takenByOther = false;
    std::string m_problem;
};

} // namespace quelvor::app
