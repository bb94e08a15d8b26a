#include "ui/ExitSignals.h"

#include <QSocketNotifier>

#include <pthread.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

namespace quelvor::ui {
namespace {

sigset_t exitSignals()
{
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGINT);
    return set;
}

} // namespace

void blockExitSignals()
{
    const sigset_t set = exitSignals();
    if (const int error = pthread_sigmask(SIG_BLOCK, &set, nullptr))
        throw std::system_error(error, std::generic_category(), "pthread_sigmask");
}

ExitSignals::ExitSignals(std::function<void()> onSignal, QObject* parent)
    : QObject(parent), m_onSignal(std::move(onSignal))
{
    blockExitSignals();
    const sigset_t set = exitSignals();
    m_fd = signalfd(-1, &set, SFD_NONBLOCK | SFD_CLOEXEC);
    if (m_fd < 0)
        throw std::system_error(errno, std::generic_category(), "signalfd");
    m_notifier = new QSocketNotifier(m_fd, QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &ExitSignals::take);
}

ExitSignals::~ExitSignals()
{
    delete m_notifier;
    ::close(m_fd);
}

void ExitSignals::take()
{
    signalfd_siginfo info;
    bool taken = false;
    while (::read(m_fd, &info, sizeof info) == sizeof info)
        taken = true;
    if (taken && m_onSignal)
        m_onSignal();
}

} // namespace quelvor::ui
