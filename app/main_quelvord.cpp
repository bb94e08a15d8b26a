// quelvord: the server without a window. The configuration file beside the
// executable is the configuration; log lines go to standard output. SIGTERM
// and SIGINT end it cleanly, SIGUSR1 runs a synchronisation.
#include "app/ConfigFile.h"
#include "app/FrmPrincipal.h"
#include "app/HeadlessFrontEnd.h"
#include "app/OperatorLog.h"
#include "app/ServiceState.h"
#include "db/Attachment.h"
#include "server/TcpListener.h"
#include "sync/Sincronizacao.h"

#include <cstdio>

int main()
{
    using namespace quelvor;
    std::setvbuf(stdout, nullptr, _IOLBF, 0);

    // Before any other thread exists, so that they all inherit the signal mask.
    app::HeadlessFrontEnd front;
    db::setQuietErrorHandler(
        [](const std::string& message) { app::OperatorLog::instance().append(message); });

    app::ServiceState state;
    server::IdTCPServer listener(state);
    app::TFrmPrincipal core(front, state, listener);
    sync::Sincronizacao sincronizacao(core, front);
    front.attach(core, [&] { sincronizacao.S2Click(); });

    core.FormCreate(app::configPath());
    if (core.exitRequested())
        return front.run();
    if (core.firstRunTaken()) {
        // Nobody can configure a headless server: say where the file goes and stop.
        core.log("Configure " + app::configPath() + " e inicie novamente.");
        front.processPendingEvents();
        core.FormDestroy();
        return 1;
    }
    return front.run();
}
