#pragma once
// The service as both front ends run it, wired once: the state that the main
// thread shares with the connection threads, the handhelds' listener, the main
// window core and the synchronisation. Members are built in that order and
// destroyed in the reverse, after the destructor has stopped the listener and
// joined every connection thread, so nothing a connection thread touches goes
// before it. The front end is made before the service and outlives it. Main
// thread only.

#include "app/FrmPrincipal.h"
#include "app/StatusPage.h"
#include "base/ServiceState.h"
#include "server/TcpListener.h"
#include "sync/Sincronizacao.h"

namespace quelvor::app {

class FrontEnd;

// Raises the soft limit of open descriptors to the hard one: every handheld
// holds a socket and its attachments, and the default 1024 (256 on some
// systems) would turn handhelds away long before the connection cap.
// Returns the soft limit now in force.
unsigned long raiseDescriptorLimit();

class Service
{
public:
    // Raises the descriptor limit (raiseDescriptorLimit) first.
    explicit Service(FrontEnd& front);
    // Disconnects every handheld and joins every thread; never throws.
    ~Service();

    Service(const Service&) = delete;
    Service& operator=(const Service&) = delete;

    TFrmPrincipal& core() { return m_core; }
    sync::Sincronizacao& sincronizacao() { return m_sincronizacao; }

private:
    const unsigned long m_descriptors; // first: raised before any socket is opened
    base::ServiceState m_state;
    server::IdTCPServer m_listener;
    TFrmPrincipal m_core;
    sync::Sincronizacao m_sincronizacao;
    StatusPage m_statusPage; // last: stopped first, while what it reads still exists
};

} // namespace quelvor::app
