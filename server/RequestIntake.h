#pragma once
// The execute event of a device connection: read one line, and for a line that
// is not empty build a TConexao with the database settings of this moment, let
// it answer, and destroy it. Runs on the connection's thread.

#include "base/OutageNotice.h"
#include "base/Settings.h"
#include "server/DeviceConnection.h"

namespace quelvor::server {

// Returns false when the read failed (the failure is logged): the connection
// has ended or must end. Throws when building the handler or handling the
// request failed; the caller then ends the connection.
// The outage notices, when given, hear of every attempt to attach the two
// databases. The handler waits for a locked row at most the configured time
// and can be cancelled through AContext.cancelamento.
bool IdTCPServer1Execute(DeviceConnection& AContext, const base::SettingsStore& settings,
                         base::OutageNotice* avisoColeta = nullptr,
                         base::OutageNotice* avisoTarvell = nullptr);

} // namespace quelvor::server
