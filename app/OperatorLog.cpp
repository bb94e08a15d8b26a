#include "app/OperatorLog.h"

namespace quelvor::app {

OperatorLog& OperatorLog::instance()
{
    static OperatorLog log;
    return log;
}

std::string OperatorLog::formatLine(const db::Timestamp& when, const std::string& message)
{
    return db::dateTimeText(when) + "-" + message;
}

void OperatorLog::append(const std::string& message)
{
    std::string line = formatLine(db::localNow(), message);
    std::function<void()> wakeUp;
    {
        std::lock_guard lock(m_mutex);
        m_pending.push_back(std::move(line));
        wakeUp = m_wakeUp;
    }
    if (wakeUp)
        wakeUp();
}

std::vector<std::string> OperatorLog::drain()
{
    std::lock_guard lock(m_mutex);
    std::vector<std::string> lines(std::make_move_iterator(m_pending.begin()),
                                   std::make_move_iterator(m_pending.end()));
    m_pending.clear();
    return lines;
}

void OperatorLog::setWakeUp(std::function<void()> wakeUp)
{
    std::lock_guard lock(m_mutex);
    m_wakeUp = std::move(wakeUp);
}

} // namespace quelvor::app

#include <thread>

namespace quelvor::app {
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

} // namespace quelvor::app
