#pragma once
// A TCP relay on the loopback that stands between quelvord and the Firebird
// server, so that a benchmark can take the database away from quelvord
// without touching the database server: every connection accepted on the
// relay's port is joined to a new connection to the target, and the bytes are
// copied both ways until one side closes.
//
// Two ways of cutting it:
//  - refuse: the listening socket and every relayed connection are closed, so
//    that what is open breaks off and new connects are refused (a stopped
//    server, a host that answers with resets);
//  - black hole: connections are still accepted, but nothing is forwarded and
//    whatever arrives from either side is dropped (a lost route, a firewall
//    that drops packets). A connection that lost bytes in a black hole has
//    peers that would never agree again on what was said: it swallows
//    whatever comes for as long as the black hole lasts, and restore() closes
//    it, as a host that lost the connection's state answers with a reset
//    once it is reachable again. One that stayed quiet through it carries on.
// restore() brings the relay back for new connections.
//
// Plain sockets and poll(): one thread accepts, one thread per relayed
// connection; stop() (and the destructor) closes everything and joins them.

#include <atomic>
#include <list>
#include <mutex>
#include <string>
#include <thread>

namespace quelvor::bench {

class TcpRelay
{
public:
    // Listens on 127.0.0.1:listenPort and relays to 127.0.0.1:targetPort.
    // Throws std::runtime_error when the port cannot be bound.
    TcpRelay(int listenPort, int targetPort);
    ~TcpRelay();

    TcpRelay(const TcpRelay&) = delete;
    TcpRelay& operator=(const TcpRelay&) = delete;

    enum class Mode
    {
        Forward,
        Refuse,
        BlackHole,
    };

    void refuse();
    void blackHole();
    // Forwarding again for new connections; the listening socket is opened
    // again after a refusal (throws std::runtime_error when it cannot be).
    void restore();
    void stop();

    Mode mode() const { return m_mode; }
    int port() const { return m_listenPort; }
    // Connections accepted since the start, and those still open.
    long accepted() const { return m_accepted; }
    long open() const { return m_open; }

private:
    struct Link
    {
        int client = -1;
        int target = -1;
        std::atomic<bool> done{false};
        std::thread thread;
    };

    void openListener();
    void acceptLoop();
    void pump(Link& link, bool blackHoled);
    void reapFinished(bool all);

    const int m_listenPort;
    const int m_targetPort;
    std::atomic<Mode> m_mode{Mode::Forward};
    std::atomic<unsigned> m_generation{0}; // moved on by every refusal: the links of before end
    std::atomic<unsigned> m_heals{0};      // moved on by every restore: the dead links end
    std::atomic<bool> m_stopping{false};
    std::atomic<long> m_accepted{0};
    std::atomic<long> m_open{0};
    std::mutex m_lock; // the listening socket and the list of links
    int m_listener = -1;
    std::list<Link> m_links;
    std::thread m_acceptor;
};

} // namespace quelvor::bench
