#include "server/TcpListener.h"

#include "base/OperatorLog.h"
#include "server/ListenerEvents.h"
#include "server/RequestIntake.h"

#include <algorithm>
#include <chrono>
#include <system_error>
#include <thread>

namespace quelvor::server {
namespace {

// How long a stop lets cancelled statements end before it closes their
// attachments' connections.
constexpr std::chrono::seconds kPacienciaDoCancelamento{5};

// The host has no IPv6 (or none usable): the listener then serves IPv4 alone.
bool ipv6Unavailable(const std::error_code& ec)
{
    return ec == std::errc::address_family_not_supported || ec == std::errc::protocol_not_supported ||
           ec == std::errc::address_not_available;
}

// Failures of one incoming connection rather than of the listening socket.
bool transientAcceptError(const std::error_code& ec)
{
    return ec == asio::error::connection_aborted || ec == std::errc::connection_reset ||
           ec == std::errc::protocol_error || ec == std::errc::interrupted || ec == asio::error::try_again;
}

} // namespace

IdTCPServer::IdTCPServer(base::ServiceState& state) : m_state(state) {}

IdTCPServer::~IdTCPServer()
{
    try {
        deactivate();
    } catch (...) {
    }
}

std::unique_ptr<IdTCPServer::Listener> IdTCPServer::openListener(const asio::ip::tcp& protocol,
                                                                 unsigned short port)
{
    auto listener = std::make_unique<Listener>();
    asio::ip::tcp::acceptor& acceptor = listener->acceptor;
    acceptor.open(protocol);
    if (protocol == asio::ip::tcp::v6())
        acceptor.set_option(asio::ip::v6_only(true));
    acceptor.set_option(asio::socket_base::reuse_address(true));
    acceptor.bind(asio::ip::tcp::endpoint(protocol, port));
    acceptor.listen(asio::socket_base::max_listen_connections);
    return listener;
}

void IdTCPServer::activate(int port)
{
    if (m_active)
        deactivate();

    const auto wanted = static_cast<unsigned short>(port & 0xFFFF);
    std::vector<std::unique_ptr<Listener>> listeners;
    // With port 0 the system picks the IPv4 port and IPv6 must take the same
    // number, which another program may hold on IPv6 alone: pick again then.
    for (int attempt = 0;; ++attempt) {
        listeners.clear();
        listeners.push_back(openListener(asio::ip::tcp::v4(), wanted));
        const unsigned short bound = listeners.front()->acceptor.local_endpoint().port();
        try {
            listeners.push_back(openListener(asio::ip::tcp::v6(), bound));
        } catch (const std::system_error& e) {
            if (ipv6Unavailable(e.code()))
                break;
            if (wanted == 0 && e.code() == std::errc::address_in_use && attempt < 20)
                continue;
            throw;
        }
        break;
    }

    m_port = listeners.front()->acceptor.local_endpoint().port();
    m_ipv6 = listeners.size() > 1;
    m_stopping = false;
    m_listeners = std::move(listeners);
    m_listenersReady = std::make_unique<std::latch>(static_cast<std::ptrdiff_t>(m_listeners.size()));
    m_active = true;
    for (size_t i = 0; i < m_listeners.size(); ++i) {
        try {
            m_listeners[i]->thread = std::thread(&IdTCPServer::listen, this, std::ref(*m_listeners[i]),
                                                 std::ref(*m_listenersReady));
        } catch (...) {
            // The threads already started must not wait for the missing ones.
            m_listenersReady->count_down(static_cast<std::ptrdiff_t>(m_listeners.size() - i));
            deactivate();
            throw;
        }
    }
}

void IdTCPServer::listen(Listener& listener, std::latch& ready)
{
    IdTCPServer1BeforeListenerRun(m_state);
    // Whichever thread emptied the session table, no thread accepts before it is done.
    ready.arrive_and_wait();
    if (!m_stopping) {
        startAccept(listener);
        try {
            listener.context.run();
        } catch (const std::exception& e) {
            base::log(std::string("Erro no servidor socket: ") + e.what());
        }
    }
    asio::error_code ignored;
    listener.acceptor.close(ignored);
}

void IdTCPServer::startAccept(Listener& listener)
{
    listener.acceptor.async_accept(
        m_socketContext, [this, &listener](const asio::error_code& ec, asio::ip::tcp::socket socket) {
            if (m_stopping || ec == asio::error::operation_aborted)
                return; // the socket, if any, is closed here by its owner, this thread
            if (!ec) {
                listener.failing = false;
                startSession(std::move(socket));
                startAccept(listener);
                return;
            }
            if (transientAcceptError(ec)) {
                startAccept(listener);
                return;
            }
            // Out of descriptors or memory: the same error would come back at once,
            // so wait a little, and tell the operator once rather than ten times a second.
            if (!listener.failing)
                base::log("Erro ao aceitar conexão: " + ec.message());
            listener.failing = true;
            listener.retry.expires_after(std::chrono::milliseconds(100));
            listener.retry.async_wait([this, &listener](const asio::error_code& waited) {
                if (!waited && !m_stopping)
                    startAccept(listener);
            });
        });
}

void IdTCPServer::startSession(asio::ip::tcp::socket socket)
{
    joinFinishedSessions();
    const base::Settings settings = m_state.settings.get();
    if (settings.maximoConexoes > 0) {
        std::string aviso;
        {
            std::lock_guard lock(m_sessionsMutex);
            const auto live = std::count_if(m_sessions.begin(), m_sessions.end(),
                                            [](const Session& s) { return !s.finished; });
            if (live >= settings.maximoConexoes) {
                // Closed at once: one handheld too many must not lock the
                // others out of descriptors. Said at most once a minute.
                asio::error_code ignored;
                socket.close(ignored);
                ++m_recusadas;
                const auto now = std::chrono::steady_clock::now();
                if (!m_avisouRecusa || now - m_ultimoAvisoRecusa >= std::chrono::minutes(1)) {
                    m_avisouRecusa = true;
                    aviso = "Conexão recusada: limite de " + std::to_string(settings.maximoConexoes) +
                            " conexões simultâneas atingido (" + std::to_string(m_recusadas) +
                            " recusadas desde o último aviso)";
                    m_ultimoAvisoRecusa = now;
                    m_recusadas = 0;
                }
            }
        }
        if (!socket.is_open()) {
            m_state.status.recusadaPeloLimite();
            if (!aviso.empty())
                base::log(aviso);
            return;
        }
    }
    try {
        auto connection = std::make_unique<TcpConnection>(std::move(socket));
        connection->setIdleLimit(std::chrono::seconds(std::max(0, settings.tempoOcioso)));
        std::lock_guard lock(m_sessionsMutex);
        Session& session = m_sessions.emplace_back();
        session.connection = std::move(connection);
        try {
            // Under the lock, so the thread cannot finish before it is stored.
            session.thread = std::thread(&IdTCPServer::serve, this, std::ref(session));
        } catch (...) {
            m_sessions.pop_back(); // the thread never ran: this thread still owns the socket and closes it
            throw;
        }
    } catch (const std::exception& e) {
        base::log(std::string("Erro ao aceitar conexão: ") + e.what());
    }
}

void IdTCPServer::serve(Session& session)
{
    TcpConnection& connection = *session.connection;
    IdTCPServer1Connect(connection, m_state, &m_poolColeta);
    for (;;) {
        try {
            if (!IdTCPServer1Execute(
                    connection, m_state.settings,
                    {&m_state.coleta, &m_state.tarvell, &m_poolColeta, &m_poolTarvell, &m_state.status}) ||
                !connection.connected())
                break;
        } catch (const std::exception& e) {
            IdTCPServer1Exception(connection, e);
            break;
        } catch (...) {
            IdTCPServer1Exception(connection, std::runtime_error("erro desconhecido"));
            break;
        }
    }
    IdTCPServer1Disconnect(connection, m_state);

    // Closed under the lock: a walk of the list never shuts down a descriptor
    // that has been closed and perhaps reused.
    std::lock_guard lock(m_sessionsMutex);
    connection.close();
    session.finished = true;
}

void IdTCPServer::joinFinishedSessions()
{
    std::list<Session> finished;
    {
        std::lock_guard lock(m_sessionsMutex);
        for (auto it = m_sessions.begin(); it != m_sessions.end();) {
            auto next = std::next(it);
            if (it->finished)
                finished.splice(finished.end(), m_sessions, it);
            it = next;
        }
    }
    for (Session& session : finished)
        session.thread.join(); // it has only the lock's release left to do
}

void IdTCPServer::disconnectAll()
{
    std::lock_guard lock(m_sessionsMutex);
    for (Session& session : m_sessions) {
        if (session.finished)
            continue;
        try {
            session.connection->disconnect();
            // A request waiting for a locked row or a slow statement ends now,
            // not when the lock goes: the stop joins this thread.
            session.connection->cancelamento.cancel();
        } catch (...) {
            // One connection's failure does not keep the others connected.
        }
    }
}

void IdTCPServer::deactivate()
{
    m_stopping = true;
    for (auto& listener : m_listeners)
        listener->context.stop();
    for (auto& listener : m_listeners)
        if (listener->thread.joinable())
            listener->thread.join();
    m_listeners.clear();
    m_listenersReady.reset();

    // No listening thread is left to add a session: every one is in the list.
    disconnectAll();
    std::list<Session> sessions;
    {
        std::lock_guard lock(m_sessionsMutex);
        sessions.splice(sessions.end(), m_sessions);
    }
    // A statement waiting on a database that no longer answers (a route that
    // drops packets) does not hear the cancel, which travels the same way:
    // after a grace period the stop closes those attachments' connections.
    const auto deadline = std::chrono::steady_clock::now() + kPacienciaDoCancelamento;
    for (;;) {
        {
            std::lock_guard lock(m_sessionsMutex);
            const bool todas = std::all_of(sessions.begin(), sessions.end(),
                                           [](const Session& session) { return session.finished; });
            if (todas)
                break;
            if (std::chrono::steady_clock::now() >= deadline) {
                for (Session& session : sessions)
                    if (!session.finished)
                        session.connection->cancelamento.abort();
                break;
            }
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    for (Session& session : sessions)
        session.thread.join(); // outside the lock, which each thread takes to finish
    // Every request has given its attachments back: none is left open.
    m_poolColeta.drain();
    m_poolTarvell.drain();
    m_active = false;
}

} // namespace quelvor::server
