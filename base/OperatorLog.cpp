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
    return dateTimeText(when) + "-" + message;
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
