#pragma once
// What quelvord tells systemd about itself (Type=notify): READY=1 once the
// listener is up, STOPPING=1 when it begins to stop, STATUS= with the
// service's state and the connected handhelds, and WATCHDOG=1 while it is
// healthy. Outside systemd (no NOTIFY_SOCKET) every call does nothing.
// Main thread only.

#include <chrono>
#include <optional>
#include <string>

namespace quelvor::app {

class SystemdNotifier
{
public:
    // Reads NOTIFY_SOCKET and WATCHDOG_USEC (with WATCHDOG_PID) once.
    SystemdNotifier();

    void ready();
    void stopping();
    // Sent only when it differs from the last one sent.
    void status(const std::string& text);
    void watchdog();

    // Half of the watchdog's timeout, as systemd advises; nothing when the
    // unit asks for no watchdog.
    std::optional<std::chrono::microseconds> watchdogInterval() const { return m_watchdogInterval; }

private:
    void send(const std::string& state);

    std::optional<std::chrono::microseconds> m_watchdogInterval;
    std::string m_lastStatus;
    bool m_ready = false;
};

} // namespace quelvor::app
