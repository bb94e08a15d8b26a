#pragma once
// One handheld's TCP connection: request lines in, reply lines out, both in
// Windows-1252 on the wire and UTF-8 inside.
//
// The connection's own thread owns the socket: it reads, writes and, at the
// end, closes it. The one exception is disconnect(), which any thread may call
// (the main thread during a stop): it only shuts the socket down, so that a
// read blocked on this thread returns; it never closes the descriptor, which
// therefore cannot be reused under the owner's feet.
//
// TCP keepalive is on (first probe after 60 s of silence, then every 10 s,
// 6 probes), so that the system notices a handheld that vanished with its
// mobile network.

#include "server/DeviceConnection.h"
#include "server/LineBuffer.h"

#include <asio.hpp>

#include <atomic>
#include <chrono>
#include <string>

namespace quelvor::server {

class TcpConnection : public DeviceConnection
{
public:
    explicit TcpConnection(asio::ip::tcp::socket socket);
    // Closes the socket if the owner has not done so yet.
    ~TcpConnection() override;

    TcpConnection(const TcpConnection&) = delete;
    TcpConnection& operator=(const TcpConnection&) = delete;

    // Owning thread. Throws ReadError when the device closed the connection,
    // the server shut it down, the socket failed, or a line passed
    // kMaxLineBytes; after any of these the connection is over and every
    // further read fails at once.
    std::string readLine() override;
    // Owning thread. Encodes and appends CR LF; the lines go out together
    // once 16 KB are held or at flush(), so a catalogue of many rows takes a
    // write per 16 KB, not one per row. Throws std::runtime_error when the
    // bytes cannot be written, or once the connection is shut down.
    void writeLine(const std::string& line) override;
    void flush() override;
    // Owning thread. False once a read failed or the connection was shut down.
    bool connected() const override;
    // Any thread: shuts the socket down in both directions; errors are ignored.
    // The caller makes sure the owner has not closed the socket yet (the
    // listener does so by closing it under the lock it walks its list with).
    void disconnect() override;
    std::string peerAddress() const override { return m_peerAddress; }
    std::string sessionKey() const override { return m_sessionKey; }

    // Owning thread: closes the socket (idempotent).
    void close();

    // Owning thread: a read that gets nothing for this long ends the
    // connection (a handheld gone without a word, a half-open socket);
    // zero: no limit.
    void setIdleLimit(std::chrono::seconds limit) { m_idleLimit = limit; }

private:
    [[noreturn]] void fail(const std::string& message);
    // False when the idle limit passed with nothing to read.
    bool waitForData();

    asio::ip::tcp::socket m_socket; // owning thread only
    const asio::ip::tcp::socket::native_handle_type m_handle;
    const std::string m_sessionKey;
    const std::string m_peerAddress;
    LineBuffer m_buffer{kMaxLineBytes};  // owning thread only
    bool m_ended = false;                // owning thread only: a read has failed
    std::atomic<bool> m_shutDown{false}; // set by disconnect(), any thread
    std::chrono::seconds m_idleLimit{0}; // owning thread only
    std::string m_pendingReply;          // owning thread only: lines not sent yet
};

// The address as the operator reads it: IPv4-mapped IPv6 addresses as plain IPv4.
std::string addressText(const asio::ip::address& address);

} // namespace quelvor::server
