#pragma once
// TFrmPrincipal: the main window's logic without the window. It owns the live
// settings, the three standing connections and the service state, and runs the
// start-up, the start and stop sequences, the exit, the special parameters and
// the saving of the configuration. It reaches the window through FrontEnd and
// the handhelds' listener through ListenerControl. It is the synchronisation's
// host: the run reaches the window's state through SincronizacaoHost only.
//
// Main thread only, except what ServiceState shares with the connection threads.

#include "app/FrontEnd.h"
#include "base/ServiceState.h"
#include "base/Settings.h"
#include "db/Attachment.h"
#include "server/ListenerControl.h"
#include "sync/SincronizacaoHost.h"

#include <chrono>
#include <functional>
#include <optional>
#include <string>

namespace quelvor::app {

class TFrmPrincipal : public sync::SincronizacaoHost
{
public:
    TFrmPrincipal(FrontEnd& frontEnd, base::ServiceState& state, server::ListenerControl& listener);
    ~TFrmPrincipal() override;

    // Start-up: loads the configuration from `configPath`, waits, starts the service.
    void FormCreate(const std::string& configPath);
    // Toggles the service: the start sequence when stopped, the stop sequence
    // when running. Errors of the stop sequence reach the caller.
    void I1Click();
    // Exit: stops the service if it runs and tears the listener down. The
    // front end then ends the process with code 0.
    void FechaAplicacao();
    // Teardown: disconnects every device and deactivates the listener.
    void FormDestroy();
    // Disconnects every device, lets pending events run, deactivates the listener.
    void encerraSocket();

    // Start editing the configuration.
    void E1Click();
    // Save the configuration with the fields as the operator left them. The
    // refusals show their boxes; errors of the writing steps reach the caller.
    // The version and the company are written only once they were read from
    // the collection database the fields name: until then the save reads
    // them, shows them in the fields with a box, and writes nothing. A company
    // of 0 (or none) is refused like an empty version.
    void S1Click(const base::Settings& campos);

    bool gravaparespecial(const std::string& nomeparametro, const std::string& valor);

    // The main window's log (see OperatorLog).
    void log(const std::string& mensagem);

    bool running() const { return m_running; }
    bool editing() const { return m_editing; }
    // The start-up ended on the first-run path: the service is not configured.
    bool firstRunTaken() const { return m_firstRunTaken; }
    // The last start sequence failed at one of its steps.
    bool startFailed() const { return m_startFailed; }
    const base::Settings& settings() const { return m_settings; }
    // Changes the live settings (the fields) and publishes them to the
    // connection threads.
    void setSettings(const base::Settings& settings);
    const std::string& configPath() const { return m_configPath; }

    // Asks a running start-up wait to give up (the application is ending).
    void requestExit() { m_exitRequested = true; }
    bool exitRequested() const override { return m_exitRequested; }

    // The pause of the start-up wait; tests shorten it.
    void setSecondDuration(std::chrono::milliseconds d) { m_second = d; }

    base::ServiceState& state() { return m_state; }
    db::Attachment ConexaoTarvell;
    db::Attachment ConexaoTemp;
    db::Attachment ConexaoColeta;

    // sync::SincronizacaoHost
    bool integracaoAtiva() const override { return m_settings.ch_integratarvell; }
    db::Attachment& conexaoTarvell() override { return ConexaoTarvell; }
    db::Attachment& conexaoTemp() override { return ConexaoTemp; }
    unsigned geracaoConexoes() const override { return m_geracaoConexoes; }
    int& contadorSincronizacao() override { return m_contadorSincronizacao; }
    void mostraProgresso(const std::string& texto) override { m_front.setStatusPanel(3, texto); }
    void setSyncBusy(bool busy) override { m_front.setSyncBusy(busy); }
    void processPendingEvents() override { m_front.processPendingEvents(); }
    base::StatusModel* statusModel() override { return &m_state.status; }

private:
    void iniciaServico();
    void encerraServico();
    void primeiraExecucao();

    FrontEnd& m_front;
    base::ServiceState& m_state;
    server::ListenerControl& m_listener;
    base::Settings m_settings;
    std::string m_configPath;
    bool m_running = false;
    bool m_editing = false;
    bool m_firstRunTaken = false;
    bool m_startFailed = false;
    bool m_exitRequested = false;
    int m_contadorSincronizacao = 0; // synchronisation runs
    unsigned m_geracaoConexoes = 0;  // set-ups and closings of ConexaoTarvell and ConexaoTemp
    // The collection database (EdtBaseColeta) whose PARAMETROS the version and
    // company fields were last read from or written to; nothing before.
    std::optional<std::string> m_parametrosDe;
    std::chrono::milliseconds m_second{1000};
};

} // namespace quelvor::app
