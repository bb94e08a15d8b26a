#include "base/OperatorLog.h"

#include <thread>

namespace quelvor::base {

OperatorLog& OperatorLog::instance()
{
    static OperatorLog log;
    return log;
}

namespace {

// The line of `message` after its date-and-time text and "-": every line
// break becomes a blank, and the runs between them are copied whole.
std::string lineOf(const std::string& prefix, const std::string& message)
{
    // One line each, whatever the message holds: a database error comes in
    // several lines ("-SQL error code = -303"), and a line without its date
    // and time would stand in the log as if it were a message of its own.
    std::string line;
    line.reserve(prefix.size() + message.size());
    line += prefix;
    size_t from = 0;
    for (size_t i = 0; i < message.size(); ++i) {
        const char c = message[i];
        if (c != '\r' && c != '\n')
            continue;
        line.append(message, from, i - from);
        line += ' ';
        if (c == '\r' && i + 1 < message.size() && message[i + 1] == '\n')
            ++i; // CR LF is one break
        from = i + 1;
    }
    line.append(message, from);
    return line;
}

bool hasLineBreak(const std::string& message)
{
    for (const char c : message)
        if (c == '\r' || c == '\n')
            return true;
    return false;
}

} // namespace

std::string OperatorLog::formatLine(const Timestamp& when, const std::string& message)
{
    return lineOf(dateTimeText(when) + "-", message);
}

void OperatorLog::appendAll(std::vector<std::string>&& messages)
{
    const std::string prefix = dateTimeText(localNow()) + "-";
    for (std::string& m : messages) {
        if (!hasLineBreak(m))
            m.insert(0, prefix);
        else
            m = lineOf(prefix, m);
    }
    m_queue.putAll(std::move(messages));
    messages.clear();
}

void OperatorLog::appendAll(const std::vector<std::string>& messages)
{
    // One time for the batch, written once.
    const std::string prefix = dateTimeText(localNow()) + "-";
    std::vector<std::string> lines;
    lines.reserve(messages.size());
    for (const std::string& m : messages)
        lines.push_back(lineOf(prefix, m));
    m_queue.putAll(std::move(lines));
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
