#include "base/OperatorLog.h"

#include <thread>

namespace quelvor::base {

OperatorLog& OperatorLog::instance()
{
    static OperatorLog log;
    return log;
}

std::string OperatorLog::formatLine(const Timestamp& when, const std::string& message)
{
    // One line each, whatever the message holds: a database error comes in
    // several lines ("-SQL error code = -303"), and a line without its date
    // and time would stand in the log as if it were a message of its own.
    std::string line = dateTimeText(when) + "-";
    line.reserve(line.size() + message.size());
    for (size_t i = 0; i < message.size(); ++i) {
        const char c = message[i];
        if (c == '\r' || c == '\n') {
            line += ' ';
            if (c == '\r' && i + 1 < message.size() && message[i + 1] == '\n')
                ++i; // CR LF is one break
        } else {
            line += c;
        }
    }
    return line;
}

namespace {
std::thread::id g_mainThread;
std::function<void()> g_processPendingEvents; // set once by the main thread before other threads start
} // namespace

void setMainThreadEvents(std::function<void()> processPendingEvents)
{
    g_mainThread = std::this_thread::get_id();
    g_processPendingEvents = std::move(processPendingEvents);
}

bool isMainThread()
{
    return std::this_thread::get_id() == g_mainThread;
}

void log(const std::string& mensagem)
{
    OperatorLog::instance().append(mensagem);
    if (isMainThread() && g_processPendingEvents)
        g_processPendingEvents();
}

} // namespace quelvor::base
