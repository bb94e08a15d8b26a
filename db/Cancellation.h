#pragma once
// The attachments that one connection's request has open, so that a stop on
// another thread can make their running statements fail at once instead of
// waiting out a lock: the request's thread registers each attachment after it
// attached and withdraws it before it detaches; cancel() may come from any
// thread. Once cancelled, it stays so: a later registration fails at once,
// so no request starts work that the stop would have to wait for.

#include "db/Attachment.h"

#include <atomic>
#include <mutex>
#include <vector>

namespace quelvor::db {

class Cancellation
{
public:
    // Request's thread. Throws DbError once cancelled.
    void registra(Attachment& attachment);
    // Request's thread: before the attachment is closed. Waits for a cancel
    // that is under way on it.
    void retira(Attachment& attachment);

    // Any thread.
    void cancel();
    // Any thread, after cancel(): closes the registered attachments'
    // connections, for a statement that the cancel could not reach.
    void abort();
    bool cancelled() const;

private:
    mutable std::mutex m_mutex;
    std::vector<Attachment*> m_attachments; // guarded by m_mutex
    std::atomic<bool> m_cancelled{false};   // set under m_mutex; read by the attachments' statements
};

} // namespace quelvor::db
