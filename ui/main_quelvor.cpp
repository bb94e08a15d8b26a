// quelvor: the server with its operator window. The window starts hidden
// behind the notification-area icon (shown at once where the desktop has no
// notification area); the start-up wait and the automatic start of the service
// run before the event loop, as the window's creation.

#include "app/ConfigFile.h"
#include "app/InstanceLock.h"
#include "app/Service.h"
#include "ui/MainWindow.h"

#include <QApplication>
#include <QMessageBox>
#include <QStyleFactory>

int main(int argc, char** argv)
{
    using namespace quelvor;

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
    app::Service service(window);
    window.attach(service.core(), [&service] { service.sincronizacao().S2Click(); });

    window.start(app::configPath());
    if (window.exited())
        return 0; // ended from the tray menu during the start-up wait
    return QApplication::exec();
}
