// quelvor: the server with its operator window. The window starts hidden
// behind the notification-area icon (shown at once where the desktop has no
// notification area); the start-up wait and the automatic start of the service
// run before the event loop, as the window's creation.

#include "app/ConfigFile.h"
#include "app/Service.h"
#include "ui/MainWindow.h"

#include <QApplication>
#include <QStyleFactory>

int main(int argc, char** argv)
{
    using namespace quelvor;

    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quelvor"));
    QApplication::setQuitOnLastWindowClosed(false); // closing the window only hides it
    if (QStyle* fusion = QStyleFactory::create(QStringLiteral("Fusion")))
        QApplication::setStyle(fusion);

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
