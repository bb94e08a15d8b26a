#pragma once
// State of the running process that the main thread and the connection
// threads share: the settings (changed on the main thread only, read as a
// copy), the connected-devices counter, the once-per-process mark that the
// session table was emptied, the outage notices of the two databases, and
// the status model that the operator's views read.

#include "base/OutageNotice.h"
#include "base/Settings.h"
#include "base/StatusModel.h"

#include <atomic>

namespace quelvor::base {

struct ServiceState
{
    SettingsStore settings;
    std::atomic<int> connectedDevices{0};
    // Set by the first listener run of this process; reset only at creation.
    std::atomic<bool> inicializousocket{false};
    // What the operator hears when the handhelds' requests cannot reach a
    // database; each also tells the status model (declared below: only its
    // address is taken here).
    OutageNotice coleta{"das Coletas", std::chrono::minutes(1), &status, StatusModel::Base::Coleta};
    OutageNotice tarvell{"do Tarvell", std::chrono::minutes(1), &status, StatusModel::Base::Tarvell};
    // What the window, the status page and the metrics show.
    StatusModel status;
};

} // namespace quelvor::base
