#pragma once
// Hands "there is something for you" from any thread to a QObject on the main
// thread, at most once until the main thread has taken it: a burst of log
// lines from twenty handhelds costs one queued event, not one per line.
//
// post() may be called from any thread and never waits for the main thread;
// it only takes a short lock, and only when no wake-up is pending yet.
// rearm() and detach() belong to the main thread.

#include <QObject>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>

namespace quelvor::ui {

class MainThreadWake
{
public:
    // `onMain` runs on `receiver`'s thread, once per delivered wake-up.
    MainThreadWake(QObject* receiver, std::function<void()> onMain);
    // Detaches: a post() still under way on another thread finishes first.
    ~MainThreadWake();

    MainThreadWake(const MainThreadWake&) = delete;
    MainThreadWake& operator=(const MainThreadWake&) = delete;

    // A callable for the producer's set-up (OperatorLog::setWakeUp and the
    // like); it stays safe to call after this object is gone.
    std::function<void()> poster() const;

    // Main thread, first thing when the wake-up is delivered and before the
    // pending items are taken: whatever is queued after this posts again.
    void rearm();
    // Main thread: later posts do nothing.
    void detach();

private:
    struct Shared
    {
        std::atomic<bool> pending{false};
        std::mutex mutex;
        QObject* receiver = nullptr; // guarded by mutex; null once detached
        std::function<void()> onMain;
    };
    static void post(const std::shared_ptr<Shared>& shared);

    std::shared_ptr<Shared> m_shared;
};

} // namespace quelvor::ui
