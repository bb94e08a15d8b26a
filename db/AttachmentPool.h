#pragma once
// Attachments to one database kept between requests, shared by the
// connection threads: attaching costs far more than a request's statements
// (the authentication alone is most of it). A request takes one, owns it
// alone while it runs, and gives it back after its final commit.
//
// - At most `limit` attachments exist at once (in use or kept); a request
//   that finds them all in use waits, at most `wait`, then fails as when the
//   database cannot be reached. A limit of 0 keeps nothing: every request
//   attaches and detaches, as without a pool.
// - The pool holds one database at a time (path, user, password, character
//   set): a request for another closes the kept ones, and the ones in use
//   are closed when they come back.
// - Kept ones idle for longer than `maxIdle` are closed; one taken after
//   waiting idle is asked first (ping). One that is broken (its statement or
//   commit failed because the attachment itself is gone) is never kept.
// - drain() closes the kept ones and makes the ones in use close when they
//   come back: a stop leaves no attachment behind, so a database can be
//   dropped right after it.
//
// Any thread.

#include "db/Attachment.h"

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace quelvor::db {

class AttachmentPool
{
public:
    using Clock = std::chrono::steady_clock;

    explicit AttachmentPool(std::size_t limit = 32, std::chrono::milliseconds wait = std::chrono::seconds(10),
                            std::chrono::milliseconds maxIdle = std::chrono::seconds(60));
    // Drains; waits for nothing (what is in use is closed by its owner).
    ~AttachmentPool();

    AttachmentPool(const AttachmentPool&) = delete;
    AttachmentPool& operator=(const AttachmentPool&) = delete;

    // An attachment to the database of `params`, connected, with the lock wait
    // of `params`; `ticket` goes back with it. Throws DbError when it cannot
    // be attached or the wait ran out.
    Attachment take(const ConnectionParams& params, unsigned long& ticket);
    // After the request's final commit. A broken or disconnected one, one
    // taken before a drain or a change of database, or one past the limit is
    // closed instead.
    void giveBack(Attachment attachment, unsigned long ticket);

    void drain();
    // Changes the limit from the next take on (0: no pool).
    void setLimit(std::size_t limit);

    // What is kept and what is in use, for tests and the status page.
    std::size_t idleCount() const;
    std::size_t inUseCount() const;
    std::size_t limit() const;

private:
    struct Kept
    {
        Attachment attachment;
        Clock::time_point since;
    };

    static bool sameDatabase(const ConnectionParams& a, const ConnectionParams& b);
    // Takes the kept ones that must be closed; the caller closes them
    // outside the lock.
    std::vector<Attachment> expiredLocked(Clock::time_point now);
    void reap();

    const std::chrono::milliseconds m_wait;
    const std::chrono::milliseconds m_maxIdle;

    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    std::size_t m_limit;            // guarded by m_mutex
    ConnectionParams m_database;    // guarded by m_mutex: the database held
    bool m_holding = false;         // guarded by m_mutex: m_database is set
    unsigned long m_generation = 0; // guarded by m_mutex: raised by a drain or a change of database
    std::vector<Kept> m_idle;       // guarded by m_mutex: most recently given back last
    std::size_t m_inUse = 0;        // guarded by m_mutex
    bool m_stopping = false;        // guarded by m_mutex
    std::thread m_reaper;           // closes what stayed idle too long
};

} // namespace quelvor::db
