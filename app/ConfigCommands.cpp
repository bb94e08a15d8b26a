#include "app/ConfigCommands.h"

#include "app/ConfigFile.h"
#include "app/StandingConnections.h"
#include "db/Attachment.h"
#include "db/Sql.h"

#include <exception>
#include <filesystem>
#include <vector>

namespace quelvor::app {
namespace {

std::string masked(const std::string& password)
{
    return password.empty() ? "(empty)" : "********";
}

std::string orEmpty(const std::string& text)
{
    return text.empty() ? "(empty)" : text;
}

} // namespace

int checkConfig(const std::string& path, std::FILE* out, std::FILE* err)
{
    std::vector<std::string> problems;
    std::error_code ec;
    base::Settings s;
    if (!std::filesystem::is_regular_file(path, ec)) {
        std::fprintf(err, "quelvord: %s: no configuration file\n", path.c_str());
        return 1;
    }
    const LoadResult loaded = loadConfig(path, s);
    for (const std::string& m : loaded.messages)
        problems.push_back(m);

    std::fprintf(out, "Configuration file: %s%s\n", path.c_str(),
                 loaded.readAsWindows1252 ? " (Windows-1252)" : "");
    std::fprintf(out, "Socket Porta: %d\n", s.edtPorta);
    std::fprintf(out, "Inicialização Tempo: %d s\n", s.edtTempoInicializacao);
    std::fprintf(out, "Base Coleta: %s user %s password %s\n", orEmpty(s.EdtBaseColeta).c_str(),
                 orEmpty(s.EdtUsuarioColeta).c_str(), masked(s.EdtSenhaColeta).c_str());
    std::fprintf(out, "Base Tarvell: %s user %s password %s\n", orEmpty(s.EdtBaseTarvell).c_str(),
                 orEmpty(s.EdtUsuarioTarvell).c_str(), masked(s.EdtSenhaTarvell).c_str());
    std::fprintf(out, "Base Tarvell Integra: %s\n", s.ch_integratarvell ? "S" : "N");

    if (s.edtPorta <= 0)
        problems.push_back("the port is not configured (Socket Porta)");
    else if (s.edtPorta > 65535)
        problems.push_back("the port " + std::to_string(s.edtPorta) + " does not fit 16 bits");

    try {
        db::Attachment coleta(parametrosDaLista(listaConexaoColeta(s)));
        const db::ResultSet r =
            coleta.select(db::Sql("SELECT PAR_EMPRESA, PAR_VERSAOAPK FROM PARAMETROS WHERE PAR_ID = 1"));
        if (r.empty()) {
            std::fprintf(out, "Collection database: reached; PARAMETROS has no row 1\n");
        } else {
            std::fprintf(out, "Collection database: reached; company %s, expected handheld version %s\n",
                         orEmpty(db::asText(r.rows[0][0], r.columns[0])).c_str(),
                         orEmpty(db::asText(r.rows[0][1], r.columns[1])).c_str());
        }
        coleta.close();
    } catch (const std::exception& e) {
        problems.push_back(std::string("the collection database cannot be reached: ") + e.what());
    }
    if (s.ch_integratarvell) {
        try {
            db::Attachment tarvell(parametrosDaLista(listaConexaoTarvell(s)));
            std::fprintf(out, "ERP database: reached\n");
            tarvell.close();
        } catch (const std::exception& e) {
            problems.push_back(std::string("the ERP database cannot be reached: ") + e.what());
        }
    } else {
        std::fprintf(out, "ERP database: not used (integration off)\n");
    }

    for (const std::string& p : problems)
        std::fprintf(err, "quelvord: %s\n", p.c_str());
    std::fprintf(out, problems.empty() ? "The server can start with this configuration.\n"
                                       : "The server cannot start with this configuration.\n");
    return problems.empty() ? 0 : 1;
}

int setCredentials(const std::string& path, const std::string& base, const std::string& user,
                   std::istream& password, std::FILE* out, std::FILE* err)
{
    std::string secret;
    std::getline(password, secret);
    if (!secret.empty() && secret.back() == '\r')
        secret.pop_back();

    base::Settings s;
    const LoadResult loaded = loadConfig(path, s);
    if (!loaded.messages.empty()) {
        // Saving would write the ignored values back as 0 and lose them.
        for (const std::string& m : loaded.messages)
            std::fprintf(err, "quelvord: %s\n", m.c_str());
        std::fprintf(err, "quelvord: %s left unchanged; correct it first\n", path.c_str());
        return 1;
    }
    if (base == "coleta") {
        s.EdtUsuarioColeta = user;
        s.EdtSenhaColeta = secret;
    } else {
        s.EdtUsuarioTarvell = user;
        s.EdtSenhaTarvell = secret;
    }
    try {
        saveConfig(path, s);
    } catch (const std::exception& e) {
        std::fprintf(err, "quelvord: %s\n", e.what());
        return 1;
    }
    std::fprintf(out, "Stored the %s database's user %s and its password in %s\n", base.c_str(), user.c_str(),
                 path.c_str());
    return 0;
}

} // namespace quelvor::app
