#include "app/Reload.h"

#include "app/ConfigFile.h"
#include "app/FrmPrincipal.h"

#include <filesystem>

namespace quelvor::app {
namespace {

std::string joined(const std::vector<std::string>& parts, const std::string& separator)
{
    std::string out;
    for (const std::string& p : parts) {
        if (!out.empty())
            out += separator;
        out += p;
    }
    return out;
}

std::string shown(const std::string& value)
{
    return value.empty() ? "(vazio)" : value;
}

} // namespace

std::vector<std::string> configChanges(const base::Settings& a, const base::Settings& b)
{
    std::vector<std::string> changes;
    auto plain = [&](const char* name, const std::string& x, const std::string& y) {
        if (x != y)
            changes.push_back(std::string(name) + " " + shown(x) + " -> " + shown(y));
    };
    auto secret = [&](const char* name, const std::string& x, const std::string& y) {
        if (x != y)
            changes.push_back(std::string(name) + " alterada");
    };
    plain("Porta", std::to_string(a.edtPorta), std::to_string(b.edtPorta));
    plain("Base Tarvell", a.EdtBaseTarvell, b.EdtBaseTarvell);
    plain("Usuario Tarvell", a.EdtUsuarioTarvell, b.EdtUsuarioTarvell);
    secret("Senha Tarvell", a.EdtSenhaTarvell, b.EdtSenhaTarvell);
    plain("Integra", a.ch_integratarvell ? "S" : "N", b.ch_integratarvell ? "S" : "N");
    plain("Tempo", std::to_string(a.edtTempoInicializacao), std::to_string(b.edtTempoInicializacao));
    plain("Base Coleta", a.EdtBaseColeta, b.EdtBaseColeta);
    plain("Usuario Coleta", a.EdtUsuarioColeta, b.EdtUsuarioColeta);
    secret("Senha Coleta", a.EdtSenhaColeta, b.EdtSenhaColeta);
    plain("Status Porta", std::to_string(a.statusPorta), std::to_string(b.statusPorta));
    plain("Status Endereco", a.statusEndereco, b.statusEndereco);
    secret("Status Token", a.statusToken, b.statusToken);
    return changes;
}

bool recarregaConfiguracao(TFrmPrincipal& core)
{
    const std::string& path = core.configPath();
    const base::Settings before = core.settings();
    auto refuse = [&](const std::string& why) {
        core.log("Configuração não recarregada (" + why + "); seguem as configurações em uso.");
        return false;
    };

    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec))
        return refuse(path + " não encontrado");
    base::Settings after = before;
    const LoadResult loaded = loadConfig(path, after);
    if (!loaded.messages.empty())
        return refuse(joined(loaded.messages, " "));
    if (after.edtPorta <= 0)
        return refuse("porta não configurada em " + path);

    const std::vector<std::string> changes = configChanges(before, after);
    if (changes.empty()) {
        core.log("Configuração relida de " + path + ": nada mudou.");
        return true;
    }
    core.log("Configuração relida de " + path + ": " + joined(changes, "; ") + ".");
    // The wait is only kept; the status page follows the published settings
    // by itself. Neither restarts the handhelds' service.
    base::Settings onlyWait = before;
    onlyWait.edtTempoInicializacao = after.edtTempoInicializacao;
    onlyWait.statusPorta = after.statusPorta;
    onlyWait.statusEndereco = after.statusEndereco;
    onlyWait.statusToken = after.statusToken;
    core.setSettings(after);
    if (after != onlyWait) {
        // As the save does when the operator answers OK.
        if (core.running())
            core.I1Click();
        core.I1Click();
    }
    return true;
}

} // namespace quelvor::app
