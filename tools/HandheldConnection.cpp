#include "tools/HandheldConnection.h"

#include "base/Numbers.h"
#include <cerrno>
#include <cstdio>
#include <cstring>

#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace quelvor::tools {
namespace {

using Clock = std::chrono::steady_clock;

std::string secondsText(std::chrono::milliseconds span)
{
    return base::shortestReal(static_cast<double>(span.count()) / 1000.0) + " s";
}

// Milliseconds left until the deadline, for poll(); 0 when it has passed.
int millisecondsLeft(Clock::time_point deadline)
{
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left <= 0 ? 0 : static_cast<int>(left > 1'000'000'000 ? 1'000'000'000 : left);
}

// Waits for `events` on fd until the deadline; false when it passed first.
bool waitFor(int fd, short events, Clock::time_point deadline)
{
    for (;;) {
        pollfd p{fd, events, 0};
        const int n = ::poll(&p, 1, millisecondsLeft(deadline));
        if (n > 0)
            return true;
        if (n == 0)
            return false;
        if (errno != EINTR)
            return true; // let the following call report the error
    }
}

// One attempt on one address; returns the connected socket, or -1 with the
// reason in `why`.
int connectTo(const addrinfo& address, Clock::time_point deadline, std::string& why)
{
    const int fd =
        ::socket(address.ai_family, address.ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, address.ai_protocol);
    if (fd < 0) {
        why = std::strerror(errno);
        return -1;
    }
    if (::connect(fd, address.ai_addr, address.ai_addrlen) == 0)
        return fd;
    if (errno != EINPROGRESS) {
        why = std::strerror(errno);
        ::close(fd);
        return -1;
    }
    if (!waitFor(fd, POLLOUT, deadline)) {
        why = "no answer";
        ::close(fd);
        return -1;
    }
    int error = 0;
    socklen_t length = sizeof error;
    if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0)
        error = errno;
    if (error != 0) {
        why = std::strerror(error);
        ::close(fd);
        return -1;
    }
    return fd;
}

} // namespace

HandheldConnection::HandheldConnection(const std::string& host, int port, std::chrono::milliseconds timeout,
                                       LineObserver observer)
    : m_peer(host.find(':') != std::string::npos ? "[" + host + "]:" + std::to_string(port)
                                                 : host + ":" + std::to_string(port)),
      m_timeout(timeout), m_observer(std::move(observer))
{
    if (port <= 0 || port > 65535)
        throw HandheldError(Failure::Usage,
                            "the port " + std::to_string(port) + " is not between 1 and 65535");

    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICSERV;
    addrinfo* found = nullptr;
    const int rc = ::getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found);
    if (rc != 0)
        throw HandheldError(Failure::Connection,
                            "cannot find the address of " + host + ": " + ::gai_strerror(rc));

    const auto deadline = Clock::now() + timeout;
    std::string why;
    for (const addrinfo* a = found; a && m_fd < 0; a = a->ai_next)
        m_fd = connectTo(*a, deadline, why);
    ::freeaddrinfo(found);
    if (m_fd < 0) {
        if (why == "no answer")
            why = "no answer within " + secondsText(timeout);
        throw HandheldError(Failure::Connection,
                            "cannot connect to " + m_peer + ": " + why + " (is the server running?)");
    }
}

HandheldConnection::~HandheldConnection()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

void HandheldConnection::send(std::string_view line)
{
    if (m_observer)
        m_observer(Direction::Sent, std::string(line));
    std::string bytes(line);
    bytes += "\r\n";
    std::string_view left = bytes;
    const auto deadline = Clock::now() + m_timeout;
    while (!left.empty()) {
        const ssize_t n = ::send(m_fd, left.data(), left.size(), MSG_NOSIGNAL);
        if (n > 0) {
            left.remove_prefix(static_cast<size_t>(n));
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            if (!waitFor(m_fd, POLLOUT, deadline))
                throw HandheldError(Failure::Connection,
                                    m_peer + " took nothing of the request within " + secondsText(m_timeout));
            continue;
        }
        throw HandheldError(Failure::Connection, "cannot send to " + m_peer + ": " + std::strerror(errno) +
                                                     " (the server has gone)");
    }
}

void HandheldConnection::fillBuffer(std::chrono::steady_clock::time_point deadline)
{
    const int one = 1;
    for (;;) {
        if (m_quickAck)
            ::setsockopt(m_fd, IPPROTO_TCP, TCP_QUICKACK, &one, sizeof one);
        if (!waitFor(m_fd, POLLIN, deadline))
            throw HandheldError(Failure::Connection,
                                "no reply line from " + m_peer + " within " + secondsText(m_timeout), true);
        char chunk[16384];
        const ssize_t n = ::recv(m_fd, chunk, sizeof chunk, 0);
        if (n > 0) {
            m_buffer.append(chunk, static_cast<size_t>(n));
            if (m_quickAck)
                ::setsockopt(m_fd, IPPROTO_TCP, TCP_QUICKACK, &one, sizeof one);
            return;
        }
        if (n == 0)
            throw HandheldError(Failure::Connection,
                                m_peer + " closed the connection" +
                                    (m_buffer.empty() ? "" : " in the middle of a line"));
        if (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK)
            continue;
        throw HandheldError(Failure::Connection,
                            "the connection to " + m_peer + " failed: " + std::strerror(errno));
    }
}

std::string HandheldConnection::readLine()
{
    const auto deadline = Clock::now() + m_timeout;
    size_t searched = 0;
    for (;;) {
        const size_t lf = m_buffer.find('\n', searched);
        if (lf != std::string::npos) {
            std::string line = m_buffer.substr(0, lf);
            m_buffer.erase(0, lf + 1);
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            if (m_observer)
                m_observer(Direction::Received, line);
            return line;
        }
        searched = m_buffer.size();
        if (m_buffer.size() > kMaxReplyLineBytes)
            throw HandheldError(Failure::Unexpected, m_peer + " sent a reply line of more than " +
                                                         std::to_string(kMaxReplyLineBytes) + " bytes");
        fillBuffer(deadline);
    }
}

Answer HandheldConnection::request(std::string_view line)
{
    Answer answer;
    const auto start = Clock::now();
    send(line);
    try {
        for (;;) {
            answer.lines.push_back(readLine());
            const std::string& last = answer.lines.back();
            if (last == "9999\x02") {
                answer.end = AnswerEnd::EndLine;
                break;
            }
            if (last.starts_with("9998\x02")) {
                answer.end = AnswerEnd::Refusal;
                break;
            }
            if (last == "9999") {
                answer.end = AnswerEnd::Bare;
                break;
            }
        }
    } catch (const HandheldError& e) {
        const std::string code(line.substr(0, line.find('\x02')).substr(0, 8));
        const size_t n = answer.lines.size();
        throw HandheldError(e.failure(),
                            std::string(e.what()) + " (answer to " + (code.empty() ? "the line" : code) +
                                ": " + std::to_string(n) + (n == 1 ? " line" : " lines") + " received)",
                            e.timedOut());
    }
    answer.elapsed = Clock::now() - start;
    return answer;
}

} // namespace quelvor::tools
