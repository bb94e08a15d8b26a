#include "app/StatusPage.h"

#include "app/StatusReads.h"
#include "base/Numbers.h"
#include "base/OperatorLog.h"
#include "base/RegionalFormat.h"

#include <httplib.h>

#include <arpa/inet.h>

#include <algorithm>

namespace quelvor::app {
namespace {

constexpr std::string_view kBearer = "Bearer ";

std::string hoje()
{
    const base::Date d = base::localNow().date;
    return base::zeroPadded(d.year, 4) + "-" + base::zeroPadded(d.month, 2) + "-" +
           base::zeroPadded(d.day, 2);
}

std::string enderecoNaUrl(const std::string& endereco)
{
    return endereco.find(':') != std::string::npos ? "[" + endereco + "]" : endereco;
}

} // namespace

bool enderecoDeLoopback(std::string_view endereco)
{
    const std::string e(endereco);
    if (e == "localhost")
        return true;
    in_addr v4{};
    if (::inet_pton(AF_INET, e.c_str(), &v4) == 1)
        return (ntohl(v4.s_addr) >> 24) == 127;
    in6_addr v6{};
    if (::inet_pton(AF_INET6, e.c_str(), &v6) == 1)
        return IN6_IS_ADDR_LOOPBACK(&v6);
    return false;
}

bool tokenConfere(std::string_view autorizacao, std::string_view token)
{
    // Every byte of the longer side is looked at whatever the first
    // difference, so the time says nothing of how much of a guess was right.
    const size_t esperado = kBearer.size() + token.size();
    const size_t n = std::max(autorizacao.size(), esperado);
    unsigned diferenca = autorizacao.size() == esperado ? 0 : 1;
    for (size_t i = 0; i < n; ++i) {
        const unsigned char a = i < autorizacao.size() ? static_cast<unsigned char>(autorizacao[i]) : 0;
        const unsigned char b = i < kBearer.size() ? static_cast<unsigned char>(kBearer[i])
                                : i < esperado     ? static_cast<unsigned char>(token[i - kBearer.size()])
                                                   : 0;
        diferenca |= a ^ b;
    }
    return diferenca == 0 && !token.empty();
}

StatusPage::StatusPage(base::ServiceState& state, FonteDosPools pools)
    : m_state(state), m_pools(std::move(pools)), m_supervisor([this] { supervisiona(); })
{
}

StatusPage::~StatusPage()
{
    {
        std::lock_guard lock(m_mutex);
        m_parar = true;
    }
    m_acorda.notify_all();
    m_supervisor.join();
}

void StatusPage::supervisiona()
{
    std::unique_lock lock(m_mutex);
    while (!m_parar) {
        lock.unlock();
        const base::Settings s = m_state.settings.get();
        aplica({s.statusPorta, s.statusEndereco.empty() ? "127.0.0.1" : s.statusEndereco, s.statusToken});
        lock.lock();
        // The settings carry no signal of their own; half a second is soon
        // enough for a page that a person or a scraper reads.
        m_acorda.wait_for(lock, std::chrono::milliseconds(500), [this] { return m_parar; });
    }
    lock.unlock();
    para();
}

void StatusPage::aplica(const Configuracao& desejada)
{
    if (desejada == m_atual)
        return;
    const bool estavaLigada = m_servidor != nullptr;
    para();
    m_atual = desejada;
    if (desejada.porta <= 0) {
        if (estavaLigada)
            base::log("Página de status desligada.");
        return;
    }
    if (!enderecoDeLoopback(desejada.endereco) && desejada.token.empty()) {
        base::log("Página de status não iniciada: o endereço " + desejada.endereco +
                  " não é de loopback e [Status] Token está vazio.");
        return;
    }
    inicia(desejada);
}

void StatusPage::inicia(const Configuracao& c)
{
    auto servidor = std::make_unique<httplib::Server>();
    // Two workers: a slow database read for the page never holds up a scrape.
    servidor->new_task_queue = [] { return new httplib::ThreadPool(2); };
    servidor->set_keep_alive_timeout(2);
    servidor->set_read_timeout(5, 0);
    servidor->set_write_timeout(5, 0);
    servidor->set_payload_max_length(4096);
    rotas(*servidor, c.token);
    if (!servidor->bind_to_port(c.endereco, c.porta)) {
        base::log("Página de status não iniciada: não foi possível escutar em " + enderecoNaUrl(c.endereco) +
                  ":" + std::to_string(c.porta) + ".");
        return;
    }
    httplib::Server* s = servidor.get();
    auto terminou = std::make_shared<std::atomic<bool>>(false);
    m_escuta = std::thread([s, terminou] {
        s->listen_after_bind();
        *terminou = true;
    });
    // A stop before the loop runs would be lost; wait for it to run.
    while (!s->is_running() && !*terminou)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    m_servidor = std::move(servidor);
    m_portaAtiva = c.porta;
    base::log("Página de status em http://" + enderecoNaUrl(c.endereco) + ":" + std::to_string(c.porta) +
              "/" + (c.token.empty() ? "" : " (com token)"));
}

void StatusPage::para()
{
    if (!m_servidor)
        return;
    m_servidor->stop();
    m_escuta.join(); // the listening loop joins its workers before it returns
    m_servidor.reset();
    m_portaAtiva = 0;
}

void StatusPage::rotas(httplib::Server& servidor, const std::string& token)
{
    servidor.set_pre_routing_handler([token](const httplib::Request& req, httplib::Response& res) {
        if (!token.empty() && !tokenConfere(req.get_header_value("Authorization"), token)) {
            res.status = 401;
            res.set_header("WWW-Authenticate", "Bearer");
            res.set_content("token ausente ou incorreto\n", "text/plain; charset=utf-8");
            return httplib::Server::HandlerResponse::Handled;
        }
        if (req.path != "/" && req.path != "/metrics" && req.path != "/healthz") {
            res.status = 404;
            res.set_content("não encontrado\n", "text/plain; charset=utf-8");
            return httplib::Server::HandlerResponse::Handled;
        }
        if (req.method != "GET" && req.method != "HEAD") {
            res.status = 405;
            res.set_header("Allow", "GET, HEAD");
            res.set_content("só leitura: GET ou HEAD\n", "text/plain; charset=utf-8");
            return httplib::Server::HandlerResponse::Handled;
        }
        return httplib::Server::HandlerResponse::Unhandled;
    });

    servidor.Get("/", [this](const httplib::Request&, httplib::Response& res) {
        const LeituraDaBase lida = leitura();
        res.set_header("Cache-Control", "no-store");
        res.set_content(paginaDeStatus(m_state.status.snapshot(), lida, base::WallClock::now()),
                        "text/html; charset=utf-8");
    });
    servidor.Get("/metrics", [this](const httplib::Request&, httplib::Response& res) {
        res.set_content(
            textoDeMetricas(m_state.status.snapshot(), m_pools ? m_pools() : std::vector<UsoDoPool>{}),
            "text/plain; version=0.0.4; charset=utf-8");
    });
    servidor.Get("/healthz", [this](const httplib::Request&, httplib::Response& res) {
        res.set_header("Cache-Control", "no-store");
        if (m_state.status.snapshot().servico != base::EstadoDoServico::EmExecucao) {
            res.status = 503;
            res.set_content("serviço parado\n", "text/plain; charset=utf-8");
            return;
        }
        const LeituraDaBase lida = leitura();
        if (!lida.tentada) {
            res.status = 503;
            res.set_content("base de dados das coletas não configurada\n", "text/plain; charset=utf-8");
            return;
        }
        if (!lida.respondeu) {
            res.status = 503;
            res.set_content("base de dados das coletas não responde: " + lida.erro + "\n",
                            "text/plain; charset=utf-8");
            return;
        }
        res.set_content("ok\n", "text/plain; charset=utf-8");
    });
}

LeituraDaBase StatusPage::leitura()
{
    std::lock_guard lock(m_leituraMutex);
    const auto agora = std::chrono::steady_clock::now();
    if (m_temLeitura && agora - m_lidaEm < kValidadeDaLeitura)
        return m_leitura;
    const base::Settings s = m_state.settings.get();
    if (m_state.status.snapshot().servico != base::EstadoDoServico::EmExecucao || s.EdtBaseColeta.empty()) {
        // Nothing to read while stopped; the next request looks again.
        m_temLeitura = false;
        return LeituraDaBase{};
    }
    m_leitura = leStatusDaBase(s, hoje());
    m_lidaEm = std::chrono::steady_clock::now();
    m_temLeitura = true;
    return m_leitura;
}

} // namespace quelvor::app
