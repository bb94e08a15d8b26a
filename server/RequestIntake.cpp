#include "server/RequestIntake.h"

#include "base/OperatorLog.h"
#include "protocol/TConexao.h"
#include "server/ListenerEvents.h"

#include <algorithm>
#include <optional>
#include <stdexcept>

namespace quelvor::server {

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
    return true;
}

} // namespace quelvor::server
