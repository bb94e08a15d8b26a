#pragma once
// What the core asks of the window. Two front ends implement it: the Qt window
// with its tray icon, and the headless server, which turns boxes into log
// lines. Every call comes from the main thread.

#include "base/Settings.h"

#include <string>

namespace quelvor::app {

class FrontEnd
{
public:
    virtual ~FrontEnd() = default;

    // A modal information box with an OK button.
    virtual void showMessage(const std::string& text) = 0;
    // A modal warning box with OK and Cancel; true on OK.
    virtual bool askOkCancel(const std::string& text) = 0;
    // The application's general error handling: the error's text in a box.
    virtual void showError(const std::string& text) = 0;

    // Show the window and bring it to the front (pmnuiOpenClick).
    virtual void openWindow() = 0;
    // The indicator Edit7: green while the service runs, red while stopped.
    virtual void setIndicator(bool running) = 0;
    // The check mark of "Inicializado".
    virtual void setRunningCheck(bool checked) = 0;
    // The main menu's top items "Arquivo", "Servidor Socket" and "Ajuda".
    virtual void enableMainMenus(bool enabled) = 0;
    // The eleven settings fields.
    virtual void liberaopcoes(bool funcao) = 0;
    // "Editar Parâmetros" enabled and "Salvar Parâmetros" disabled, or the reverse.
    virtual void setEditing(bool editing) = 0;
    // The fields show these values.
    virtual void showSettings(const base::Settings& settings) = 0;
    // The check mark of "Sincronizar Dados": a synchronisation run is under way.
    virtual void setSyncBusy(bool busy) = 0;
    // Status bar panels 0 to 3.
    virtual void setStatusPanel(int panel, const std::string& text) = 0;
    // Hide the application's taskbar entry (nothing where there is none).
    virtual void hideTaskbarEntry() = 0;

    // False for the headless server: its boxes are log lines already, and
    // there is no interface whose creation is worth a line.
    virtual bool hasWindow() const { return true; }

    // Let the main thread's pending events run: queued log lines and operator
    // messages, due timers, menu commands, repaints.
    virtual void processPendingEvents() = 0;
};

} // namespace quelvor::app
