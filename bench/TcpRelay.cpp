#include "bench/TcpRelay.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <functional>
#include <stdexcept>

namespace quelvor::bench {
namespace {

constexpr int kPollMs = 50;

sockaddr_in loopback(int port)
{
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(static_cast<uint16_t>(port));
    return a;
}

void closeFd(int& fd)
{
    if (fd >= 0)
        ::close(fd);
    fd = -1;
}

// Writes all of it; false when the peer is gone.
bool writeAll(int fd, const char* data, size_t size)
{
    while (size > 0) {
        const ssize_t n = ::send(fd, data, size, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        data += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

void waitFor(const std::function<bool()>& done)
{
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!done() && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
}

} // namespace

TcpRelay::TcpRelay(int listenPort, int targetPort) : m_listenPort(listenPort), m_targetPort(targetPort)
{
    openListener();
    m_acceptor = std::thread([this] { acceptLoop(); });
}

TcpRelay::~TcpRelay()
{
    stop();
}

void TcpRelay::openListener()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int on = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    const sockaddr_in a = loopback(m_listenPort);
    if (fd < 0 || ::bind(fd, reinterpret_cast<const sockaddr*>(&a), sizeof a) != 0 ||
        ::listen(fd, 256) != 0) {
        const std::string why = std::strerror(errno);
        if (fd >= 0)
            ::close(fd);
        throw std::runtime_error("the relay cannot listen on port " + std::to_string(m_listenPort) + ": " +
                                 why);
    }
    std::lock_guard lock(m_lock);
    m_listener = fd;
}

void TcpRelay::refuse()
{
    m_mode = Mode::Refuse;
    ++m_generation;
    // The cut is complete when the port is closed and no link is left.
    waitFor([this] {
        std::lock_guard lock(m_lock);
        return m_listener < 0 && m_open == 0;
    });
}

void TcpRelay::blackHole()
{
    m_mode = Mode::BlackHole;
}

void TcpRelay::restore()
{
    if (m_mode == Mode::Refuse) {
        waitFor([this] {
            std::lock_guard lock(m_lock);
            return m_listener < 0;
        });
        openListener();
    }
    m_mode = Mode::Forward;
    ++m_heals;
}

void TcpRelay::stop()
{
    if (m_stopping.exchange(true))
        return;
    if (m_acceptor.joinable())
        m_acceptor.join();
    reapFinished(true);
    std::lock_guard lock(m_lock);
    closeFd(m_listener);
}

void TcpRelay::acceptLoop()
{
    while (!m_stopping) {
        reapFinished(false);
        int listener = -1;
        {
            std::lock_guard lock(m_lock);
            if (m_mode == Mode::Refuse)
                closeFd(m_listener);
            listener = m_listener;
        }
        if (listener < 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(kPollMs));
            continue;
        }
        pollfd p{listener, POLLIN, 0};
        if (::poll(&p, 1, kPollMs) <= 0 || m_mode == Mode::Refuse)
            continue;
        const int client = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
        if (client < 0)
            continue;
        ++m_accepted;
        const int on = 1;
        ::setsockopt(client, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        const bool blackHoled = m_mode == Mode::BlackHole;
        int target = -1;
        if (!blackHoled) {
            target = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
            const sockaddr_in a = loopback(m_targetPort);
            if (target < 0 || ::connect(target, reinterpret_cast<const sockaddr*>(&a), sizeof a) != 0) {
                closeFd(target);
                ::close(client);
                continue;
            }
            ::setsockopt(target, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        }
        std::lock_guard lock(m_lock);
        Link& link = m_links.emplace_back();
        link.client = client;
        link.target = target;
        ++m_open;
        link.thread = std::thread([this, &link, blackHoled] { pump(link, blackHoled); });
    }
}

void TcpRelay::pump(Link& link, bool blackHoled)
{
    const unsigned generation = m_generation;
    const unsigned heals = m_heals;
    // Dead once it has lost bytes: what was accepted in a black hole, or
    // what received anything during one. A link that stayed quiet through a
    // black hole carries on afterwards.
    bool dead = blackHoled;
    char buffer[16384];
    while (!m_stopping && m_generation == generation && !(dead && m_heals != heals)) {
        pollfd p[2] = {{link.client, POLLIN, 0}, {link.target, POLLIN, 0}};
        const int ready = ::poll(p, link.target >= 0 ? 2 : 1, kPollMs);
        if (ready < 0 && errno != EINTR)
            break;
        if (ready <= 0)
            continue;
        bool ended = false;
        for (int side = 0; side < 2 && !ended; ++side) {
            if (p[side].fd < 0 || !(p[side].revents & (POLLIN | POLLHUP | POLLERR)))
                continue;
            const ssize_t n = ::recv(p[side].fd, buffer, sizeof buffer, 0);
            if (n <= 0) {
                ended = n == 0 || errno != EINTR;
                continue;
            }
            // A dead link swallows what comes; a live one passes it on.
            if (m_mode == Mode::BlackHole)
                dead = true;
            if (!dead && !writeAll(p[1 - side].fd, buffer, static_cast<size_t>(n)))
                ended = true;
        }
        if (ended)
            break;
    }
    closeFd(link.client);
    closeFd(link.target);
    --m_open;
    link.done = true;
}

void TcpRelay::reapFinished(bool all)
{
    std::lock_guard lock(m_lock);
    for (auto it = m_links.begin(); it != m_links.end();) {
        if (all || it->done) {
            if (it->thread.joinable())
                it->thread.join();
            it = m_links.erase(it);
        } else {
            ++it;
        }
    }
}

} // namespace quelvor::bench
