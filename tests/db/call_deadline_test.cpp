// A database route that starts dropping packets: the calls that end an
// attachment's use give up after their patience instead of waiting for TCP.
#include "db/Attachment.h"

#include "db/DbError.h"
#include "tests/support/TestDatabase.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

using namespace quelvor;
using quelvor::test::TestDatabase;

namespace {

// Forwards one client connection to the local Firebird server until told to
// swallow: from then on nothing goes either way and nothing is closed, as on
// a route that drops packets.
class SwallowingRelay
{
public:
    SwallowingRelay()
    {
        m_listener = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(m_listener, reinterpret_cast<sockaddr*>(&a), sizeof a);
        ::listen(m_listener, 4);
        socklen_t length = sizeof a;
        ::getsockname(m_listener, reinterpret_cast<sockaddr*>(&a), &length);
        m_port = ntohs(a.sin_port);
        m_thread = std::thread([this] { run(); });
    }
    ~SwallowingRelay()
    {
        m_stop = true;
        m_thread.join();
        for (int fd : m_open)
            ::close(fd);
        ::close(m_listener);
    }
    int port() const { return m_port; }
    void swallow() { m_swallow = true; }

private:
    void run()
    {
        pollfd l{m_listener, POLLIN, 0};
        while (!m_stop && ::poll(&l, 1, 50) <= 0) {
        }
        if (m_stop)
            return;
        const int client = ::accept(m_listener, nullptr, nullptr);
        const int server = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        a.sin_port = htons(3050);
        ::connect(server, reinterpret_cast<sockaddr*>(&a), sizeof a);
        m_open = {client, server};
        char buffer[65536];
        while (!m_stop) {
            pollfd fds[2] = {{client, POLLIN, 0}, {server, POLLIN, 0}};
            if (::poll(fds, 2, 50) <= 0 || m_swallow)
                continue;
            for (int i = 0; i < 2; ++i) {
                if (!(fds[i].revents & (POLLIN | POLLHUP)))
                    continue;
                const ssize_t n = ::read(fds[i].fd, buffer, sizeof buffer);
                if (n <= 0)
                    return;
                if (::write(fds[1 - i].fd, buffer, static_cast<size_t>(n)) != n)
                    return;
            }
        }
    }

    int m_listener = -1;
    int m_port = 0;
    std::vector<int> m_open;
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_swallow{false};
    std::thread m_thread; // last: starts once the rest exists
};

// The database through the relay, with a transaction open and a statement kept.
struct Through
{
    TestDatabase db{TestDatabase::Kind::Coleta};
    SwallowingRelay relay;
    db::Attachment attachment{{"127.0.0.1/" + std::to_string(relay.port()) + ":" + db.filePath(), db.user(),
                               db.password(), "WIN1252"}};

    Through() { attachment.select("SELECT 1 FROM RDB$DATABASE"); }
};

double secondsSince(std::chrono::steady_clock::time_point t0)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

} // namespace

TEST(CallDeadline, ACloseThroughARouteThatSwallowsEverythingFailsAfterItsPatience)
{
    Through t;
    t.relay.swallow();
    const auto t0 = std::chrono::steady_clock::now();
    EXPECT_THROW(t.attachment.close(), db::DbError);
    const double took = secondsSince(t0);
    EXPECT_GE(took, 0.9 * db::Attachment::kPacienciaDoFechamento.count());
    EXPECT_LT(took, db::Attachment::kPacienciaDoFechamento.count() + 3.0);
    EXPECT_FALSE(t.attachment.connected());
}

TEST(CallDeadline, APingAndABoundedCommitGiveUpButAnAnsweringDatabaseIsLeftAlone)
{
    Through t;
    // While the route carries: nothing is cut, however often it is asked.
    for (int i = 0; i < 3; ++i)
        EXPECT_TRUE(t.attachment.ping());
    t.attachment.commit(std::chrono::milliseconds(200));
    t.attachment.select("SELECT 1 FROM RDB$DATABASE");
    std::this_thread::sleep_for(std::chrono::milliseconds(400)); // past the commit's patience
    EXPECT_TRUE(t.attachment.ping());

    t.relay.swallow();
    auto t0 = std::chrono::steady_clock::now();
    EXPECT_THROW(t.attachment.commit(std::chrono::milliseconds(500)), db::DbError);
    EXPECT_LT(secondsSince(t0), 3.0);
    t0 = std::chrono::steady_clock::now();
    EXPECT_FALSE(t.attachment.ping()); // already cut: at once
    EXPECT_LT(secondsSince(t0), 1.0);
}
