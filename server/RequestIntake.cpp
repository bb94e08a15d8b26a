#include "server/RequestIntake.h"

#include "app/OperatorLog.h"
#include "protocol/TConexao.h"

namespace quelvor::server {

bool IdTCPServer1Execute(DeviceConnection& AContext, const app::SettingsStore& settings)
{
    std::string texto;
    try {
        texto = AContext.readLine();
    } catch (const ReadError& e) {
        app::log(e.what());
        return false;
    }
    if (texto.empty())
        return true;

    const app::Settings s = settings.get(); // one consistent copy for the whole request
    protocol::TConexao conexao(s.EdtBaseColeta, s.EdtUsuarioColeta, s.EdtSenhaColeta, s.EdtBaseTarvell,
                               s.EdtUsuarioTarvell, s.EdtSenhaTarvell);
    conexao.TrataTextoRecebidoANDROIDObj(texto, AContext, AContext.peerAddress(), AContext.sessionKey());
    return true;
}

} // namespace quelvor::server
