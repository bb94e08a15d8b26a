#include "base/StatusModel.h"

#include <algorithm>

namespace quelvor::base {

std::string_view codigoContado(std::string_view codigo)
{
    for (const std::string_view conhecido : kCodigosDePedido)
        if (codigo == conhecido)
            return conhecido;
    return kCodigoOutro;
}

void Histograma::registra(std::chrono::nanoseconds duracao)
{
    const double segundos = std::chrono::duration<double>(duracao).count();
    const auto limite = std::lower_bound(kLimites.begin(), kLimites.end(), segundos);
    ++contagens[static_cast<size_t>(limite - kLimites.begin())];
    ++total;
    somaSegundos += segundos;
}

namespace {

template <typename T> void guardaNoMaximo(std::deque<T>& fila, size_t maximo)
{
    while (fila.size() > maximo)
        fila.pop_front();
}

} // namespace

void StatusModel::servicoIniciado(int porta)
{
    std::lock_guard lock(m_mutex);
    m_estado.servico = EstadoDoServico::EmExecucao;
    m_estado.servicoDesde = WallClock::now();
    m_estado.porta = porta;
}

void StatusModel::servicoParado()
{
    std::lock_guard lock(m_mutex);
    m_estado.servico = EstadoDoServico::Parado;
    m_estado.servicoDesde = WallClock::now();
    m_conexoes.clear();
}

void StatusModel::conectou(const std::string& chave, const std::string& endereco)
{
    std::lock_guard lock(m_mutex);
    Conexao& c = m_conexoes[chave];
    c.ordem = m_proximaOrdem++;
    c.dados = ConexaoAtiva{};
    c.dados.chave = chave;
    c.dados.endereco = endereco;
    c.dados.conectadoDesde = WallClock::now();
    ++m_estado.conexoesAceitas;
}

void StatusModel::desconectou(const std::string& chave)
{
    std::lock_guard lock(m_mutex);
    m_conexoes.erase(chave);
}

void StatusModel::recusadaPeloLimite()
{
    std::lock_guard lock(m_mutex);
    ++m_estado.recusadasPeloLimite;
}

void StatusModel::identificou(const std::string& chave, const std::string& dispositivo,
                              const std::string& versao)
{
    std::lock_guard lock(m_mutex);
    const auto it = m_conexoes.find(chave);
    if (it == m_conexoes.end())
        return;
    it->second.dados.dispositivo = dispositivo;
    it->second.dados.versao = versao;
}

void StatusModel::pedido(const std::string& chave, std::string_view codigo, std::chrono::nanoseconds duracao,
                         bool falhou)
{
    const std::string contado(codigoContado(codigo));
    std::lock_guard lock(m_mutex);
    EstatisticaDePedido& e = m_estado.pedidos[contado];
    ++e.pedidos;
    if (falhou)
        ++e.falhas;
    e.latencia.registra(duracao);
    const auto it = m_conexoes.find(chave);
    if (it == m_conexoes.end())
        return;
    ConexaoAtiva& c = it->second.dados;
    c.ultimoPedido = WallClock::now();
    c.ultimoCodigo = contado;
    ++c.pedidos;
}

void StatusModel::envio(const std::string& chave, std::string_view codigo, bool confirmado)
{
    const std::string contado(codigoContado(codigo));
    std::lock_guard lock(m_mutex);
    EstatisticaDeEnvio& e = m_estado.envios[contado];
    if (!confirmado) {
        ++e.naoConfirmados;
        return;
    }
    ++e.confirmados;
    if (const auto it = m_conexoes.find(chave); it != m_conexoes.end())
        ++it->second.dados.enviosConfirmados;
}

EstadoDaBase& StatusModel::estado(Base base)
{
    return base == Base::Coleta ? m_estado.coleta : m_estado.tarvell;
}

void StatusModel::baseRespondeu(Base base)
{
    std::lock_guard lock(m_mutex);
    EstadoDaBase& e = estado(base);
    if (e.verificada && e.respondendo)
        return;
    e.verificada = true;
    e.respondendo = true;
    e.desde = WallClock::now();
}

void StatusModel::baseFalhou(Base base, const std::string& erro)
{
    std::lock_guard lock(m_mutex);
    EstadoDaBase& e = estado(base);
    const auto agora = WallClock::now();
    if (!e.verificada || e.respondendo)
        e.desde = agora;
    e.verificada = true;
    e.respondendo = false;
    e.ultimoErro = erro;
    e.ultimoErroEm = agora;
}

ExecucaoDeSincronizacao* StatusModel::execucao(std::uint64_t numero)
{
    for (auto& e : m_estado.sincronizacoes)
        if (e.numero == numero)
            return &e;
    return nullptr;
}

std::uint64_t StatusModel::sincronizacaoIniciada()
{
    std::lock_guard lock(m_mutex);
    ExecucaoDeSincronizacao e;
    e.numero = ++m_ultimaSincronizacao;
    e.inicio = WallClock::now();
    m_estado.sincronizacoes.push_back(std::move(e));
    guardaNoMaximo(m_estado.sincronizacoes, kSincronizacoesGuardadas);
    return m_ultimaSincronizacao;
}

void StatusModel::sincronizacaoTabela(std::uint64_t numero, const TabelaSincronizada& tabela)
{
    std::lock_guard lock(m_mutex);
    ExecucaoDeSincronizacao* e = execucao(numero);
    if (!e)
        return;
    for (auto& t : e->tabelas)
        if (t.tabela == tabela.tabela) {
            t = tabela;
            return;
        }
    e->tabelas.push_back(tabela);
}

void StatusModel::sincronizacaoTerminada(std::uint64_t numero, bool sucesso, const std::string& erro)
{
    std::lock_guard lock(m_mutex);
    ExecucaoDeSincronizacao* e = execucao(numero);
    if (!e)
        return;
    e->fim = WallClock::now();
    e->emAndamento = false;
    e->sucesso = sucesso;
    e->erro = erro;
}

void StatusModel::erro(const std::string& texto)
{
    std::lock_guard lock(m_mutex);
    m_estado.erros.push_back({WallClock::now(), texto});
    guardaNoMaximo(m_estado.erros, kErrosGuardados);
}

void StatusModel::alerta(AlertaDeQualidade alerta)
{
    std::lock_guard lock(m_mutex);
    ++m_estado.alertasPorTipo[alerta.tipo];
    m_estado.alertas.push_back(std::move(alerta));
    guardaNoMaximo(m_estado.alertas, kAlertasGuardados);
}

StatusSnapshot StatusModel::snapshot() const
{
    std::vector<std::pair<std::uint64_t, ConexaoAtiva>> conexoes;
    StatusSnapshot copia;
    {
        std::lock_guard lock(m_mutex);
        copia = m_estado;
        conexoes.reserve(m_conexoes.size());
        for (const auto& [chave, c] : m_conexoes)
            conexoes.emplace_back(c.ordem, c.dados);
    }
    std::sort(conexoes.begin(), conexoes.end(),
              [](const auto& a, const auto& b) { return a.first < b.first; });
    copia.conexoes.reserve(conexoes.size());
    for (auto& [ordem, c] : conexoes)
        copia.conexoes.push_back(std::move(c));
    return copia;
}

size_t StatusModel::conexoesAtivas() const
{
    std::lock_guard lock(m_mutex);
    return m_conexoes.size();
}

EstadoDaBase StatusModel::estadoDaBase(Base base) const
{
    std::lock_guard lock(m_mutex);
    return base == Base::Coleta ? m_estado.coleta : m_estado.tarvell;
}

std::optional<ExecucaoDeSincronizacao> StatusModel::ultimaSincronizacao() const
{
    std::lock_guard lock(m_mutex);
    if (m_estado.sincronizacoes.empty())
        return std::nullopt;
    return m_estado.sincronizacoes.back();
}

} // namespace quelvor::base
