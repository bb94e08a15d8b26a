#include "app/CommandRunner.h"

#include "app/FrmPrincipal.h"

#include <algorithm>
#include <exception>

namespace quelvor::app {

CommandRunner::CommandRunner(TFrmPrincipal& core, FrontEnd& front, Hooks hooks)
    : m_core(core), m_front(front), m_hooks(std::move(hooks))
{
}

void CommandRunner::request(Command command)
{
    if (m_exited)
        return;
    if (m_current) {
        if (command == Command::S2 && *m_current == Command::S2) {
            run(command); // the run under way turns it away and counts it
            return;
        }
        // A synchronisation hands control back between rows, and the operator
        // may stop the service, edit or save meanwhile: the run then ends on
        // the connections that the stop or the restart closed.
        if (*m_current == Command::S2 &&
            (command == Command::I1 || command == Command::E1 || command == Command::S1)) {
            const std::optional<Command> outer = m_current;
            perform(command);
            m_current = outer;
            return;
        }
        if (command == Command::Sair)
            m_core.requestExit(); // a start-up wait or a run gives up at once
        if (std::find(m_deferred.begin(), m_deferred.end(), command) == m_deferred.end())
            m_deferred.push_back(command);
        return;
    }
    perform(command);
    while (!m_deferred.empty() && !m_exited) {
        const Command next = m_deferred.front();
        m_deferred.pop_front();
        perform(next);
    }
}

void CommandRunner::start(const std::string& configPath)
{
    m_configPath = configPath;
    request(Command::FormCreate);
}

void CommandRunner::perform(Command command)
{
    m_current = command;
    run(command);
    m_current.reset();
}

void CommandRunner::run(Command command)
{
    // The application's general error handling: whatever a command lets
    // escape is shown to the operator, and the program goes on.
    try {
        switch (command) {
        case Command::FormCreate:
            m_core.FormCreate(m_configPath);
            break;
        case Command::E1:
            m_core.E1Click();
            break;
        case Command::S1:
            m_core.S1Click(m_hooks.campos ? m_hooks.campos() : m_core.settings());
            break;
        case Command::S2:
            if (m_hooks.sincronizar)
                m_hooks.sincronizar();
            break;
        case Command::I1:
            m_core.I1Click();
            break;
        case Command::Sair:
            m_core.FechaAplicacao();
            m_exited = true;
            if (m_hooks.aoSair)
                m_hooks.aoSair();
            break;
        }
    } catch (const std::exception& e) {
        m_front.showError(e.what());
    } catch (...) {
        m_front.showError("Erro desconhecido");
    }
}

} // namespace quelvor::app
