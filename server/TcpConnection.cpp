#include "server/TcpConnection.h"

#include "base/TextConversion.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <stdexcept>
#include <sys/socket.h>

namespace quelvor::server {
namespace {

// What a reply holds back before it writes: a catalogue's rows go out in
// writes of at least this much.
constexpr std::size_t kReplyBatchBytes = 16384;

std::string remoteAddressOf(asio::ip::tcp::socket& socket)
{
    asio::error_code ec;
    const asio::ip::tcp::endpoint remote = socket.remote_endpoint(ec);
    return ec ? std::string() : addressText(remote.address());
}

} // namespace

std::string addressText(const asio::ip::address& address)
{
    if (address.is_v6() && address.to_v6().is_v4_mapped())
        return asio::ip::make_address_v4(asio::ip::v4_mapped, address.to_v6()).to_string();
    return address.to_string();
}

TcpConnection::TcpConnection(asio::ip::tcp::socket socket)
    : m_socket(std::move(socket)), m_handle(m_socket.native_handle()), m_sessionKey(std::to_string(m_handle)),
      m_peerAddress(remoteAddressOf(m_socket))
{
    // An answer is several short lines written one by one (a reply, then the
    // end line). Without this, the end line would wait for the handheld's
    // delayed acknowledgement of the reply: some 40 ms on every request.
    asio::error_code ignored;
    m_socket.set_option(asio::ip::tcp::no_delay(true), ignored);
    m_socket.set_option(asio::socket_base::keep_alive(true), ignored);
    const int idle = 60, interval = 10, probes = 6;
    ::setsockopt(m_handle, IPPROTO_TCP, TCP_KEEPIDLE, &idle, sizeof idle);
    ::setsockopt(m_handle, IPPROTO_TCP, TCP_KEEPINTVL, &interval, sizeof interval);
    ::setsockopt(m_handle, IPPROTO_TCP, TCP_KEEPCNT, &probes, sizeof probes);
}

TcpConnection::~TcpConnection()
{
    close();
}

void TcpConnection::fail(const std::string& message)
{
    if (!m_ended) {
        m_ended = true;
        // Let the handheld see the end at once, whatever it was still sending.
        asio::error_code ignored;
        m_socket.shutdown(asio::socket_base::shutdown_both, ignored);
    }
    throw ReadError(message);
}

std::string TcpConnection::readLine()
{
    if (m_ended || !m_socket.is_open())
        throw ReadError("Conexão encerrada.");
    std::array<char, 4096> chunk;
    for (;;) {
        // A stop ends the conversation even when whole lines are still buffered.
        if (m_shutDown.load())
            fail("Conexão encerrada pelo servidor.");

        std::string raw;
        switch (m_buffer.next(raw)) {
        case LineBuffer::Result::Line:
            return base::fromWin1252(raw);
        case LineBuffer::Result::TooLong:
            // The rest of that line would follow; the connection is ended
            // rather than spent skipping it.
            fail("Linha recebida maior que o limite de " + std::to_string(kMaxLineBytes) + " bytes.");
        case LineBuffer::Result::NeedMore:
            break;
        }

        if (m_idleLimit.count() > 0 && !waitForData())
            fail("Conexão encerrada: nada recebido do dispositivo em " + std::to_string(m_idleLimit.count()) +
                 " segundos.");
        asio::error_code ec;
        const size_t n = m_socket.read_some(asio::buffer(chunk), ec);
        if (m_shutDown.load())
            fail("Conexão encerrada pelo servidor.");
        if (ec == asio::error::eof)
            fail("Conexão encerrada pelo dispositivo."); // an unfinished line is dropped with it
        if (ec)
            fail("Erro na conexão com o dispositivo: " + ec.message());
        m_buffer.append(std::string_view(chunk.data(), n));
    }
}

bool TcpConnection::waitForData()
{
    // The limit counts from the last bytes received: each wait is for what is
    // left of it. A shutdown from another thread wakes the wait too.
    const auto deadline = std::chrono::steady_clock::now() + m_idleLimit;
    for (;;) {
        const auto left =
            std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
        if (left <= 0)
            return false;
        pollfd fd{m_handle, POLLIN, 0};
        const int ready = ::poll(&fd, 1, static_cast<int>(std::min<long long>(left, 1'000'000)));
        if (ready > 0)
            return true;
        if (ready < 0 && errno != EINTR)
            return true; // let the read report the error
    }
}

void TcpConnection::writeLine(const std::string& line)
{
    if (m_shutDown.load())
        throw std::runtime_error("Falha ao enviar resposta ao dispositivo: conexão encerrada pelo servidor");
    base::appendWin1252(m_pendingReply, line);
    m_pendingReply += "\r\n";
    if (m_pendingReply.size() >= kReplyBatchBytes)
        flush();
}

void TcpConnection::flush()
{
    if (m_pendingReply.empty())
        return;
    // Cleared rather than handed over: the buffer keeps its room for the
    // next batch of a long reply.
    asio::error_code ec;
    asio::write(m_socket, asio::buffer(m_pendingReply), ec);
    m_pendingReply.clear();
    if (ec)
        throw std::runtime_error("Falha ao enviar resposta ao dispositivo: " + ec.message());
}

bool TcpConnection::connected() const
{
    return !m_ended && !m_shutDown.load() && m_socket.is_open();
}

void TcpConnection::disconnect()
{
    m_shutDown.store(true);
    // Straight on the descriptor, which stays valid until the owner closes it:
    // the asio object itself belongs to the owning thread.
    ::shutdown(m_handle, asio::socket_base::shutdown_both);
}

void TcpConnection::close()
{
    asio::error_code ignored;
    if (m_socket.is_open())
        m_socket.close(ignored);
}

} // namespace quelvor::server
