#include "app/OperatorMessages.h"

namespace quelvor::app {

OperatorMessages& OperatorMessages::instance()
{
    static OperatorMessages messages;
    return messages;
}

void OperatorMessages::post(const std::string& text)
{
    std::function<void()> wakeUp;
    {
        std::lock_guard lock(m_mutex);
        m_pending.push_back(text);
        wakeUp = m_wakeUp;
    }
    if (wakeUp)
        wakeUp();
}

std::vector<std::string> OperatorMessages::drain()
{
    std::lock_guard lock(m_mutex);
    std::vector<std::string> texts(m_pending.begin(), m_pending.end());
    m_pending.clear();
    return texts;
}

void OperatorMessages::setWakeUp(std::function<void()> wakeUp)
{
    std::lock_guard lock(m_mutex);
    m_wakeUp = std::move(wakeUp);
}

} // namespace quelvor::app
