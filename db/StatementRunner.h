#pragma once
// Where the request handlers' statements and one-value lookups go. The server
// runs them on the attachments themselves (AttachmentRunner: executaComando,
// executaConsulta and PTAB, with their log lines and retries); the fuzz target of the request
// handler gives a stand-in that records every statement and answers it
// without a database. A runner is used from its handler's thread only.

#include "db/Attachment.h"
#include "db/ResultSet.h"
#include "db/RowView.h"
#include "db/Sql.h"

#include <string>

namespace quelvor::db {

class StatementRunner
{
public:
    virtual ~StatementRunner() = default;
    // As executaComando, on the given attachment.
    virtual bool executa(Attachment& conexao, const Sql& statement, ResultSet& rows, bool& selected) = 0;
    // As executaConsulta, on the given attachment: a SELECT's rows handed to
    // `onRow` one by one. This one runs executa() and hands over the rows it
    // kept; a runner on the attachments hands them over as they are fetched.
    virtual bool consulta(Attachment& conexao, const Sql& statement, const RowCallback& onRow);
    // As PTAB, on the given attachment.
    virtual std::string PTAB(const std::string& tabela, const std::string& campo, const Sql& condicao,
                             Attachment& conexao, bool* falhou) = 0;
};

// The statements run on the attachment they name.
class AttachmentRunner final : public StatementRunner
{
public:
    bool executa(Attachment& conexao, const Sql& statement, ResultSet& rows, bool& selected) override;
    bool consulta(Attachment& conexao, const Sql& statement, const RowCallback& onRow) override;
    std::string PTAB(const std::string& tabela, const std::string& campo, const Sql& condicao,
                     Attachment& conexao, bool* falhou) override;
};

} // namespace quelvor::db
