// quelvor: the server with its operator window. The window starts hidden
// behind the notification-area icon (shown at once where the desktop has no
// notification area); the start-up wait and the automatic start of the service
// run before the event loop, as the window's creation. SIGTERM and SIGINT end
// it as "Sair" does.

#include "app/ConfigFile.h"
#include "app/InstanceLock.h"
#include "app/Service.h"
#include "ui/ExitSignals.h"
#include "ui/MainWindow.h"

#include <QApplication>
#include <QMessageBox>
#include <QStyleFactory>

#include <cstdio>
#include <exception>

int main(int argc, char** argv)
{
    using namespace quelvor;

    // Before the application object starts any thread: every thread then
    // leaves SIGTERM and SIGINT to the window's exit.
    try {
        ui::blockExitSignals();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "quelvor: %s\n", e.what());
        return 1;
    }
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quelvor"));
    QApplication::setQuitOnLastWindowClosed(false); // closing the window only hides it
    if (QStyle* fusion = QStyleFactory::create(QStringLiteral("Fusion")))
        QApplication::setStyle(fusion);

    // One server per configuration: a second copy would empty the session
    // table under the first one's handhelds.
    const app::InstanceLock lock(app::configPath());
    if (lock.takenByOther()) {
        QMessageBox::information(nullptr, QStringLiteral("Quelvor"),
                                 QString::fromUtf8(app::kServidorJaEmExecucao));
        return 1;
    }

    // The window before the service: the service stops every connection
    // thread before the window goes, whichever way the event loop ends.
    ui::MainWindow window;
    // From here on SIGTERM and SIGINT end the program through its exit, also
    // during the start-up wait, which lets the main thread take them; one
    // that came earlier waits until then.
    ui::ExitSignals exitSignals([&window] { window.exitSignalled(); });
    app::Service service(window);
    window.attach(service.core(), [&service] { service.sincronizacao().S2Click(); });

    window.start(app::configPath());
    if (window.exited())
        return 0; // ended from the tray menu during the start-up wait
    return QApplication::exec();
}
