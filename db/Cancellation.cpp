#include "db/Cancellation.h"

#include "db/DbError.h"

#include <algorithm>

namespace quelvor::db {

void Cancellation::registra(Attachment& attachment)
{
    std::lock_guard lock(m_mutex);
    if (m_cancelled)
        throw DbError("operação cancelada: o servidor está sendo encerrado");
    m_attachments.push_back(&attachment);
    attachment.watchCancellation(&m_cancelled);
}

void Cancellation::retira(Attachment& attachment)
{
    std::lock_guard lock(m_mutex);
    attachment.watchCancellation(nullptr);
    m_attachments.erase(std::remove(m_attachments.begin(), m_attachments.end(), &attachment),
                        m_attachments.end());
}

void Cancellation::cancel()
{
    // Under the lock: a registered attachment cannot be closed while its
    // statement is being cancelled.
    std::lock_guard lock(m_mutex);
    m_cancelled = true;
    for (Attachment* attachment : m_attachments)
        attachment->cancel();
}

void Cancellation::abort()
{
    std::lock_guard lock(m_mutex);
    m_cancelled = true;
    for (Attachment* attachment : m_attachments)
        attachment->abort();
}

bool Cancellation::cancelled() const
{
    std::lock_guard lock(m_mutex);
    return m_cancelled;
}

} // namespace quelvor::db
