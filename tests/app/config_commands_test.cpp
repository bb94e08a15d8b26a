// Writing credentials without the window: the file must come out as the
// window's save writes it, and a file that does not read cleanly is left alone.
#include "app/ConfigCommands.h"
#include "app/ConfigFile.h"
#include "app/Reload.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

using namespace quelvor;
namespace fs = std::filesystem;

namespace {

struct Folder
{
    Folder()
    {
        char name[] = "/tmp/quelvor-cred-XXXXXX";
        path = ::mkdtemp(name);
    }
    ~Folder() { fs::remove_all(path); }
    fs::path path;
};

std::string readAll(const fs::path& p)
{
    std::ifstream in(p, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

} // namespace

TEST(SetCredentials, WritesTheFileAsTheWindowsSaveDoes)
{
    Folder dir;
    base::Settings s;
    s.edtPorta = 7010;
    s.EdtBaseColeta = "localhost:/srv/COLETA.FDB";
    s.EdtBaseTarvell = "erp:/srv/TARVELL.FDB";
    s.EdtUsuarioTarvell = "OLD";
    s.EdtSenhaTarvell = "old";
    s.ch_integratarvell = true;
    s.edtTempoInicializacao = 4;
    const fs::path ours = dir.path / "ours.ini";
    const fs::path window = dir.path / "window.ini";
    app::saveConfig(ours.string(), s);
    // A comment of the operator's survives.
    {
        std::ofstream(ours, std::ios::app) << "; nota do operador\n";
    }
    app::saveConfig(window.string(), s);
    {
        std::ofstream(window, std::ios::app) << "; nota do operador\n";
    }

    for (const auto& [base, user, password] :
         {std::tuple{"coleta", "KORVA", "##738460"}, std::tuple{"tarvell", "ERPUSER", "sé nha"}}) {
        std::istringstream in(std::string(password) + "\r\nignored line\n");
        std::FILE* sink = std::tmpfile();
        EXPECT_EQ(app::setCredentials(ours.string(), base, user, in, sink, sink), 0);
        std::fclose(sink);
        if (std::string(base) == "coleta") {
            s.EdtUsuarioColeta = user;
            s.EdtSenhaColeta = password;
        } else {
            s.EdtUsuarioTarvell = user;
            s.EdtSenhaTarvell = password;
        }
    }
    app::saveConfig(window.string(), s);
    EXPECT_EQ(readAll(ours), readAll(window));
    EXPECT_NE(readAll(ours).find("Usuario=@WQPJ"), std::string::npos) << readAll(ours);
    EXPECT_NE(readAll(ours).find("Senha=/73928\"$"), std::string::npos);

    base::Settings back;
    app::loadConfig(ours.string(), back);
    EXPECT_EQ(back.EdtSenhaTarvell, "sé nha");
    EXPECT_EQ(back.edtTempoInicializacao, 4);
}

TEST(SetCredentials, AFileThatDoesNotReadCleanlyIsLeftAlone)
{
    Folder dir;
    const fs::path file = dir.path / "bad.ini";
    {
        std::ofstream(file) << "[Socket]\nPorta=sete\n";
    }
    std::istringstream in("secret\n");
    std::FILE* sink = std::tmpfile();
    EXPECT_EQ(app::setCredentials(file.string(), "coleta", "KORVA", in, sink, sink), 1);
    std::fclose(sink);
    EXPECT_EQ(readAll(file), "[Socket]\nPorta=sete\n");
}

TEST(Reload, ChangesNameEveryFieldOfTheFileAndNoPassword)
{
    base::Settings a;
    a.edtPorta = 7010;
    a.EdtSenhaColeta = "segredo1";
    a.EdtBaseColeta = "localhost:/a.fdb";
    a.edtVersaoCliente = "1.0"; // not in the file: never compared
    base::Settings b = a;
    EXPECT_TRUE(app::configChanges(a, b).empty());
    b.edtPorta = 7011;
    b.EdtSenhaColeta = "segredo2";
    b.EdtBaseColeta = "";
    b.ch_integratarvell = true;
    b.edtVersaoCliente = "2.0";
    EXPECT_EQ(app::configChanges(a, b),
              (std::vector<std::string>{"Porta 7010 -> 7011", "Integra N -> S",
                                        "Base Coleta localhost:/a.fdb -> (vazio)", "Senha Coleta alterada"}));
}
