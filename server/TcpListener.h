#pragma once
// IdTCPServer: the handhelds' TCP listener.
//
// activate() binds the port on 0.0.0.0 and, where the host has IPv6, on ::
// (IPV6_V6ONLY, so each family has its own socket) and starts one listening
// thread per family. Each listening thread runs IdTCPServer1BeforeListenerRun
// and then waits until every listening thread has done so before it accepts, so
// the first run's emptying of SESSOESATIVAS never deletes a fresh session row.
// Every accepted connection gets a thread of its own: connect event, the
// execute event while the connection is open, disconnect event, close. Past
// [Servidor] MaximoConexoes connections, a new one is closed at once; one
// that sends nothing for [Servidor] TempoOcioso seconds is closed.
//
// activate(), deactivate(), disconnectAll(), active() and port() belong to the
// main thread. A stop sets a flag, stops the listening threads (each closes its
// own listening socket), shuts every connection's socket down so that a blocked
// read returns, and joins every thread; each socket is closed only by the
// thread that owns it.

#include "base/ServiceState.h"
#include "db/AttachmentPool.h"
#include "server/ListenerControl.h"
#include "server/TcpConnection.h"

#include <asio.hpp>

#include <atomic>
#include <chrono>
#include <latch>
#include <list>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace quelvor::server {

class IdTCPServer : public server::ListenerControl
{
public:
    explicit IdTCPServer(base::ServiceState& state);
    // Deactivates; never throws.
    ~IdTCPServer() override;

    IdTCPServer(const IdTCPServer&) = delete;
    IdTCPServer& operator=(const IdTCPServer&) = delete;

    // Listens on the port's low 16 bits (0: a free port the system chooses, on
    // both families). Deactivates first when already active. Throws
    // std::system_error when the port cannot be bound on IPv4, or on IPv6 for
    // any reason other than the host lacking IPv6.
    void activate(int port) override;
    // Stops accepting, disconnects every device and joins every thread. The port
    // is free again when it returns. Safe when not active.
    void deactivate() override;
    void disconnectAll() override;
    bool active() const override { return m_active; }
    int port() const override { return m_port; }
    // Whether the last activate() also listens on IPv6.
    bool listensOnIpv6() const { return m_ipv6; }
    // The pools of the two databases, for the status page's figures (any thread).
    const db::AttachmentPool& poolColeta() const { return m_poolColeta; }
    const db::AttachmentPool& poolTarvell() const { return m_poolTarvell; }

private:
    struct Listener
    {
        asio::io_context context; // run by the listening thread only
        asio::ip::tcp::acceptor acceptor{context};
        asio::steady_timer retry{context}; // a pause after a failed accept
        bool failing = false;              // listening thread only: the last accept failed (logged once)
        std::thread thread;
    };

    struct Session
    {
        std::unique_ptr<TcpConnection> connection; // its socket is closed by `thread`
        std::thread thread;
        bool finished = false; // guarded by m_sessionsMutex: socket closed, thread ending
    };

    static std::unique_ptr<Listener> openListener(const asio::ip::tcp& protocol, unsigned short port);
    void listen(Listener& listener, std::latch& ready);
    void startAccept(Listener& listener);
    void startSession(asio::ip::tcp::socket socket);
    void serve(Session& session);
    void joinFinishedSessions();

    base::ServiceState& m_state;
    // The accepted sockets' context. Never run: connections are read and
    // written synchronously on their own threads. Declared before m_sessions so
    // that it outlives every socket.
    asio::io_context m_socketContext;

    // Main thread only.
    std::vector<std::unique_ptr<Listener>> m_listeners;
    std::unique_ptr<std::latch> m_listenersReady; // alive while listening threads run
    bool m_active = false;
    bool m_ipv6 = false;
    int m_port = 0;

    std::atomic<bool> m_stopping{false}; // set by deactivate(), read by every thread

    // The attachments kept between requests, drained by every stop. Declared
    // before the sessions: their threads give attachments back to them.
    db::AttachmentPool m_poolColeta;
    db::AttachmentPool m_poolTarvell;

    std::mutex m_sessionsMutex;
    std::list<Session> m_sessions; // guarded by m_sessionsMutex; nodes stay put while their thread runs
    long m_recusadas = 0;          // guarded by m_sessionsMutex: refused by the cap since the last line
    std::chrono::steady_clock::time_point m_ultimoAvisoRecusa; // guarded by m_sessionsMutex
    bool m_avisouRecusa = false;                               // guarded by m_sessionsMutex
};

} // namespace quelvor::server
