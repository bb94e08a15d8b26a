#pragma once
// The service as both front ends run it, wired once: the state that the main
// thread shares with the connection threads, the handhelds' listener, the main
// window core and the synchronisation. Members are built in that order and
// destroyed in the reverse, after the destructor has stopped the listener and
// joined every connection thread, so nothing a connection thread touches goes
// before it. The front end is made before the service and outlives it. Main
// thread only.

#include "app/FrmPrincipal.h"
#include "base/ServiceState.h"
#include "server/TcpListener.h"
#include "sync/Sincronizacao.h"

namespace quelvor::app {

class FrontEnd;

class Service
{
public:
    explicit Service(FrontEnd& front);
    // Disconnects every handheld and joins every thread; never throws.
    ~Service();

    Service(const Service&) = delete;
    Service& operator=(const Service&) = delete;

    TFrmPrincipal& core() { return m_core; }
    sync::Sincronizacao& sincronizacao() { return m_sincronizacao; }

private:
    base::ServiceState m_state;
    server::IdTCPServer m_listener;
    TFrmPrincipal m_core;
    sync::Sincronizacao m_sincronizacao;
};

} // namespace quelvor::app
