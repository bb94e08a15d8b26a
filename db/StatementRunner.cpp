#include "db/StatementRunner.h"

#include "db/QueryHelpers.h"

namespace quelvor::db {

bool AttachmentRunner::executa(Attachment& conexao, const Sql& statement, ResultSet& rows, bool& selected)
{
    return executaComando(conexao, statement, rows, selected);
}

bool StatementRunner::consulta(Attachment& conexao, const Sql& statement, const RowCallback& onRow)
{
    ResultSet rows;
    bool selected = false;
    if (!executa(conexao, statement, rows, selected))
        return false;
    for (std::size_t n = 0; n < rows.size(); ++n)
        onRow(KeptRowView(rows, n));
    return true;
}

bool AttachmentRunner::consulta(Attachment& conexao, const Sql& statement, const RowCallback& onRow)
{
    return executaConsulta(conexao, statement, onRow);
}

std::string AttachmentRunner::PTAB(const std::string& tabela, const std::string& campo, const Sql& condicao,
                                   Attachment& conexao, bool* falhou)
{
    return db::PTAB(tabela, campo, condicao, conexao, falhou);
}

} // namespace quelvor::db
