#pragma once
// The main window's handlers of the listener's events. The listener calls
// IdTCPServer1BeforeListenerRun on each listening thread before that thread
// accepts its first connection, and the other three on a connection's own
// thread: connect, then the execute event of RequestIntake.h over and over,
// then disconnect. None of them throws.

#include "base/ServiceState.h"
#include "db/AttachmentPool.h"
#include "server/DeviceConnection.h"

#include <exception>

namespace quelvor::server {

// Once per run of the program: the first listening thread to get here sets
// state.inicializousocket and empties SESSOESATIVAS (any failure is swallowed;
// a failed statement is logged by ExecutaQuery). Later calls do nothing. The
// listener keeps every listening thread from accepting until all of them have
// returned from this, so that no fresh session row is deleted.
void IdTCPServer1BeforeListenerRun(base::ServiceState& state);

// Tells the status model, logs "Conectou: <key>", resets the connection's session row (logged as
// "Sql:" and the statement), and counts the device, whether or not the row
// could be written. AContext.sessaoReiniciada tells whether it was.
// With a pool, the reset runs on an attachment kept between requests.
void IdTCPServer1Connect(DeviceConnection& AContext, base::ServiceState& state,
                         db::AttachmentPool* pool = nullptr);

// Writes the connection's session row with empty flags, as the connect event
// does; true when it was written. An attachment that fails or succeeds is
// reported to `aviso`. Never throws.
bool reiniciaSessao(DeviceConnection& AContext, const base::Settings& settings,
                    base::OutageNotice* aviso = nullptr, db::AttachmentPool* pool = nullptr);

// Tells the status model, logs "Desconectou: <key>" and uncounts the device. The session row stays.
void IdTCPServer1Disconnect(DeviceConnection& AContext, base::ServiceState& state);

// An error escaped the connection's request handling: the connection ends, and
// there is nothing more to do or say.
void IdTCPServer1Exception(DeviceConnection& AContext, const std::exception& AException);

} // namespace quelvor::server
