#pragma once
// What the operator sees of the running service, in one place: the connected
// handhelds, the two databases, the last synchronisation runs, counters and
// latency histograms per request type, the uploads acknowledged and not, the
// connections the cap turned away, the recent errors and the quality alerts.
//
// The listener, the request intake, the handlers and the synchronisation feed
// it; the window, the status page and the metrics read it through snapshot(),
// which copies everything under the one lock, so a reader never sees half of
// an update. Every member may be called from any thread; none waits for
// anything but that lock, and none touches a database or the log.
//
// Request types are the known request codes; any other code counts under
// kCodigoOutro, so a handheld cannot make the tables grow.

#include <array>
#include <chrono>
#include <cstdint>
#include <deque>
#include <map>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace quelvor::base {

using WallClock = std::chrono::system_clock;

inline constexpr std::string_view kCodigoOutro = "outro";

// The request codes counted one by one, in the dispatcher's order.
inline constexpr std::array<std::string_view, 11> kCodigosDePedido{
    "1000", "1001", "1002", "1003", "1004", "1005", "4001", "6001", "6002", "6003", "0000"};

// A request code as the counters know it: itself when it is one of
// kCodigosDePedido, kCodigoOutro otherwise.
std::string_view codigoContado(std::string_view codigo);

// Latency in buckets with upper bounds in seconds (Prometheus' "le"); the last
// count is everything above the last bound.
struct Histograma
{
    static constexpr std::array<double, 13> kLimites{0.001, 0.002, 0.005, 0.01, 0.025, 0.05, 0.1,
                                                     0.25,  0.5,   1,     2.5,  5,     10};
    std::array<std::uint64_t, kLimites.size() + 1> contagens{}; // per bucket, not cumulative
    std::uint64_t total = 0;
    double somaSegundos = 0;

    void registra(std::chrono::nanoseconds duracao);
};

struct EstatisticaDePedido
{
    std::uint64_t pedidos = 0;
    std::uint64_t falhas = 0; // abandoned: an error ended the request or its connection
    Histograma latencia;
};

struct EstatisticaDeEnvio
{
    std::uint64_t confirmados = 0;    // acknowledged (7001, 7002, 7003)
    std::uint64_t naoConfirmados = 0; // the statement failed: no acknowledgement
};

struct ConexaoAtiva
{
    std::string chave;       // the session key
    std::string dispositivo; // DIS_IDENTIFICADOR from the handshake; empty before it
    std::string versao;      // the version the handheld sent in its handshake
    std::string endereco;
    WallClock::time_point conectadoDesde;
    WallClock::time_point ultimoPedido{}; // the epoch while none was made
    std::string ultimoCodigo;
    std::uint64_t pedidos = 0;
    std::uint64_t enviosConfirmados = 0;
};

struct EstadoDaBase
{
    bool verificada = false; // an attempt was made since the process began
    bool respondendo = false;
    WallClock::time_point desde{}; // the change to the present state
    std::string ultimoErro;
    WallClock::time_point ultimoErroEm{};
};

struct TabelaSincronizada
{
    std::string tabela;
    std::uint64_t lidas = 0;    // rows read from the ERP
    std::uint64_t gravadas = 0; // rows written to the collection database
};

struct ExecucaoDeSincronizacao
{
    std::uint64_t numero = 0; // 1 for the first run of the process
    WallClock::time_point inicio;
    WallClock::time_point fim{}; // the epoch while it runs
    bool emAndamento = true;
    bool sucesso = false;
    std::vector<TabelaSincronizada> tabelas;
    std::string erro;
};

struct AlertaDeQualidade
{
    WallClock::time_point quando;
    std::string tipo;     // "temperatura", "acidez" or "alizarol"
    std::string carga;    // CAR_CODIGO
    std::string produtor; // COL_PRODUTOR
    std::string rota;     // empty when not known
    std::string valor;    // as the handheld sent it
    std::string dispositivo;
};

struct ErroRecente
{
    WallClock::time_point quando;
    std::string texto;
};

enum class EstadoDoServico
{
    Parado,
    EmExecucao,
};

// A copy of everything at one moment.
struct StatusSnapshot
{
    EstadoDoServico servico = EstadoDoServico::Parado;
    WallClock::time_point servicoDesde{};
    int porta = 0;
    std::vector<ConexaoAtiva> conexoes; // in the order they connected
    EstadoDaBase coleta;
    EstadoDaBase tarvell;
    std::deque<ExecucaoDeSincronizacao> sincronizacoes; // the latest last
    std::map<std::string, EstatisticaDePedido> pedidos; // by counted code
    std::map<std::string, EstatisticaDeEnvio> envios;   // by upload code: "6001", "6002", "6003"
    std::uint64_t conexoesAceitas = 0;
    std::uint64_t recusadasPeloLimite = 0;
    std::deque<ErroRecente> erros;         // the latest last
    std::deque<AlertaDeQualidade> alertas; // the latest last
    std::map<std::string, std::uint64_t> alertasPorTipo;
};

class StatusModel
{
public:
    static constexpr size_t kSincronizacoesGuardadas = 10;
    static constexpr size_t kErrosGuardados = 50;
    static constexpr size_t kAlertasGuardados = 200;

    enum class Base
    {
        Coleta,
        Tarvell,
    };

    // The service: started on `porta`, or stopped (which forgets the connections).
    void servicoIniciado(int porta);
    void servicoParado();

    // A connection's life, by its session key.
    void conectou(const std::string& chave, const std::string& endereco);
    void desconectou(const std::string& chave);
    void recusadaPeloLimite();
    // The handshake told who the handheld is.
    void identificou(const std::string& chave, const std::string& dispositivo, const std::string& versao);

    // One request line answered (or abandoned when `falhou`), timed from its
    // line's arrival to the end of its answer.
    void pedido(const std::string& chave, std::string_view codigo, std::chrono::nanoseconds duracao,
                bool falhou);
    // An upload ("6001", "6002", "6003") acknowledged or not.
    void envio(const std::string& chave, std::string_view codigo, bool confirmado);

    // An attempt to reach a database, and how it went.
    void baseRespondeu(Base base);
    void baseFalhou(Base base, const std::string& erro);

    // A synchronisation run: its start returns its number; each table's counts
    // as they are known; its end.
    std::uint64_t sincronizacaoIniciada();
    void sincronizacaoTabela(std::uint64_t numero, const TabelaSincronizada& tabela);
    void sincronizacaoTerminada(std::uint64_t numero, bool sucesso, const std::string& erro = {});

    void erro(const std::string& texto);
    void alerta(AlertaDeQualidade alerta);

    StatusSnapshot snapshot() const;
    // Cheaper than a snapshot, for the indicator and the tray icon.
    size_t conexoesAtivas() const;

private:
    EstadoDaBase& estado(Base base);
    ExecucaoDeSincronizacao* execucao(std::uint64_t numero);

    struct Conexao
    {
        std::uint64_t ordem = 0; // arrival order, for the snapshot
        ConexaoAtiva dados;
    };

    mutable std::mutex m_mutex;
    StatusSnapshot m_estado;                   // guarded by m_mutex; its conexoes stay empty
    std::map<std::string, Conexao> m_conexoes; // guarded by m_mutex; by session key
    std::uint64_t m_proximaOrdem = 0;          // guarded by m_mutex
    std::uint64_t m_ultimaSincronizacao = 0;   // guarded by m_mutex
};

} // namespace quelvor::base
