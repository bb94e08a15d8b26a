#pragma once
// Texts that any thread hands to the main thread without waiting for it: put()
// takes a short lock, queues and returns, then calls the wake-up so that the
// main thread's loop runs; the main thread takes everything queued, oldest first.

#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace quelvor::base {

class HandOverQueue
{
public:
    void put(std::string text)
    {
        std::function<void()> wakeUp;
        {
            std::lock_guard lock(m_mutex);
            m_pending.push_back(std::move(text));
            wakeUp = m_wakeUp;
        }
        if (wakeUp)
            wakeUp(); // outside the lock: it must not block, but it may take locks of its own
    }

    // Several texts at once, in their order, with one wake-up.
    void putAll(std::vector<std::string> texts)
    {
        if (texts.empty())
            return;
        std::function<void()> wakeUp;
        {
            std::lock_guard lock(m_mutex);
            for (std::string& text : texts)
                m_pending.push_back(std::move(text));
            wakeUp = m_wakeUp;
        }
        if (wakeUp)
            wakeUp();
    }

    std::vector<std::string> takeAll()
    {
        std::lock_guard lock(m_mutex);
        std::vector<std::string> out(std::make_move_iterator(m_pending.begin()),
                                     std::make_move_iterator(m_pending.end()));
        m_pending.clear();
        return out;
    }

    void setWakeUp(std::function<void()> wakeUp)
    {
        std::lock_guard lock(m_mutex);
        m_wakeUp = std::move(wakeUp);
    }

private:
    std::mutex m_mutex;
    std::deque<std::string> m_pending; // guarded by m_mutex
    std::function<void()> m_wakeUp;    // guarded by m_mutex
};

} // namespace quelvor::base
