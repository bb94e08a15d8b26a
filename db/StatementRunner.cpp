#include "db/StatementRunner.h"

#include "db/QueryHelpers.h"

namespace quelvor::db {

bool AttachmentRunner::executa(Attachment& conexao, const Sql& statement, ResultSet& rows, bool& selected)
{
    return executaComando(conexao, statement, rows, selected);
}

std::string AttachmentRunner::PTAB(const std::string& tabela, const std::string& campo, const Sql& condicao,
                                   Attachment& conexao, bool* falhou)
{
    return db::PTAB(tabela, campo, condicao, conexao, falhou);
}

} // namespace quelvor::db
