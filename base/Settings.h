#pragma once
// The server settings: what the operator window's fields hold. They are the live
// settings of the running process. The main thread owns and changes them; other
// threads read a consistent copy through SettingsStore.

#include <mutex>
#include <optional>
#include <string>
#include <vector>

#ifndef QUELVOR_POOL_DEFAULT
#define QUELVOR_POOL_DEFAULT 32 // see the top CMakeLists.txt
#endif

namespace quelvor::base {

struct Settings
{
    // "Socket" group
    int edtPorta = 0;              // listener port; 0 when not configured
    std::string edtVersaoCliente;  // expected handheld version (kept in PARAMETROS)
    std::string edtIDEmpresa;      // company identifier (kept in PARAMETROS), whole number as text
    int edtTempoInicializacao = 0; // start-up wait in seconds

    // "Base de Dados Tarvell" group (the ERP)
    std::string EdtBaseTarvell; // Firebird connection string; empty when none
    std::string EdtUsuarioTarvell;
    std::string EdtSenhaTarvell;
    bool ch_integratarvell = false; // ERP integration switch

    // "Base de Dados Coleta de Leite" group
    std::string EdtBaseColeta;
    std::string EdtUsuarioColeta;
    std::string EdtSenhaColeta;

    // "Servidor" section of the configuration file, not shown in the window.
    int tempoEsperaBloqueio = 10; // seconds a statement waits for a locked row; 0 waits for ever
    int tempoOcioso = 1800;       // seconds of silence after which a handheld is disconnected; 0 never
    int maximoConexoes = 2000;    // handhelds connected at once; more are turned away
    int poolConexoes = QUELVOR_POOL_DEFAULT; // attachments kept per database between requests; 0 keeps none

    // "Status" section: the status page, /metrics and /healthz over HTTP.
    int statusPorta = 0;                      // 0: no status page
    std::string statusEndereco = "127.0.0.1"; // the address it listens on
    std::string statusToken;                  // required ("Authorization: Bearer ...") off the loopback

    // "Alertas" section: what makes an acknowledged collection a quality alert.
    std::optional<double> temperaturaMaxima;    // degrees Celsius; none: no temperature alert
    std::vector<std::string> alizarolReprovado; // COL_RESULTADOALIZAROL values that fail
    std::vector<std::string> acidezReprovada;   // COL_TESTEACIDEZ texts that fail, whatever their case

    bool operator==(const Settings&) const = default;
};

// The copy that connection threads read for every request. The main thread
// publishes a new copy whenever it changes a field.
class SettingsStore
{
public:
    Settings get() const
    {
        std::lock_guard lock(m_mutex);
        return m_settings;
    }
    void set(const Settings& settings)
    {
        std::lock_guard lock(m_mutex);
        m_settings = settings;
    }

private:
    mutable std::mutex m_mutex;
    Settings m_settings; // guarded by m_mutex
};

} // namespace quelvor::base
