#pragma once
// The operator log: every part of the server reports here. A line is the
// date-and-time text, "-" and the message (the time left out at exactly
// midnight), always one line: every line break of the message (CR LF, CR or
// LF) becomes a blank.
//
// append() may be called from any thread. It takes a short lock to queue the
// whole line and returns: it never waits for the main thread, so a connection
// thread can never block a stop that is joining it. The main thread drains the
// queued lines in call order and shows them (the Qt window's log area, or
// standard output for the headless server). Lines of different threads never
// mix within a line; the lines of one thread keep their order.

#include "base/HandOverQueue.h"
#include "base/RegionalFormat.h"

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

namespace quelvor::base {

class OperatorLog
{
public:
    // The process-wide log that both the main window and the handlers write to.
    static OperatorLog& instance();

    static std::string formatLine(const Timestamp& when, const std::string& message);

    // Any thread. Queues the line made with the current local time.
    void append(const std::string& message) { m_queue.put(formatLine(localNow(), message)); }
    // Any thread. Several lines at once, in their order, with the same time
    // and one wake-up of the main thread (a catalogue's rows).
    void appendAll(const std::vector<std::string>& messages);
    // The same, the messages' own room taken for their lines: a message
    // without line breaks becomes its line in place, with no copy when it
    // has room for the date and time in front ("Devolvendo:" of a row).
    // `messages` is left empty.
    void appendAll(std::vector<std::string>&& messages);
    // What a message needs beyond its length to become its line in place.
    static constexpr std::size_t kLineOverhead = 24;
    // Main thread: takes every queued line, oldest first.
    std::vector<std::string> drain() { return m_queue.takeAll(); }

    // Called on the appending thread after a line was queued, so that the
    // front end's loop wakes up to drain it. Must not block.
    void setWakeUp(std::function<void()> wakeUp) { m_queue.setWakeUp(std::move(wakeUp)); }

private:
    HandOverQueue m_queue;
};

// The main window's log: appends one line; on the main thread it then lets the
// main thread's pending events run (the front end decides what that means).
void log(const std::string& mensagem);

// The main thread registers itself and its pending-events handler once.
void setMainThreadEvents(std::function<void()> processPendingEvents);
bool isMainThread();

} // namespace quelvor::base
