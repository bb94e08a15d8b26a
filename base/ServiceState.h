#pragma once
// State of the running process that the main thread and the connection
// threads share: the settings (changed on the main thread only, read as a
// copy), the connected-devices counter and the once-per-process mark that the
// session table was emptied.

#include "base/Settings.h"

#include <atomic>

namespace quelvor::base {

struct ServiceState
{
    SettingsStore settings;
    std::atomic<int> connectedDevices{0};
    // Set by the first listener run of this process; reset only at creation.
    std::atomic<bool> inicializousocket{false};
};

} // namespace quelvor::base
