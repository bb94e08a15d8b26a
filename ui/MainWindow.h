#pragma once
// The operator window of TFrmPrincipal: configuration fields, service
// indicator, the live log (Memo1), the status bar, the main menu, the
// notification-area icon with its menu, and the three timers. It is the Qt
// front end of app::TFrmPrincipal, which keeps all of the logic; the window
// only shows what the core tells it and turns menu commands into core calls.
//
// Every widget carries its design name as objectName (EdtBaseColeta, edtPorta,
// Edit7, Memo1, StatusBar1, a1, E1, S1, S2, S3, S4, I1, A2, TrayIcon1,
// PopupMenu1, pmnuiOpen, pmnuiExit, Timer1, Timer2, Timer3).
//
// Main thread only. Other threads reach it through the operator log and the
// operator messages, whose wake-ups post to it without ever waiting.
//
// Commands and re-entry follow app::CommandRunner: the window turns its menu
// items, tray menu and timers into commands and hands them over.

#include "app/CommandRunner.h"
#include "app/FrontEnd.h"
#include "base/Settings.h"
#include "ui/MainThreadWake.h"

#include <QMainWindow>
#include <QMessageBox>
#include <QPointer>
#include <QString>
#include <QTimer>

#include <array>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

class QAction;
class QCheckBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPlainTextEdit;
class QSystemTrayIcon;

namespace quelvor::app {
class TFrmPrincipal;
}

namespace quelvor::ui {

class DispositivosView;
class HashMaskStyle;
class IndicatorBox;
class NumberField;

class MainWindow : public QMainWindow, public app::FrontEnd
{
    Q_OBJECT
public:
    enum class BoxKind
    {
        Information,     // modal, OK
        Warning,         // modal, OK and Cancel
        Error,           // modal, OK: the general error handling
        OperatorMessage, // handed over by a connection thread; never blocks anything
    };
    // Answers a box instead of showing it (tests): true stands for OK.
    using BoxHook = std::function<bool(BoxKind, const QString&)>;

    // `trayAvailable` says whether the desktop has a notification area; without
    // one the window is shown at start and its close button minimises it.
    explicit MainWindow(std::optional<bool> trayAvailable = std::nullopt, QWidget* parent = nullptr);
    ~MainWindow() override;

    // The core to drive and the synchronisation run for "Sincronizar Dados".
    void attach(app::TFrmPrincipal& core, std::function<void()> sincronizar);
    // The start-up (FormCreate) with its wait, then any command the operator
    // gave during it. Call before the event loop runs.
    void start(const std::string& configPath);

    // What ends the process after a successful exit; QCoreApplication::exit by
    // default. Tests replace it.
    void setExitHandler(std::function<void(int)> handler) { m_exitHandler = std::move(handler); }
    bool exited() const { return m_commands && m_commands->exited(); }
    void setBoxHook(BoxHook hook) { m_boxHook = std::move(hook); }
    bool trayAvailable() const { return m_trayAvailable; }

    // SIGTERM or SIGINT: the exit, as "Sair" gives it, through the command
    // rule (after the command under way, which is told to give up where it
    // can). Nobody is there to answer a box: the ones open are cancelled and
    // no other is shown from then on.
    void exitSignalled();

    // The fields as the operator left them.
    base::Settings campos() const;
    // Panels 0 to 3 as the core writes them; panel 4, the latest
    // synchronisation, as the window keeps it.
    QString statusPanel(int panel) const;

    // The "Dispositivos" view, made at its first opening (needs attach()).
    DispositivosView* abreDispositivos();
    DispositivosView* dispositivosView() const { return m_dispositivos; }
    // The service's state in words, as the indicator and the tray icon say it.
    QString estadoDoServico() const;
    QString trayToolTip() const;

    // app::FrontEnd
    void showMessage(const std::string& text) override;
    bool askOkCancel(const std::string& text) override;
    void showError(const std::string& text) override;
    void openWindow() override;
    void setIndicator(bool running) override;
    void setRunningCheck(bool checked) override;
    void enableMainMenus(bool enabled) override;
    void liberaopcoes(bool funcao) override;
    void setEditing(bool editing) override;
    void showSettings(const base::Settings& settings) override;
    void setSyncBusy(bool busy) override;
    void setStatusPanel(int panel, const std::string& text) override;
    void hideTaskbarEntry() override;
    void processPendingEvents() override;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void buildLayout();
    void buildMenus();
    void buildTray();
    void buildTimers();

    void request(app::Command command);
    bool showBox(BoxKind kind, const QString& text);

    void drainLog();
    void appendLogBacklog();
    void takeOperatorMessages();
    void showNextOperatorMessage();

    void fieldEdited();
    // The indicator, its words, the tray tooltip and panel 4 from the status model.
    void mostraEstadoDoServico();
    void Timer1Timer();
    void Timer3Timer();

    app::TFrmPrincipal* m_core = nullptr;
    std::function<void()> m_sincronizar;
    std::function<void(int)> m_exitHandler;
    BoxHook m_boxHook;
    const bool m_trayAvailable;
    std::optional<app::CommandRunner> m_commands; // made by attach()
    bool m_showingSettings = false;               // fields being filled from the core, not edited
    bool m_exitSignalled = false;                 // boxes are no longer shown
    std::vector<QMessageBox*> m_openBoxes;        // modal boxes open, innermost last
    bool m_centred = false;
    bool m_servicoEmExecucao = false; // as setIndicator last said

    // Log lines taken from the operator log and not yet in Memo1: appended in
    // slices so that a burst never holds the window for long.
    std::deque<std::string> m_logBacklog;
    QTimer m_logContinue;
    std::deque<QString> m_operatorMessages;
    QPointer<QMessageBox> m_openOperatorMessage;

    HashMaskStyle* m_maskStyle = nullptr;

    QLineEdit* EdtBaseTarvell = nullptr;
    QLineEdit* EdtUsuarioTarvell = nullptr;
    QLineEdit* EdtSenhaTarvell = nullptr;
    QCheckBox* ch_integratarvell = nullptr;
    QLineEdit* EdtBaseColeta = nullptr;
    QLineEdit* EdtUsuarioColeta = nullptr;
    QLineEdit* EdtSenhaColeta = nullptr;
    NumberField* edtPorta = nullptr;
    IndicatorBox* Edit7 = nullptr;
    QLineEdit* edtVersaoCliente = nullptr;
    NumberField* edtIDEmpresa = nullptr;
    NumberField* edtTempoInicializacao = nullptr;
    QPlainTextEdit* Memo1 = nullptr;
    std::array<QLabel*, 5> m_panels{};
    QLabel* m_estadoServico = nullptr; // the indicator's words, beside Edit7's group
    DispositivosView* m_dispositivos = nullptr;

    QMenu* a1 = nullptr;
    QMenu* S4 = nullptr;
    QMenu* A2 = nullptr;
    QAction* E1 = nullptr;
    QAction* S1 = nullptr;
    QAction* S2 = nullptr;
    QAction* S3 = nullptr;
    QAction* I1 = nullptr;
    QAction* mnuDispositivos = nullptr;

    QSystemTrayIcon* TrayIcon1 = nullptr;
    QMenu* PopupMenu1 = nullptr;
    QTimer* Timer1 = nullptr;
    QTimer* Timer2 = nullptr;
    QTimer* Timer3 = nullptr;

    // Declared last: detached first, before the widgets go.
    MainThreadWake m_logWake;
    MainThreadWake m_messageWake;
};

} // namespace quelvor::ui
