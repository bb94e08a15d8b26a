#include "server/ListenerEvents.h"

#include "base/OperatorLog.h"
#include "db/QueryHelpers.h"
#include "db/Sql.h"

#include <memory>

namespace quelvor::server {
namespace {

// Runs a statement on the collection database; the device and the listener go
// on whatever happens, and a statement failure has been logged by
// ExecutaQuery. True when the statement ran.
bool executaIgnorandoFalhas(const base::Settings& settings, const db::Sql& statement)
{
    try {
        std::unique_ptr<db::Query> query;
        return db::ExecutaQuery(settings, statement, query, "c");
    } catch (...) {
        // Attaching failed (unreachable server, wrong path or credentials): dropped unlogged.
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
    executaIgnorandoFalhas(state.settings.get(), "DELETE FROM SESSOESATIVAS");
}

void IdTCPServer1Connect(DeviceConnection& AContext, base::ServiceState& state)
{
    AContext.sessaoReiniciada = false;
    try {
        base::log("Conectou: " + AContext.sessionKey());
        const db::Sql statement = sessaoVazia(AContext);
        base::log("Sql:" + statement.display());
        AContext.sessaoReiniciada = executaIgnorandoFalhas(state.settings.get(), statement);
    } catch (...) {
        // Nothing here may keep the device from being served or counted.
    }
    ++state.connectedDevices;
}

bool reiniciaSessao(DeviceConnection& AContext, const base::Settings& settings)
{
    try {
        return executaIgnorandoFalhas(settings, sessaoVazia(AContext));
    } catch (...) {
        return false;
    }
}

void IdTCPServer1Disconnect(DeviceConnection& AContext, base::ServiceState& state)
{
    try {
        base::log("Desconectou: " + AContext.sessionKey());
    } catch (...) {
    }
    --state.connectedDevices;
}

void IdTCPServer1Exception(DeviceConnection&, const std::exception&) {}

} // namespace quelvor::server
