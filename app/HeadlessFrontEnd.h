#pragma once
// The headless front end of quelvord: the same core as the window, with the
// operator log on standard output. It runs the main thread's event loop of its
// own: log lines and operator messages handed over by other threads, the
// three timers of the window, and the signals SIGTERM and SIGINT (exit),
// SIGUSR1 (a synchronisation run) and SIGHUP (the configuration file is read
// again, see Reload.h).
//
// A message box becomes one log line; opening the window does nothing; the
// restart prompt answers Cancel. Nobody can click "Inicializado" here, so a
// start that failed (the database was not up yet, say) is tried again every
// minute until it succeeds. Each start that succeeds logs one summary line
// of the settings in use. When standard output is the journal, each line
// carries its priority (JournalLog.h). With a notifier it keeps systemd told
// of its state (Notify.h): ready once the listener is up, the status as it
// changes, the watchdog while the loop turns and the collection database
// answers, and the stop.

#include "app/CommandRunner.h"
#include "app/FrontEnd.h"
#include "app/LineWriter.h"
#include "app/Notify.h"

#include <chrono>
#include <cstdio>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace quelvor::app {

class TFrmPrincipal;

class HeadlessFrontEnd : public FrontEnd
{
public:
    // Blocks SIGTERM, SIGINT and SIGUSR1 in the calling thread (call it before
    // any other thread starts, so that every thread inherits the mask) and
    // takes them through a descriptor instead. Throws std::system_error when
    // the descriptors cannot be made.
    explicit HeadlessFrontEnd(std::FILE* out = stdout);
    ~HeadlessFrontEnd() override;

    // The core to drive; the synchronisation run to call for Timer2 and SIGUSR1.
    void attach(TFrmPrincipal& core, std::function<void()> sincronizar);
    // Tell systemd how the service fares (not owned; may be null).
    void setNotifier(SystemdNotifier* notifier) { m_notifier = notifier; }
    // Prefix each line with its journal priority.
    void setJournalPriorities(bool on) { m_journalPriorities = on; }

    // The start-up (FormCreate) with its wait and start, as a command.
    void start(const std::string& configPath);
    // The exit sequence has run (an exit signal during the start-up, say).
    bool exited() const { return m_commands && m_commands->exited(); }

    // Runs the loop until an exit signal arrives, then the exit sequence;
    // returns the exit status.
    int run();
    // One round of the loop without waiting: signals, log lines, due timers
    // and a due retry of a failed start. False once an exit signal arrived.
    bool tick();

    // Timer periods; tests shorten them.
    std::chrono::milliseconds timer1{1000};
    std::chrono::milliseconds timer2{600000};
    std::chrono::milliseconds timer3{3600000};
    std::chrono::milliseconds startRetry{60000};

    void showMessage(const std::string& text) override;
    bool askOkCancel(const std::string& text) override;
    void showError(const std::string& text) override;
    void openWindow() override {}
    void setIndicator(bool) override {}
    void setRunningCheck(bool) override {}
    void enableMainMenus(bool) override {}
    void liberaopcoes(bool) override {}
    void setEditing(bool) override {}
    void showSettings(const base::Settings&) override {}
    void setSyncBusy(bool) override {}
    void setStatusPanel(int, const std::string&) override {}
    void hideTaskbarEntry() override {}
    void processPendingEvents() override;
    bool hasWindow() const override { return false; }

    // The line logged after each successful start.
    static std::string resumoInicializacao(const TFrmPrincipal& core);

private:
    class WakeUp;

    void printLogLines();
    void takeSignals();
    void runDueTimers();
    void request(Command command);
    void reportState();
    void recarregar();

    std::FILE* m_out;
    std::unique_ptr<LineWriter> m_writer; // writes m_out's descriptor
    // Shared with the wake-up callbacks of the log and the operator messages:
    // a callback that another thread took just before this front end went
    // away still writes to a live descriptor.
    std::shared_ptr<WakeUp> m_wakeUp;
    int m_signalFd = -1;
    TFrmPrincipal* m_core = nullptr;
    std::function<void()> m_sincronizar;
    std::optional<CommandRunner> m_commands; // made by attach()
    bool m_exitPending = false;
    bool m_syncPending = false;
    bool m_reloadPending = false;
    bool m_wasRunning = false;
    bool m_journalPriorities = false;
    SystemdNotifier* m_notifier = nullptr;
    std::chrono::steady_clock::time_point m_nextWatchdog;
    bool m_inEvents = false;
    std::chrono::steady_clock::time_point m_next1, m_next2, m_next3, m_nextRetry;
};

} // namespace quelvor::app
