#include "server/RequestIntake.h"

#include "base/OperatorLog.h"
#include "protocol/TConexao.h"
#include "server/ListenerEvents.h"

#include <algorithm>
#include <chrono>
#include <optional>
#include <stdexcept>
#include <string_view>

namespace quelvor::server {
namespace {

// The request's code as the dispatcher reads it: a line that begins with
// "0000" is the keep-alive whatever follows; any other line's code is its
// field 0.
std::string_view codigoDoPedido(const std::string& texto)
{
    if (texto.compare(0, 4, "0000") == 0)
        return std::string_view(texto).substr(0, 4);
    return std::string_view(texto).substr(0, texto.find(protocol::STX));
}

// Times one request from its line's arrival to the end of its answer and
// tells the status model when it goes: abandoned unless concluido() was
// called (an exception, a missing field, a database out of reach).
class MedicaoDoPedido
{
public:
    MedicaoDoPedido(base::StatusModel* status, std::string chave, std::string_view codigo)
        : m_status(status), m_chave(std::move(chave)), m_codigo(codigo)
    {
    }
    MedicaoDoPedido(const MedicaoDoPedido&) = delete;
    MedicaoDoPedido& operator=(const MedicaoDoPedido&) = delete;
    ~MedicaoDoPedido()
    {
        if (!m_status)
            return;
        try {
            m_status->pedido(m_chave, m_codigo, std::chrono::steady_clock::now() - m_chegada, !m_concluido);
        } catch (...) {
        }
    }
    void concluido() { m_concluido = true; }

private:
    base::StatusModel* const m_status;
    const std::string m_chave;
    const std::string_view m_codigo; // into the request's line, which outlives this
    const std::chrono::steady_clock::time_point m_chegada = std::chrono::steady_clock::now();
    bool m_concluido = false;
};

} // namespace

bool IdTCPServer1Execute(DeviceConnection& AContext, const base::SettingsStore& settings,
                         const RecursosDoPedido& recursos)
{
    base::OutageNotice* const avisoColeta = recursos.avisoColeta;
    base::OutageNotice* const avisoTarvell = recursos.avisoTarvell;
    std::string texto;
    try {
        texto = AContext.readLine();
    } catch (const ReadError& e) {
        base::log(e.what());
        return false;
    }
    if (texto.empty())
        return true;
    MedicaoDoPedido medicao(recursos.status, recursos.status ? AContext.sessionKey() : std::string(),
                            codigoDoPedido(texto));

    const base::Settings s = settings.get(); // one consistent copy for the whole request
    // The reset at connect failed (the database was unreachable for a
    // moment): the row may still be an earlier connection's, released or
    // not. It is reset now, before any request is answered, or the request
    // ends as when the database cannot be opened.
    if (!AContext.sessaoReiniciada) {
        AContext.sessaoReiniciada = reiniciaSessao(AContext, s, avisoColeta, recursos.poolColeta);
        if (!AContext.sessaoReiniciada)
            throw std::runtime_error("a sessão " + AContext.sessionKey() + " não pôde ser reiniciada");
    }
    protocol::OpcoesDaConexao opcoes;
    opcoes.tempoEsperaBloqueio = s.tempoEsperaBloqueio;
    opcoes.cancelamento = &AContext.cancelamento;
    const std::size_t limite = static_cast<std::size_t>(std::max(0, s.poolConexoes));
    for (db::AttachmentPool* pool : {recursos.poolColeta, recursos.poolTarvell})
        if (pool)
            pool->setLimit(limite);
    opcoes.poolColeta = recursos.poolColeta;
    opcoes.poolTarvell = recursos.poolTarvell;
    opcoes.status = recursos.status;
    opcoes.limitesDeQualidade = &s;
    std::optional<protocol::TConexao> conexao;
    try {
        conexao.emplace(s.EdtBaseColeta, s.EdtUsuarioColeta, s.EdtSenhaColeta, s.EdtBaseTarvell,
                        s.EdtUsuarioTarvell, s.EdtSenhaTarvell, opcoes);
    } catch (const protocol::BaseInacessivel& e) {
        // Reported, then the connection ends as it always did.
        base::OutageNotice* aviso =
            e.base == protocol::BaseInacessivel::Base::Coleta ? avisoColeta : avisoTarvell;
        if (e.base == protocol::BaseInacessivel::Base::Tarvell && avisoColeta)
            avisoColeta->respondeu();
        if (aviso)
            aviso->falhou(e.what());
        throw;
    }
    if (avisoColeta)
        avisoColeta->respondeu();
    if (avisoTarvell && !s.EdtBaseTarvell.empty())
        avisoTarvell->respondeu();
    try {
        conexao->TrataTextoRecebidoANDROIDObj(texto, AContext, AContext.peerAddress(), AContext.sessionKey());
    } catch (...) {
        // What was answered before the request was abandoned still goes out.
        try {
            AContext.flush();
        } catch (...) {
        }
        throw;
    }
    AContext.flush();
    medicao.concluido();
    return true;
}

} // namespace quelvor::server
