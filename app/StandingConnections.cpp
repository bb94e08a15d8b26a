#include "app/StandingConnections.h"

namespace quelvor::app {

std::vector<std::string> listaConexaoTarvell(const base::Settings& s)
{
    return {"DriverName=Firebird",
            "Database=" + s.EdtBaseTarvell,
            "User_Name=" + s.EdtUsuarioTarvell,
            "Password=" + s.EdtSenhaTarvell,
            "CommitRetain=False",
            "RoleName=RoleName",
            "SQLDialect=3",
            "LocaleCode=0000",
            "BlobSize=-1",
            "WaitOnLocks=True",
            "Trim Char=False"};
}

std::vector<std::string> listaConexaoTemp(const base::Settings& s)
{
    return {"Database=" + s.EdtBaseColeta,
            "User_Name=" + s.EdtUsuarioColeta,
            "Password=" + s.EdtSenhaColeta,
            "DriverName=Firebird",
            "Role=RoleName",
            "ServerCharSet=",
            "SQLDialect=3",
            "ErrorResourceFile=",
            "LocaleCode=0000",
            "BlobSize=-1",
            "CommitRetain=False",
            "WaitOnLocks=True",
            "IsolationLevel=ReadCommitted",
            "Trim Char=False"};
}

std::vector<std::string> listaConexaoColeta(const base::Settings& s)
{
    base::Settings coleta = s;
    coleta.EdtBaseTarvell = s.EdtBaseColeta;
    coleta.EdtUsuarioTarvell = s.EdtUsuarioColeta;
    coleta.EdtSenhaTarvell = s.EdtSenhaColeta;
    return listaConexaoTarvell(coleta);
}

db::ConnectionParams parametrosDaLista(const std::vector<std::string>& lista)
{
    db::ConnectionParams p;
    for (const std::string& item : lista) {
        const size_t eq = item.find('=');
        if (eq == std::string::npos)
            continue;
        const std::string name = item.substr(0, eq);
        const std::string value = item.substr(eq + 1);
        if (name == "Database")
            p.database = value;
        else if (name == "User_Name")
            p.user = value;
        else if (name == "Password")
            p.password = value;
    }
    // No character set, as the lists give none ("ServerCharSet=" empty): each
    // column then comes in its own, so an ERP database in UTF8 whose text
    // Windows-1252 cannot hold is still read, where WIN1252 would refuse
    // the whole query.
    p.charset.clear();
    return p;
}

void configuraConexao(db::Attachment& conexao, const std::vector<std::string>& lista)
{
    conexao.configure(parametrosDaLista(lista)); // closes it first
    conexao.open();
}

} // namespace quelvor::app
