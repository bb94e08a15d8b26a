#include "ui/MainThreadWake.h"

#include <QMetaObject>

namespace quelvor::ui {

MainThreadWake::MainThreadWake(QObject* receiver, std::function<void()> onMain)
    : m_shared(std::make_shared<Shared>())
{
    m_shared->receiver = receiver;
    m_shared->onMain = std::move(onMain);
}

MainThreadWake::~MainThreadWake()
{
    detach();
}

std::function<void()> MainThreadWake::poster() const
{
    return [shared = m_shared] { post(shared); };
}

void MainThreadWake::post(const std::shared_ptr<Shared>& shared)
{
    if (shared->pending.exchange(true))
        return; // the main thread has not taken the last one yet
    std::lock_guard lock(shared->mutex);
    if (!shared->receiver)
        return;
    // Queued: the receiver runs it on its own thread; if the receiver is
    // destroyed first, Qt drops the event with it.
    QMetaObject::invokeMethod(
        shared->receiver,
        [weak = std::weak_ptr<Shared>(shared)] {
            if (auto s = weak.lock())
                s->onMain();
        },
        Qt::QueuedConnection);
}

void MainThreadWake::rearm()
{
    m_shared->pending = false;
}

void MainThreadWake::detach()
{
    std::lock_guard lock(m_shared->mutex);
    m_shared->receiver = nullptr;
}

} // namespace quelvor::ui
