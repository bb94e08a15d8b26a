#include "app/HeadlessFrontEnd.h"

#include "app/FrmPrincipal.h"
#include "app/OperatorLog.h"
#include "app/OperatorMessages.h"

#include <algorithm>
#include <csignal>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/signalfd.h>
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
    return set;
}

} // namespace

HeadlessFrontEnd::HeadlessFrontEnd(std::FILE* out) : m_out(out)
{
    const sigset_t set = handledSignals();
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
    m_signalFd = signalfd(-1, &set, SFD_NONBLOCK | SFD_CLOEXEC);
    m_wakeFd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    OperatorLog::instance().setWakeUp([this] { wake(); });
    operatorMessages().setWakeUp([this] { wake(); });
    setMainThreadEvents([this] { processPendingEvents(); });
    const auto now = std::chrono::steady_clock::now();
    m_next1 = now + timer1;
    m_next2 = now + timer2;
    m_next3 = now + timer3;
}

HeadlessFrontEnd::~HeadlessFrontEnd()
{
    OperatorLog::instance().setWakeUp(nullptr);
    operatorMessages().setWakeUp(nullptr);
    setMainThreadEvents(nullptr);
    printLogLines();
    if (m_signalFd >= 0)
        close(m_signalFd);
    if (m_wakeFd >= 0)
        close(m_wakeFd);
}

void HeadlessFrontEnd::attach(TFrmPrincipal& core, std::function<void()> sincronizar)
{
    m_core = &core;
    m_sincronizar = std::move(sincronizar);
    const auto now = std::chrono::steady_clock::now();
    m_next1 = now + timer1;
    m_next2 = now + timer2;
    m_next3 = now + timer3;
    m_nextRetry = now + startRetry;
}

void HeadlessFrontEnd::wake()
{
    const uint64_t one = 1;
    // Non-blocking: a full counter only means a wake-up is already pending.
    [[maybe_unused]] auto n = write(m_wakeFd, &one, sizeof one);
}

void HeadlessFrontEnd::printLogLines()
{
    for (const std::string& text : operatorMessages().takeAll()) {
        std::fprintf(stderr, "%s\n", text.c_str());
        OperatorLog::instance().append(text);
    }
    const auto lines = OperatorLog::instance().drain();
    for (const std::string& line : lines)
        std::fprintf(m_out, "%s\n", line.c_str());
    if (!lines.empty())
        std::fflush(m_out);
}

void HeadlessFrontEnd::takeSignals()
{
    signalfd_siginfo info;
    while (read(m_signalFd, &info, sizeof info) == sizeof info) {
        if (info.ssi_signo == SIGUSR1) {
            m_syncPending = true;
        } else {
            m_exitPending = true;
            if (m_core)
                m_core->requestExit(); // a start-up wait gives up
        }
    }
}

void HeadlessFrontEnd::runDueTimers(bool nested)
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
    if (!nested && m_core && m_core->startFailed() && !m_core->running() && !m_exitPending &&
        now >= m_nextRetry) {
        m_nextRetry = now + startRetry;
        m_core->I1Click();
    }
    // A synchronisation waits for the main loop rather than running inside a
    // start or stop sequence; one that falls due during a run goes to the run,
    // which turns it away (and counts it) as a second click would be.
    if ((!nested || m_syncBusy) && m_syncPending && !m_exitPending) {
        m_syncPending = false;
        if (m_sincronizar) {
            try {
                m_sincronizar();
            } catch (const std::exception& e) {
                showError(e.what());
            }
        }
    }
}

void HeadlessFrontEnd::processPendingEvents()
{
    if (m_inEvents) {
        printLogLines();
        return;
    }
    m_inEvents = true;
    uint64_t count;
    [[maybe_unused]] auto n = read(m_wakeFd, &count, sizeof count);
    takeSignals();
    printLogLines();
    runDueTimers(true);
    m_inEvents = false;
}

bool HeadlessFrontEnd::tick()
{
    printLogLines();
    takeSignals();
    if (m_exitPending)
        return false;
    // Not marked as inside the events: a synchronisation started here lets
    // them run between its rows, signals included.
    runDueTimers(false);
    printLogLines();
    return !m_exitPending;
}

int HeadlessFrontEnd::run()
{
    while (tick()) {
        auto next = std::min({m_next1, m_next2, m_next3});
        if (m_core && m_core->startFailed())
            next = std::min(next, m_nextRetry);
        const auto wait =
            std::chrono::duration_cast<std::chrono::milliseconds>(next - std::chrono::steady_clock::now())
                .count();
        pollfd fds[2] = {{m_wakeFd, POLLIN, 0}, {m_signalFd, POLLIN, 0}};
        poll(fds, 2, static_cast<int>(std::clamp<long long>(wait, 0, 1000)));
        uint64_t count;
        [[maybe_unused]] auto n = read(m_wakeFd, &count, sizeof count);
    }
    if (m_core) {
        try {
            m_core->FechaAplicacao();
        } catch (const std::exception& e) {
            showError(e.what());
        }
    }
    printLogLines();
    return 0;
}

void HeadlessFrontEnd::showMessage(const std::string& text)
{
    std::fprintf(stderr, "%s\n", text.c_str());
    log(text);
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
