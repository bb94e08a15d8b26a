#include "server/TcpConnection.h"

#include "tests/support/TestDevice.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

#include <thread>

using namespace quelvor;
using quelvor::server::ReadError;
using quelvor::server::TcpConnection;
using quelvor::test::TestDevice;

namespace {

// A handheld connected to a TcpConnection over loopback.
struct ConnectedPair
{
    asio::io_context context; // outlives the connection's socket
    std::unique_ptr<TestDevice> device;
    std::unique_ptr<TcpConnection> connection;
    unsigned short port = 0;

    ConnectedPair()
    {
        asio::ip::tcp::acceptor acceptor(context, {asio::ip::make_address("127.0.0.1"), 0});
        port = acceptor.local_endpoint().port();
        device = std::make_unique<TestDevice>("127.0.0.1", port);
        connection = std::make_unique<TcpConnection>(acceptor.accept());
    }
};

std::string readError(TcpConnection& connection)
{
    try {
        const std::string line = connection.readLine();
        return "no error, read: " + line;
    } catch (const ReadError& e) {
        return e.what();
    }
}

} // namespace

TEST(TcpConnection, ReadsLinesAsHandheldsEndThemAndDropsAnUnfinishedOne)
{
    struct Case
    {
        const char* name;
        std::string sent;
        std::vector<std::string> lines;
    };
    const Case cases[] = {
        {"CR LF", "0000\r\n", {"0000"}},
        {"LF alone", "0000\n", {"0000"}},
        {"empty line", "\r\n", {""}},
        {"several in one packet", "a\r\nb\nc\r\n", {"a", "b", "c"}},
        {"CR inside a line stays", "a\rb\n", {"a\rb"}},
        {"Windows-1252 decoded", "1000\x02Jos\xE9\x02\xC7\r\n", {"1000\x02Jos\xC3\xA9\x02\xC3\x87"}},
        {"exactly at the limit",
         std::string(server::kMaxLineBytes, 'x') + "\r\n",
         {std::string(server::kMaxLineBytes, 'x')}},
        {"text without LF before closing", "a\npartial", {"a"}},
        {"nothing at all", "", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ConnectedPair pair;
        pair.device->send(c.sent);
        for (const std::string& expected : c.lines)
            EXPECT_EQ(pair.connection->readLine(), expected);
        EXPECT_TRUE(pair.connection->connected());
        pair.device->close();
        EXPECT_EQ(readError(*pair.connection), "Conexão encerrada pelo dispositivo.");
        EXPECT_FALSE(pair.connection->connected());
    }
}

TEST(TcpConnection, OverlongLineEndsTheConnectionInsteadOfLooping)
{
    const std::string withLf = std::string(server::kMaxLineBytes + 1, 'x') + "\n";
    const std::string withoutLf(20000, 'y');
    for (const std::string& sent : {withLf, withoutLf}) {
        SCOPED_TRACE(sent.size());
        ConnectedPair pair;
        pair.device->send(sent);
        pair.device->send("0000\r\n"); // a good line after it is never reached
        const std::string error = readError(*pair.connection);
        EXPECT_NE(error.find("16384"), std::string::npos) << error;
        EXPECT_FALSE(pair.connection->connected());
        EXPECT_TRUE(pair.device->endedByServer());
        // Every later read fails at once.
        EXPECT_EQ(readError(*pair.connection).substr(0, 8), "Conexão");
    }
}

TEST(TcpConnection, DisconnectFromAnotherThreadEndsABlockedReadAndLaterWrites)
{
    ConnectedPair pair;
    // Whether the shutdown comes before or during the read, the read must end.
    std::thread stopper([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        pair.connection->disconnect();
    });
    EXPECT_EQ(readError(*pair.connection), "Conexão encerrada pelo servidor.");
    stopper.join();
    EXPECT_FALSE(pair.connection->connected());
    EXPECT_TRUE(pair.device->endedByServer());
    EXPECT_THROW(pair.connection->writeLine("9999"), std::runtime_error);
    // Disconnecting again, or after the owner closed the socket, is harmless.
    pair.connection->disconnect();
    pair.connection->close();
    pair.connection->close();
}

TEST(TcpConnection, RepliesGoOutInWindows1252EndedByCrLf)
{
    ConnectedPair pair;
    pair.connection->writeLine("a\xC3\xA7\xC3\xA3o\x02"); // "ação" and STX
    pair.connection->writeLine("9999");
    pair.connection->writeLine("");
    pair.connection->flush(); // an answer goes out whole at the end of its request
    EXPECT_EQ(pair.device->receiveUntil("\r\n\r\n"), "a\xE7\xE3o\x02\r\n9999\r\n\r\n");

    // A long answer goes out in writes of at least 16 KB, without waiting for its end.
    const std::string row(1000, 'r');
    for (int i = 0; i < 17; ++i)
        pair.connection->writeLine(row);
    EXPECT_EQ(pair.device->receiveUntil(row + "\r\n" + row + "\r\n").size(), 2 * (row.size() + 2));
    pair.connection->flush();
}

TEST(TcpConnection, WritingToAVanishedHandheldThrowsWithoutKillingTheProcess)
{
    ConnectedPair pair;
    pair.device->close();
    // The first writes may still fit in the socket's buffer; a reset follows.
    bool threw = false;
    for (int i = 0; i < 200 && !threw; ++i) {
        try {
            pair.connection->writeLine(std::string(1000, 'z'));
            pair.connection->flush();
        } catch (const std::runtime_error&) {
            threw = true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    EXPECT_TRUE(threw);
}

TEST(TcpConnection, SessionKeyIsTheSocketHandleAndPeerIsTheDevicesAddress)
{
    ConnectedPair pair;
    const std::string key = pair.connection->sessionKey();
    ASSERT_FALSE(key.empty());
    EXPECT_EQ(key.find_first_not_of("0123456789"), std::string::npos) << key;
    const int fd = std::stoi(key);
    EXPECT_NE(::fcntl(fd, F_GETFD), -1) << "not an open descriptor";
    sockaddr_in local{};
    socklen_t length = sizeof local;
    ASSERT_EQ(::getsockname(fd, reinterpret_cast<sockaddr*>(&local), &length), 0);
    EXPECT_EQ(ntohs(local.sin_port), pair.port) << "the descriptor is not this connection's socket";
    EXPECT_EQ(pair.connection->peerAddress(), "127.0.0.1");
}

TEST(TcpConnection, AddressTextShowsMappedIpv4AsPlainIpv4)
{
    const std::pair<const char*, const char*> cases[] = {
        {"::ffff:10.1.2.3", "10.1.2.3"}, {"::ffff:127.0.0.1", "127.0.0.1"},
        {"192.168.0.7", "192.168.0.7"},  {"::1", "::1"},
        {"2001:db8::5", "2001:db8::5"},
    };
    for (const auto& [address, shown] : cases)
        EXPECT_EQ(server::addressText(asio::ip::make_address(address)), shown) << address;
}

// A handheld that says nothing for the idle limit is let go; every byte it
// sends starts the limit again. Keepalive is on for the ones that vanish.
TEST(TcpConnection, SilenceForTheIdleLimitEndsTheConnection)
{
    ConnectedPair pair;
    int keepAlive = 0, idle = 0;
    socklen_t size = sizeof keepAlive;
    const int handle = std::stoi(pair.connection->sessionKey());
    ASSERT_EQ(getsockopt(handle, SOL_SOCKET, SO_KEEPALIVE, &keepAlive, &size), 0);
    EXPECT_EQ(keepAlive, 1);
    size = sizeof idle;
    ASSERT_EQ(getsockopt(handle, IPPROTO_TCP, TCP_KEEPIDLE, &idle, &size), 0);
    EXPECT_EQ(idle, 60);

    pair.connection->setIdleLimit(std::chrono::seconds(1));
    std::thread talker([&] {
        for (const char* part : {"00", "0", "0\r", "\n"}) {
            std::this_thread::sleep_for(std::chrono::milliseconds(600));
            pair.device->send(part);
        }
    });
    EXPECT_EQ(pair.connection->readLine(), "0000") << "2.4 s in all, never 1 s without a byte";
    talker.join();
    EXPECT_EQ(readError(*pair.connection), "Conexão encerrada: nada recebido do dispositivo em 1 segundos.");
    EXPECT_TRUE(pair.device->endedByServer());
}
