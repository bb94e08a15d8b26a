#pragma once
// The execute event of a device connection: read one line, and for a line that
// is not empty build a TConexao with the database settings of this moment, let
// it answer, and destroy it. Runs on the connection's thread.

#include "base/OutageNotice.h"
#include "base/Settings.h"
#include "base/StatusModel.h"
#include "db/AttachmentPool.h"
#include "server/DeviceConnection.h"

namespace quelvor::server {

// What the listener shares between the requests of every connection; each
// part is optional (tests go without).
struct RecursosDoPedido
{
    // Hear of every attempt to attach the two databases.
    base::OutageNotice* avisoColeta = nullptr;
    base::OutageNotice* avisoTarvell = nullptr;
    // Keep the attachments between requests ([Servidor] PoolConexoes).
    db::AttachmentPool* poolColeta = nullptr;
    db::AttachmentPool* poolTarvell = nullptr;
    // Hears of every request (its code, its time, whether it was abandoned)
    // and is handed on to the handler.
    base::StatusModel* status = nullptr;
};

// Returns false when the read failed (the failure is logged): the connection
// has ended or must end. Throws when building the handler or handling the
// request failed; the caller then ends the connection.
// The handler waits for a locked row at most the configured time and can be
// cancelled through AContext.cancelamento.
bool IdTCPServer1Execute(DeviceConnection& AContext, const base::SettingsStore& settings,
                         const RecursosDoPedido& recursos = {});

} // namespace quelvor::server
