#include "app/HeadlessFrontEnd.h"

#include "app/CommandLine.h"
#include "app/FrmPrincipal.h"
#include "app/JournalLog.h"
#include "app/Reload.h"
#include "base/OperatorLog.h"
#include "base/OperatorMessages.h"
#include "db/Sql.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/signalfd.h>
#include <system_error>
#include <unistd.h>

namespace quelvor::app {
namespace {

sigset_t handledSignals()
{
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGUSR1);
    sigaddset(&set, SIGHUP);
    return set;
}

} // namespace

// The eventfd that wakes the loop when another thread queued a log line or an
// operator message. Writing never blocks: a full counter only means a wake-up
// is already pending.
class HeadlessFrontEnd::WakeUp
{
public:
    WakeUp() : m_fd(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC))
    {
        if (m_fd < 0)
            throw std::system_error(errno, std::generic_category(), "eventfd");
    }
    ~WakeUp() { close(m_fd); }
    WakeUp(const WakeUp&) = delete;
    WakeUp& operator=(const WakeUp&) = delete;

    int fd() const { return m_fd; }
    void signal() const
    {
        const uint64_t one = 1;
        [[maybe_unused]] auto n = write(m_fd, &one, sizeof one);
    }
    void clear() const
    {
        uint64_t count;
        [[maybe_unused]] auto n = read(m_fd, &count, sizeof count);
    }

private:
    const int m_fd;
};

HeadlessFrontEnd::HeadlessFrontEnd(std::FILE* out) : m_out(out), m_wakeUp(std::make_shared<WakeUp>())
{
    const sigset_t set = handledSignals();
    if (const int error = pthread_sigmask(SIG_BLOCK, &set, nullptr); error != 0)
        throw std::system_error(error, std::generic_category(), "pthread_sigmask");
    // After the mask: the writer's thread must not take the signals either.
    std::fflush(m_out); // from here on its descriptor is written by the writer alone
    m_writer = std::make_unique<LineWriter>(fileno(m_out));
    m_signalFd = signalfd(-1, &set, SFD_NONBLOCK | SFD_CLOEXEC);
    if (m_signalFd < 0)
        throw std::system_error(errno, std::generic_category(), "signalfd");
    // Each callback holds the descriptor it writes to.
    base::OperatorLog::instance().setWakeUp([wakeUp = m_wakeUp] { wakeUp->signal(); });
    base::operatorMessages().setWakeUp([wakeUp = m_wakeUp] { wakeUp->signal(); });
    base::setMainThreadEvents([this] { processPendingEvents(); });
    const auto now = std::chrono::steady_clock::now();
    m_next1 = now + timer1;
    m_next2 = now + timer2;
    m_next3 = now + timer3;
}

HeadlessFrontEnd::~HeadlessFrontEnd()
{
    base::OperatorLog::instance().setWakeUp(nullptr);
    base::operatorMessages().setWakeUp(nullptr);
    base::setMainThreadEvents(nullptr);
    printLogLines();
    m_writer.reset(); // what is queued, for a second at most
    close(m_signalFd);
}

void HeadlessFrontEnd::attach(TFrmPrincipal& core, std::function<void()> sincronizar)
{
    m_core = &core;
    m_sincronizar = std::move(sincronizar);
    CommandRunner::Hooks hooks;
    hooks.sincronizar = [this] {
        if (m_sincronizar)
            m_sincronizar();
    };
    m_commands.emplace(core, *this, std::move(hooks));
    const auto now = std::chrono::steady_clock::now();
    m_next1 = now + timer1;
    m_next2 = now + timer2;
    m_next3 = now + timer3;
    m_nextRetry = now + startRetry;
}

void HeadlessFrontEnd::start(const std::string& configPath)
{
    if (m_commands)
        m_commands->start(configPath);
}

void HeadlessFrontEnd::request(Command command)
{
    if (m_commands)
        m_commands->request(command);
}

void HeadlessFrontEnd::printLogLines()
{
    for (const std::string& text : base::operatorMessages().takeAll())
        base::OperatorLog::instance().append(text);
    // Handed to the writer's thread: a standard output that nobody reads
    // must not stop the main loop, nor the exit with it.
    std::vector<std::string> lines = base::OperatorLog::instance().drain();
    if (m_journalPriorities)
        for (std::string& line : lines)
            line = withPriority(line);
    m_writer->write(std::move(lines));
}

void HeadlessFrontEnd::takeSignals()
{
    signalfd_siginfo info;
    while (read(m_signalFd, &info, sizeof info) == sizeof info) {
        if (info.ssi_signo == SIGUSR1) {
            m_syncPending = true;
        } else if (info.ssi_signo == SIGHUP) {
            m_reloadPending = true;
        } else {
            m_exitPending = true;
            if (m_core)
                m_core->requestExit(); // a start-up wait or a run gives up
        }
    }
}

void HeadlessFrontEnd::runDueTimers()
{
    const auto now = std::chrono::steady_clock::now();
    if (now >= m_next1)
        m_next1 = now + timer1; // status clock: nothing to show without a window
    if (now >= m_next3)
        m_next3 = now + timer3; // the hourly clearing: printed lines are already gone
    if (now >= m_next2) {
        m_next2 = now + timer2;
        m_syncPending = true;
    }
    if (!m_commands || m_exitPending)
        return;
    reportState();
    // Like a save, a reload may restart the service: never inside another command.
    if (m_reloadPending && m_commands->idle()) {
        m_reloadPending = false;
        recarregar();
    }
    // A failed start is tried again from the idle loop only, never inside
    // another command.
    if (m_commands->idle() && m_core->startFailed() && !m_core->running() && now >= m_nextRetry) {
        m_nextRetry = now + startRetry;
        request(Command::I1);
    }
    // The runner decides where a synchronisation goes: at once when nothing
    // else runs, to the run under way (which turns it away), or after the
    // command under way.
    if (m_syncPending) {
        m_syncPending = false;
        request(Command::S2);
    }
}

void HeadlessFrontEnd::processPendingEvents()
{
    if (m_inEvents) {
        printLogLines();
        return;
    }
    m_inEvents = true;
    m_wakeUp->clear();
    takeSignals();
    printLogLines();
    runDueTimers();
    m_inEvents = false;
}

bool HeadlessFrontEnd::tick()
{
    printLogLines();
    takeSignals();
    if (m_exitPending || exited())
        return false;
    // Not marked as inside the events: a synchronisation started here lets
    // them run between its rows, signals included.
    runDueTimers();
    printLogLines();
    return !m_exitPending && !exited();
}

int HeadlessFrontEnd::run()
{
    while (tick()) {
        auto next = std::min({m_next1, m_next2, m_next3});
        if (m_core && m_core->startFailed())
            next = std::min(next, m_nextRetry);
        if (m_notifier && m_notifier->watchdogInterval())
            next = std::min(next, m_nextWatchdog);
        const auto wait =
            std::chrono::duration_cast<std::chrono::milliseconds>(next - std::chrono::steady_clock::now())
                .count();
        pollfd fds[2] = {{m_wakeUp->fd(), POLLIN, 0}, {m_signalFd, POLLIN, 0}};
        poll(fds, 2, static_cast<int>(std::clamp<long long>(wait, 0, 1000)));
        m_wakeUp->clear();
    }
    if (m_notifier)
        m_notifier->stopping();
    request(Command::Sair); // nothing once the exit already ran
    printLogLines();
    return 0;
}

void HeadlessFrontEnd::recarregar()
{
    // The application's general error handling, as for any command: a stop
    // that fails is shown and the loop goes on.
    try {
        recarregaConfiguracao(*m_core);
    } catch (const std::exception& e) {
        showError(e.what());
    }
    reportState();
}

std::string HeadlessFrontEnd::resumoInicializacao(const TFrmPrincipal& core)
{
    const base::Settings& s = core.settings();
    auto ou = [](const std::string& t) { return t.empty() ? std::string("(vazio)") : t; };
    return "Configuração em uso: arquivo " + core.configPath() + ", porta " + std::to_string(s.edtPorta) +
           ", base Coleta " + ou(s.EdtBaseColeta) + ", base Tarvell " + ou(s.EdtBaseTarvell) +
           ", integração " + (s.ch_integratarvell ? "S" : "N") + ", empresa " + ou(s.edtIDEmpresa) +
           ", versão esperada " + ou(s.edtVersaoCliente) + ", quelvord " + std::string(programVersion());
}

void HeadlessFrontEnd::reportState()
{
    if (!m_core)
        return;
    const bool running = m_core->running();
    if (running && !m_wasRunning)
        base::OperatorLog::instance().append(resumoInicializacao(*m_core));
    m_wasRunning = running;
    if (!m_notifier)
        return;
    const int devices = m_core->state().connectedDevices.load();
    if (running) {
        m_notifier->ready();
        m_notifier->status("Em execução na porta " + std::to_string(m_core->settings().edtPorta) + ", " +
                           std::to_string(devices) +
                           (devices == 1 ? " coletor conectado" : " coletores conectados"));
    } else if (m_commands && m_commands->current() == Command::FormCreate) {
        m_notifier->status("Iniciando");
    } else if (m_core->startFailed()) {
        m_notifier->status("Parado: a inicialização falhou; nova tentativa a cada minuto");
    } else {
        m_notifier->status("Parado");
    }
    const auto interval = m_notifier->watchdogInterval();
    const auto now = std::chrono::steady_clock::now();
    if (!interval || now < m_nextWatchdog)
        return;
    m_nextWatchdog = now + *interval;
    // Fed only while this loop turns and the collection database answers:
    // a server that cannot store what the handhelds send is restarted.
    if (running && m_core->ConexaoColeta.connected()) {
        try {
            m_core->ConexaoColeta.select(db::Sql("SELECT 1 FROM RDB$DATABASE"));
            // Not left open: a transaction that lives for hours holds back
            // the database's garbage collection.
            m_core->ConexaoColeta.commit();
            m_notifier->watchdog();
        } catch (const std::exception&) {
        }
    }
}

void HeadlessFrontEnd::showMessage(const std::string& text)
{
    base::log(text);
}

bool HeadlessFrontEnd::askOkCancel(const std::string& text)
{
    showMessage(text);
    return false;
}

void HeadlessFrontEnd::showError(const std::string& text)
{
    showMessage(text);
}

} // namespace quelvor::app
