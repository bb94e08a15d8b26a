#include "app/Notify.h"

#include <cstdint>
#include <systemd/sd-daemon.h>

namespace quelvor::app {

SystemdNotifier::SystemdNotifier()
{
    uint64_t usec = 0;
    if (sd_watchdog_enabled(0, &usec) > 0 && usec > 0)
        m_watchdogInterval = std::chrono::microseconds(usec / 2);
}

void SystemdNotifier::send(const std::string& state)
{
    // A failure to reach systemd changes nothing in how handhelds are
    // served; systemd notices the missing messages on its own.
    sd_notify(0, state.c_str());
}

void SystemdNotifier::ready()
{
    if (m_ready)
        return;
    m_ready = true;
    send("READY=1");
}

void SystemdNotifier::stopping()
{
    send("STOPPING=1");
}

void SystemdNotifier::status(const std::string& text)
{
    if (text == m_lastStatus)
        return;
    m_lastStatus = text;
    send("STATUS=" + text);
}

void SystemdNotifier::watchdog()
{
    send("WATCHDOG=1");
}

} // namespace quelvor::app
