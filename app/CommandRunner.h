#pragma once
// The operator's commands and the one rule for which of them may run inside
// which. Both front ends hand every command here: the window its menus, tray
// menu and timers; the headless server its timers and signals.
//
// The core lets pending events run inside its long operations (every log line,
// the start-up wait, a synchronisation between rows), so a command may arrive
// while another one runs:
// - with nothing under way it runs at once, and then every command that
//   arrived meanwhile, in the order they came (each kind once);
// - during a synchronisation run, "Inicializado", "Editar Parâmetros" and
//   "Salvar Parâmetros" run at once: the operator can stop the service under
//   a long run, or restart it after a save, and the run then ends with an
//   error at its next row instead of going on over the connections that were
//   closed or reopened; another
//   synchronisation goes straight to the run, whose busy mark turns it away
//   (and counts it);
// - the exit tells a running start-up wait or synchronisation to give up at
//   once, and runs when the command under way has ended;
// - anything else waits for the command under way to end.
// Whatever a command lets escape goes to the front end's general error
// handling, and the program goes on. Main thread only.

#include "app/FrontEnd.h"
#include "base/Settings.h"

#include <deque>
#include <functional>
#include <optional>
#include <string>

namespace quelvor::app {

class TFrmPrincipal;

enum class Command
{
    FormCreate, // the start-up: configuration, wait, start
    E1,         // "Editar Parâmetros"
    S1,         // "Salvar Parâmetros"
    S2,         // "Sincronizar Dados" and the ten-minute tick
    I1,         // "Inicializado": start or stop the service
    Sair,       // "Sair" and "Encerrar Aplicação"
};

class CommandRunner
{
public:
    struct Hooks
    {
        std::function<void()> sincronizar;      // one synchronisation run (S2)
        std::function<base::Settings()> campos; // S1: the fields as the operator left them
        std::function<void()> aoSair;           // after the exit sequence: end the process
    };

    CommandRunner(TFrmPrincipal& core, FrontEnd& front, Hooks hooks);

    void request(Command command);
    // The start-up: FormCreate with the configuration file at `configPath`.
    void start(const std::string& configPath);

    // No command is under way.
    bool idle() const { return !m_current; }
    std::optional<Command> current() const { return m_current; }
    // The exit sequence has run; every later request is ignored.
    bool exited() const { return m_exited; }

private:
    void perform(Command command);
    void run(Command command);

    TFrmPrincipal& m_core;
    FrontEnd& m_front;
    const Hooks m_hooks;
    std::string m_configPath; // what FormCreate loads
    bool m_exited = false;
    std::optional<Command> m_current; // the command under way
    std::deque<Command> m_deferred;   // commands that arrived while it ran
};

} // namespace quelvor::app
