#pragma once
// Message boxes that other threads hand to the operator without waiting for
// them (a catalogue value of a kind the handhelds cannot take, for instance).
// The main thread takes the queued texts and shows them: the window as boxes,
// the headless server as log lines.

#include "base/HandOverQueue.h"

namespace quelvor::base {

HandOverQueue& operatorMessages();

inline void postOperatorMessage(const std::string& text)
{
    operatorMessages().put(text);
}

} // namespace quelvor::base
