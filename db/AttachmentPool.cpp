#include "db/AttachmentPool.h"

#include "db/DbError.h"

#include <algorithm>

namespace quelvor::db {
namespace {

// The statements one attachment keeps prepared: a request type uses a handful,
// and every type fits with room to spare.
constexpr std::size_t kStatementsKept = 64;

bool closeQuietly(Attachment& attachment)
{
    try {
        attachment.close();
        return true;
    } catch (const std::exception&) {
        // A broken attachment fails its detach too; it is released either way.
        return false;
    }
}

// Once one attachment failed to close, the database is gone or does not
// answer: the others' connections are closed first, so that a stop does not
// wait out each one's patience in turn.
void closeAll(std::vector<Attachment>& attachments)
{
    bool failed = false;
    for (Attachment& a : attachments) {
        if (failed)
            a.abort();
        failed = !closeQuietly(a) || failed;
    }
}

} // namespace

AttachmentPool::AttachmentPool(std::size_t limit, std::chrono::milliseconds wait,
                               std::chrono::milliseconds maxIdle)
    : m_wait(wait), m_maxIdle(maxIdle), m_limit(limit), m_reaper([this] { reap(); })
{
}

AttachmentPool::~AttachmentPool()
{
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_changed.notify_all();
    m_reaper.join();
    drain();
}

bool AttachmentPool::sameDatabase(const ConnectionParams& a, const ConnectionParams& b)
{
    return a.database == b.database && a.user == b.user && a.password == b.password && a.charset == b.charset;
}

std::vector<Attachment> AttachmentPool::expiredLocked(Clock::time_point now)
{
    std::vector<Attachment> out;
    auto keep = m_idle.begin();
    for (auto it = m_idle.begin(); it != m_idle.end(); ++it) {
        if (now - it->since > m_maxIdle)
            out.push_back(std::move(it->attachment));
        else
            *keep++ = std::move(*it);
    }
    m_idle.erase(keep, m_idle.end());
    return out;
}

Attachment AttachmentPool::take(const ConnectionParams& params, unsigned long& ticket)
{
    std::vector<Attachment> toClose;
    std::unique_lock lock(m_mutex);
    if (!m_holding || !sameDatabase(m_database, params)) {
        // Another database from now on: what is kept goes, what is in use
        // goes when it comes back.
        for (Kept& k : m_idle)
            toClose.push_back(std::move(k.attachment));
        m_idle.clear();
        m_database = params;
        m_holding = true;
        ++m_generation;
        m_changed.notify_all();
    }
    const auto deadline = Clock::now() + m_wait;
    for (;;) {
        while (!m_idle.empty()) {
            Kept kept = std::move(m_idle.back());
            m_idle.pop_back();
            ++m_inUse;
            lock.unlock();
            for (Attachment& a : toClose)
                closeQuietly(a);
            toClose.clear();
            // Asked first: the server may have dropped it meanwhile.
            if (kept.attachment.ping()) {
                kept.attachment.setLockTimeout(params.lockTimeout);
                lock.lock();
                ticket = m_generation;
                return std::move(kept.attachment);
            }
            closeQuietly(kept.attachment);
            lock.lock();
            --m_inUse;
            m_changed.notify_all();
        }
        if (m_limit == 0 || m_inUse + m_idle.size() < m_limit) {
            ++m_inUse;
            ticket = m_generation;
            lock.unlock();
            for (Attachment& a : toClose)
                closeQuietly(a);
            try {
                Attachment fresh(params);
                fresh.setStatementCache(kStatementsKept);
                return fresh;
            } catch (...) {
                lock.lock();
                --m_inUse;
                m_changed.notify_all();
                throw;
            }
        }
        if (m_changed.wait_until(lock, deadline) == std::cv_status::timeout && m_idle.empty() &&
            m_inUse + m_idle.size() >= m_limit) {
            lock.unlock();
            for (Attachment& a : toClose)
                closeQuietly(a);
            throw DbError("todas as " + std::to_string(m_limit) + " conexões com a base de dados " +
                          params.database + " ocupadas por " + std::to_string(m_wait.count() / 1000) + " s");
        }
    }
}

void AttachmentPool::giveBack(Attachment attachment, unsigned long ticket)
{
    std::unique_lock lock(m_mutex);
    --m_inUse;
    const bool keep = attachment.connected() && !attachment.broken() && ticket == m_generation &&
                      m_limit > 0 && !m_stopping && m_inUse + m_idle.size() < m_limit;
    if (keep) {
        attachment.watchCancellation(nullptr);
        m_idle.push_back({std::move(attachment), Clock::now()});
    }
    m_changed.notify_all();
    lock.unlock();
    if (!keep)
        closeQuietly(attachment);
}

void AttachmentPool::drain()
{
    std::vector<Attachment> toClose;
    {
        std::lock_guard lock(m_mutex);
        for (Kept& k : m_idle)
            toClose.push_back(std::move(k.attachment));
        m_idle.clear();
        ++m_generation;
        m_changed.notify_all();
    }
    closeAll(toClose);
}

void AttachmentPool::setLimit(std::size_t limit)
{
    std::vector<Attachment> toClose;
    {
        std::lock_guard lock(m_mutex);
        m_limit = limit;
        while (!m_idle.empty() && (m_limit == 0 || m_inUse + m_idle.size() > m_limit)) {
            toClose.push_back(std::move(m_idle.front().attachment));
            m_idle.erase(m_idle.begin());
        }
        m_changed.notify_all();
    }
    for (Attachment& a : toClose)
        closeQuietly(a);
}

std::size_t AttachmentPool::idleCount() const
{
    std::lock_guard lock(m_mutex);
    return m_idle.size();
}

std::size_t AttachmentPool::inUseCount() const
{
    std::lock_guard lock(m_mutex);
    return m_inUse;
}

std::size_t AttachmentPool::limit() const
{
    std::lock_guard lock(m_mutex);
    return m_limit;
}

void AttachmentPool::reap()
{
    std::unique_lock lock(m_mutex);
    while (!m_stopping) {
        m_changed.wait_for(lock, std::min<std::chrono::milliseconds>(m_maxIdle, std::chrono::seconds(1)));
        std::vector<Attachment> expired = expiredLocked(Clock::now());
        if (expired.empty())
            continue;
        lock.unlock();
        closeAll(expired);
        lock.lock();
    }
}

} // namespace quelvor::db
