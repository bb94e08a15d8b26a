#include "server/ListenerEvents.h"

#include "app/OperatorLog.h"
#include "db/Sql.h"
#include "sync/QueryHelpers.h"

#include <memory>

namespace quelvor::server {
namespace {

// Runs a statement on the collection database; the device and the listener go
// on whatever happens, and a statement failure has been logged by ExecutaQuery.
void executaIgnorandoFalhas(const app::ServiceState& state, const db::Sql& statement)
{
    try {
        std::unique_ptr<sync::Query> query;
        sync::ExecutaQuery(state.settings.get(), statement, query, "c");
    } catch (...) {
        // Attaching failed (unreachable server, wrong path or credentials): dropped unlogged.
    }
}

} // namespace

void IdTCPServer1BeforeListenerRun(app::ServiceState& state)
{
    if (state.inicializousocket.exchange(true))
        return;
    executaIgnorandoFalhas(state, "DELETE FROM SESSOESATIVAS");
}

void IdTCPServer1Connect(DeviceConnection& AContext, app::ServiceState& state)
{
    try {
        const std::string key = AContext.sessionKey();
        app::log("Conectou: " + key);
        const db::Sql statement(
            "UPDATE OR INSERT INTO "
            "SESSOESATIVAS(SES_ID,LIBERADO,EMPRESACERTA,VERSAOCORRETA,IP)VALUES(?,?,?,?,?)",
            {db::bare(key), db::text(""), db::text(""), db::text(""), db::text(AContext.peerAddress())});
        app::log("Sql:" + statement.display());
        executaIgnorandoFalhas(state, statement);
    } catch (...) {
        // Nothing here may keep the device from being served or counted.
    }
    ++state.connectedDevices;
}

void IdTCPServer1Disconnect(DeviceConnection& AContext, app::ServiceState& state)
{
    try {
        app::log("Desconectou: " + AContext.sessionKey());
    } catch (...) {
    }
    --state.connectedDevices;
}

void IdTCPServer1Exception(DeviceConnection&, const std::exception&) {}

} // namespace quelvor::server
