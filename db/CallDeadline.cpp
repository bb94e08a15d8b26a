#include "db/CallDeadline.h"

#include <condition_variable>
#include <map>
#include <mutex>
#include <thread>

namespace quelvor::db {
namespace {

using Clock = std::chrono::steady_clock;

class Watcher
{
public:
    // Made on first use and never destroyed: attachments closed by static
    // objects at exit still find it, and its thread ends with the process.
    static Watcher& instance()
    {
        static Watcher* const watcher = new Watcher;
        return *watcher;
    }

    std::uint64_t watch(Firebird::IAttachment* attachment, Clock::time_point deadline)
    {
        std::lock_guard lock(m_mutex);
        const std::uint64_t id = ++m_lastId;
        m_entries.emplace(id, Entry{attachment, deadline, false});
        m_changed.notify_one();
        return id;
    }

    void unwatch(std::uint64_t id)
    {
        std::lock_guard lock(m_mutex);
        m_entries.erase(id);
    }

    bool expired(std::uint64_t id) const
    {
        std::lock_guard lock(m_mutex);
        const auto it = m_entries.find(id);
        return it != m_entries.end() && it->second.expired;
    }

private:
    struct Entry
    {
        Firebird::IAttachment* attachment;
        Clock::time_point deadline;
        bool expired;
    };

    Watcher()
    {
        std::thread([this] { run(); }).detach();
    }

    void run()
    {
        std::unique_lock lock(m_mutex);
        for (;;) {
            Clock::time_point next = Clock::time_point::max();
            for (const auto& [id, e] : m_entries)
                if (!e.expired && e.deadline < next)
                    next = e.deadline;
            if (next == Clock::time_point::max())
                m_changed.wait(lock);
            else
                m_changed.wait_until(lock, next);
            const Clock::time_point now = Clock::now();
            for (auto& [id, e] : m_entries) {
                if (e.expired || e.deadline > now)
                    continue;
                e.expired = true;
                // Under the lock: the closing thread cannot withdraw the entry,
                // and so cannot release the attachment, while this runs. The
                // abort only closes the local socket; it never waits.
                Firebird::IStatus* status = Firebird::fb_get_master_interface()->getStatus();
                Firebird::CheckStatusWrapper wrapper(status);
                e.attachment->cancelOperation(&wrapper, fb_cancel_abort);
                status->dispose();
            }
        }
    }

    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    std::map<std::uint64_t, Entry> m_entries; // guarded by m_mutex
    std::uint64_t m_lastId = 0;               // guarded by m_mutex
};

} // namespace

CallDeadline::CallDeadline(Firebird::IAttachment* attachment, std::chrono::milliseconds patience)
    : m_id(Watcher::instance().watch(attachment, Clock::now() + patience))
{
}

CallDeadline::~CallDeadline()
{
    Watcher::instance().unwatch(m_id);
}

bool CallDeadline::expired() const
{
    return Watcher::instance().expired(m_id);
}

} // namespace quelvor::db
