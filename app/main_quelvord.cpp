// quelvord: the server without a window. The configuration file beside the
// executable is the configuration; log lines go to standard output. SIGTERM
// and SIGINT end it cleanly, SIGUSR1 runs a synchronisation.
#include "app/ConfigFile.h"
#include "app/HeadlessFrontEnd.h"
#include "app/Service.h"

#include <cstdio>
#include <exception>
#include <optional>

int main()
{
    using namespace quelvor;
    std::setvbuf(stdout, nullptr, _IOLBF, 0);

    // Before any other thread exists, so that they all inherit the signal mask.
    std::optional<app::HeadlessFrontEnd> front;
    try {
        front.emplace();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "quelvord: %s\n", e.what());
        return 1;
    }
    app::Service service(*front);
    app::TFrmPrincipal& core = service.core();
    front->attach(core, [&service] { service.sincronizacao().S2Click(); });

    front->start(app::configPath());
    if (core.exitRequested())
        return front->run();
    if (core.firstRunTaken()) {
        // Nobody can configure a headless server: say where the file goes and stop.
        core.log("Configure " + app::configPath() + " e inicie novamente.");
        front->processPendingEvents();
        core.FormDestroy();
        return 1;
    }
    return front->run();
}
