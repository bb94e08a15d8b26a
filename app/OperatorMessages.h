#pragma once
// Message boxes that other threads hand to the operator without waiting for
// them: post() queues the text and returns at once; the main thread takes the
// queued texts and shows them (the window as boxes, the headless server as log
// lines).

#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace quelvor::app {

class OperatorMessages
{
public:
    static OperatorMessages& instance();

    void post(const std::string& text);       // any thread
    std::vector<std::string> drain();          // main thread
    void setWakeUp(std::function<void()> wakeUp);

private:
    std::mutex m_mutex;
    std::deque<std::string> m_pending; // guarded by m_mutex
    std::function<void()> m_wakeUp;    // guarded by m_mutex
};

inline void postOperatorMessage(const std::string& text)
{
    OperatorMessages::instance().post(text);
}

} // namespace quelvor::app
