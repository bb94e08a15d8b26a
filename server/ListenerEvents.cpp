#include "server/ListenerEvents.h"

#include "base/OperatorLog.h"
#include "db/QueryHelpers.h"
#include "db/Sql.h"

#include <memory>

namespace quelvor::server {
namespace {

// Runs a statement on the collection database; the device and the listener go
// on whatever happens, and a statement failure has been logged by ExecutaQuery.
void executaIgnorandoFalhas(const base::ServiceState& state, const db::Sql& statement)
{
    try {
        std::unique_ptr<db::Query> query;
        db::ExecutaQuery(state.settings.get(), statement, query, "c");
    } catch (...) {
        // Attaching failed (unreachable server, wrong path or credentials): dropped unlogged.
    }
}

} // namespace

void IdTCPServer1BeforeListenerRun(base::ServiceState& state)
{
    if (state.inicializousocket.exchange(true))
        return;
    executaIgnorandoFalhas(state, "DELETE FROM SESSOESATIVAS");
}

void IdTCPServer1Connect(DeviceConnection& AContext, base::ServiceState& state)
{
    try {
        const std::string key = AContext.sessionKey();
        base::log("Conectou: " + key);
        const db::Sql statement(
            "UPDATE OR INSERT INTO "
            "SESSOESATIVAS(SES_ID,LIBERADO,EMPRESACERTA,VERSAOCORRETA,IP)VALUES(?,?,?,?,?)",
            {db::bare(key), db::text(""), db::text(""), db::text(""), db::text(AContext.peerAddress())});
        base::log("Sql:" + statement.display());
        executaIgnorandoFalhas(state, statement);
    } catch (...) {
        // Nothing here may keep the device from being served or counted.
    }
    ++state.connectedDevices;
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
