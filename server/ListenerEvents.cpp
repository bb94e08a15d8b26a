#include "server/ListenerEvents.h"

#include "base/OperatorLog.h"
#include "db/QueryHelpers.h"
#include "db/Sql.h"

#include <algorithm>
#include <memory>

namespace quelvor::server {
namespace {

// Runs a statement on the collection database; the device and the listener go
// on whatever happens, and a statement failure has been logged by
// ExecutaQuery. True when the statement ran.
bool executaIgnorandoFalhas(const base::Settings& settings, const db::Sql& statement,
                            base::OutageNotice* aviso, db::AttachmentPool* pool = nullptr)
{
    try {
        bool executou = false;
        if (pool) {
            // An attachment kept between requests: the handshake that follows
            // the connect costs no attach of its own.
            const db::ConnectionParams params = db::parametrosDaBase(settings, false);
            unsigned long bilhete = 0;
            db::Attachment conexao = pool->take(params, bilhete);
            db::ResultSet rows;
            bool selected = false;
            executou = db::executaComando(conexao, statement, rows, selected);
            try {
                conexao.commit();
            } catch (const std::exception&) {
                executou = false; // broken: the pool closes it
            }
            pool->giveBack(std::move(conexao), bilhete);
        } else {
            std::unique_ptr<db::Query> query;
            executou = db::ExecutaQuery(settings, statement, query, "c");
        }
        if (aviso)
            aviso->respondeu();
        return executou;
    } catch (const std::exception& e) {
        // Attaching failed (unreachable server, wrong path or credentials):
        // the outage notice tells the operator, once.
        if (aviso)
            aviso->falhou(e.what());
        return false;
    } catch (...) {
        return false;
    }
}

db::Sql sessaoVazia(DeviceConnection& AContext)
{
    return db::Sql("UPDATE OR INSERT INTO "
                   "SESSOESATIVAS(SES_ID,LIBERADO,EMPRESACERTA,VERSAOCORRETA,IP)VALUES(?,?,?,?,?)",
                   {db::bare(AContext.sessionKey()), db::text(""), db::text(""), db::text(""),
                    db::text(AContext.peerAddress())});
}

} // namespace

void IdTCPServer1BeforeListenerRun(base::ServiceState& state)
{
    if (state.inicializousocket.exchange(true))
        return;
    executaIgnorandoFalhas(state.settings.get(), "DELETE FROM SESSOESATIVAS", &state.coleta);
}

void IdTCPServer1Connect(DeviceConnection& AContext, base::ServiceState& state, db::AttachmentPool* pool)
{
    AContext.sessaoReiniciada = false;
    try {
        state.status.conectou(AContext.sessionKey(), AContext.peerAddress());
    } catch (...) {
    }
    try {
        base::log("Conectou: " + AContext.sessionKey());
        const db::Sql statement = sessaoVazia(AContext);
        base::log("Sql:" + statement.display());
        const base::Settings settings = state.settings.get();
        if (pool)
            pool->setLimit(static_cast<std::size_t>(std::max(0, settings.poolConexoes)));
        AContext.sessaoReiniciada = executaIgnorandoFalhas(settings, statement, &state.coleta, pool);
    } catch (...) {
        // Nothing here may keep the device from being served or counted.
    }
    ++state.connectedDevices;
}

bool reiniciaSessao(DeviceConnection& AContext, const base::Settings& settings, base::OutageNotice* aviso,
                    db::AttachmentPool* pool)
{
    try {
        return executaIgnorandoFalhas(settings, sessaoVazia(AContext), aviso, pool);
    } catch (...) {
        return false;
    }
}

void IdTCPServer1Disconnect(DeviceConnection& AContext, base::ServiceState& state)
{
    try {
        state.status.desconectou(AContext.sessionKey());
        base::log("Desconectou: " + AContext.sessionKey());
    } catch (...) {
    }
    --state.connectedDevices;
}

void IdTCPServer1Exception(DeviceConnection&, const std::exception&) {}

} // namespace quelvor::server
