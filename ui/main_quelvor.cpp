// quelvor: the server with its operator window. The window starts hidden
// behind the notification-area icon (shown at once where the desktop has no
// notification area); the start-up wait and the automatic start of the service
// run before the event loop, as the window's creation.

#include "app/ConfigFile.h"
#include "app/FrmPrincipal.h"
#include "app/OperatorLog.h"
#include "app/ServiceState.h"
#include "db/Attachment.h"
#include "server/TcpListener.h"
#include "sync/Sincronizacao.h"
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

    // Errors met where nothing can be raised (a destructor's commit, say) go
    // to the operator log. Queued only: such a call may come from a destructor,
    // where letting events run would be out of place.
    db::setQuietErrorHandler(
        [](const std::string& message) { app::OperatorLog::instance().append(message); });

    app::ServiceState state;
    server::IdTCPServer listener(state);
    ui::MainWindow window;
    app::TFrmPrincipal core(window, state, listener);
    sync::Sincronizacao sincronizacao(core, window);
    window.attach(core, [&sincronizacao] { sincronizacao.S2Click(); });

    window.start(app::configPath());
    if (window.exited())
        return 0; // ended from the tray menu during the start-up wait
    return QApplication::exec();
}
