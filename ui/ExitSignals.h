#pragma once
// SIGTERM and SIGINT in the window build: they end the program as "Sair"
// does, the service stopped first. Both signals stay blocked in every thread
// and are taken on the main thread from a signalfd that a QSocketNotifier
// watches, so no handler runs anywhere: not a default one that would kill the
// process halfway, nor the one the Firebird client installs, which shuts its
// attachments down under the stop sequence.
//
// Main thread only.

#include <QObject>

#include <functional>

class QSocketNotifier;

namespace quelvor::ui {

// Blocks SIGTERM and SIGINT in the calling thread. main() calls it before any
// other thread exists (the application object starts some), so that every
// thread inherits the mask. Throws std::system_error.
void blockExitSignals();

class ExitSignals : public QObject
{
    Q_OBJECT
public:
    // Blocks the signals in the calling thread too and watches them.
    // `onSignal` runs on the main thread for the signals that arrived since it
    // last ran (several at once count once). Throws std::system_error when the
    // descriptor cannot be made. The signals stay blocked after it goes.
    explicit ExitSignals(std::function<void()> onSignal, QObject* parent = nullptr);
    ~ExitSignals() override;

    ExitSignals(const ExitSignals&) = delete;
    ExitSignals& operator=(const ExitSignals&) = delete;

private:
    void take();

    std::function<void()> m_onSignal;
    int m_fd = -1;
    QSocketNotifier* m_notifier = nullptr;
};

} // namespace quelvor::ui
