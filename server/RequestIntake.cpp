#include "server/RequestIntake.h"

#include "base/OperatorLog.h"
#include "protocol/TConexao.h"

namespace quelvor::server {

bool IdTCPServer1Execute(DeviceConnection& AContext, const base::SettingsStore& settings)
{
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
    protocol::TConexao conexao(s.EdtBaseColeta, s.EdtUsuarioColeta, s.EdtSenhaColeta, s.EdtBaseTarvell,
                               s.EdtUsuarioTarvell, s.EdtSenhaTarvell);
    conexao.TrataTextoRecebidoANDROIDObj(texto, AContext, AContext.peerAddress(), AContext.sessionKey());
    return true;
}

} // namespace quelvor::server
