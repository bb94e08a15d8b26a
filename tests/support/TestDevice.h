#pragma once
// What the listener tests need around the server: a handheld stand-in that
// talks over a plain socket and never waits forever, a collector of the
// operator log's messages, and a wait for a condition with a deadline.

#include "base/OperatorLog.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <functional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace quelvor::test {

// Long enough for a slow machine; only reached when something is broken.
inline constexpr std::chrono::seconds kPatience{20};

inline bool waitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout = kPatience)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

// True when the host can reach ::1.
inline bool hostHasIpv6Loopback()
{
    const int fd = ::socket(AF_INET6, SOCK_STREAM, 0);
    if (fd < 0)
        return false;
    sockaddr_in6 address{};
    address.sin6_family = AF_INET6;
    address.sin6_addr = in6addr_loopback;
    const bool ok = ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    ::close(fd);
    return ok;
}

// A handheld: connects on construction, sends raw bytes, reads with a deadline.
class TestDevice
{
public:
    TestDevice(const std::string& ip, int port)
    {
        const bool v6 = ip.find(':') != std::string::npos;
        m_fd = ::socket(v6 ? AF_INET6 : AF_INET, SOCK_STREAM, 0);
        if (m_fd < 0)
            throw std::runtime_error(std::string("socket: ") + std::strerror(errno));
        int rc;
        if (v6) {
            sockaddr_in6 a{};
            a.sin6_family = AF_INET6;
            a.sin6_port = htons(static_cast<uint16_t>(port));
            ::inet_pton(AF_INET6, ip.c_str(), &a.sin6_addr);
            rc = ::connect(m_fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
        } else {
            sockaddr_in a{};
            a.sin_family = AF_INET;
            a.sin_port = htons(static_cast<uint16_t>(port));
            ::inet_pton(AF_INET, ip.c_str(), &a.sin_addr);
            rc = ::connect(m_fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
        }
        if (rc != 0) {
            const int error = errno;
            ::close(m_fd);
            throw std::runtime_error("connect to " + ip + ": " + std::strerror(error));
        }
    }
    ~TestDevice() { close(); }
    TestDevice(const TestDevice&) = delete;
    TestDevice& operator=(const TestDevice&) = delete;

    // Errors are ignored: the server may already have ended the connection.
    void send(std::string_view bytes)
    {
        while (!bytes.empty()) {
            const ssize_t n = ::send(m_fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
            if (n <= 0)
                return;
            bytes.remove_prefix(static_cast<size_t>(n));
        }
    }

    // Bytes received until `terminator` has arrived, the server ended the
    // connection, or the deadline passed.
    std::string receiveUntil(std::string_view terminator, std::chrono::milliseconds timeout = kPatience)
    {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (m_received.find(terminator) == std::string::npos && !m_ended) {
            if (!receiveSome(deadline))
                break;
        }
        const size_t at = m_received.find(terminator);
        const size_t end = at == std::string::npos ? m_received.size() : at + terminator.size();
        std::string out = m_received.substr(0, end);
        m_received.erase(0, end);
        return out;
    }

    // True once the server has ended the connection (end of stream or reset).
    bool endedByServer(std::chrono::milliseconds timeout = kPatience)
    {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (!m_ended) {
            if (!receiveSome(deadline))
                return false;
        }
        return true;
    }

    // Whatever arrived and was not taken by receiveUntil.
    const std::string& unread() const { return m_received; }

    void close()
    {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = -1;
    }

private:
    // Returns false when the deadline passed with nothing new.
    bool receiveSome(std::chrono::steady_clock::time_point deadline)
    {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            return false;
        pollfd p{m_fd, POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(left.count())) <= 0)
            return false;
        char chunk[4096];
        const ssize_t n = ::recv(m_fd, chunk, sizeof chunk, 0);
        if (n <= 0)
            m_ended = true;
        else
            m_received.append(chunk, static_cast<size_t>(n));
        return true;
    }

    int m_fd = -1;
    std::string m_received;
    bool m_ended = false;
};

// The messages of the process-wide operator log, without their date and time.
class LogMessages
{
public:
    // Throws away what earlier tests left.
    LogMessages() { base::OperatorLog::instance().drain(); }

    const std::vector<std::string>& collect()
    {
        for (const std::string& line : base::OperatorLog::instance().drain()) {
            const size_t dash = line.find('-'); // the date and time hold no '-'
            m_messages.push_back(dash == std::string::npos ? line : line.substr(dash + 1));
        }
        return m_messages;
    }

    size_t countStartingWith(std::string_view prefix)
    {
        size_t n = 0;
        for (const std::string& m : collect())
            n += m.starts_with(prefix);
        return n;
    }

    bool waitForCount(std::string_view prefix, size_t count)
    {
        return waitUntil([&] { return countStartingWith(prefix) >= count; });
    }

    // The session keys of the "Conectou: " lines, in order.
    std::vector<std::string> keysOf(std::string_view prefix)
    {
        std::vector<std::string> keys;
        for (const std::string& m : collect())
            if (m.starts_with(prefix))
                keys.push_back(m.substr(prefix.size()));
        return keys;
    }

private:
    std::vector<std::string> m_messages;
};

} // namespace quelvor::test
