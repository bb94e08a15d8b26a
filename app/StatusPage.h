#pragma once
// The status page over HTTP: GET / (the page for a person), /metrics
// (Prometheus) and /healthz (200 "ok" while the handhelds' listener runs and
// the collection database answers, 503 with the reason otherwise).
//
// Off unless [Status] Porta is set. It listens on [Status] Endereco; off the
// loopback it needs [Status] Token and does not start without one. With a
// token, every request must carry "Authorization: Bearer <token>" or gets
// 401. Read-only: GET and HEAD of the three paths; any other method 405, any
// other path 404.
//
// It owns a supervising thread that follows the published settings (a
// reload of the file, a save in the window) and restarts the HTTP server when
// the [Status] keys change, and the HTTP server's own threads. It reads the
// status model's snapshots and makes its own short database reads (cached for
// two seconds), never the handhelds' attachments or locks. The destructor
// stops and joins everything. Built and destroyed on one thread; the rest
// runs on its own threads.

#include "app/MetricsText.h"
#include "app/StatusHtml.h"
#include "base/ServiceState.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace httplib {
class Server;
} // namespace httplib

namespace quelvor::app {

// True for 127.0.0.0/8, ::1 and "localhost".
bool enderecoDeLoopback(std::string_view endereco);

// The Authorization header against the token, in a time that depends only on
// their lengths: "Bearer " and exactly the token.
bool tokenConfere(std::string_view autorizacao, std::string_view token);

class StatusPage
{
public:
    using FonteDosPools = std::function<std::vector<UsoDoPool>()>;

    // Starts the supervising thread, which starts the page as soon as the
    // published settings ask for it.
    StatusPage(base::ServiceState& state, FonteDosPools pools);
    ~StatusPage();

    StatusPage(const StatusPage&) = delete;
    StatusPage& operator=(const StatusPage&) = delete;

    // The port the page listens on now; 0 while it is off. Any thread.
    int portaAtiva() const { return m_portaAtiva; }

    // How long a database read stays good for the page and /healthz.
    static constexpr std::chrono::seconds kValidadeDaLeitura{2};

private:
    struct Configuracao
    {
        int porta = 0;
        std::string endereco;
        std::string token;
        bool operator==(const Configuracao&) const = default;
    };

    void supervisiona();
    void aplica(const Configuracao& desejada);
    void inicia(const Configuracao& c);
    void para();
    void rotas(httplib::Server& servidor, const std::string& token);
    LeituraDaBase leitura();

    base::ServiceState& m_state;
    const FonteDosPools m_pools;

    std::mutex m_mutex;
    std::condition_variable m_acorda;
    bool m_parar = false; // guarded by m_mutex

    // Supervising thread only.
    Configuracao m_atual;
    std::unique_ptr<httplib::Server> m_servidor;
    std::thread m_escuta;
    std::atomic<int> m_portaAtiva{0};

    std::mutex m_leituraMutex;                        // held during a read: one at a time
    LeituraDaBase m_leitura;                          // guarded by m_leituraMutex
    std::chrono::steady_clock::time_point m_lidaEm{}; // guarded by m_leituraMutex
    bool m_temLeitura = false;                        // guarded by m_leituraMutex

    std::thread m_supervisor; // last: starts once everything above exists
};

} // namespace quelvor::app
