#pragma once
// The statement helpers of the main window and of the handlers.
//
// executaComando is the one way a statement is run for them: trimmed, fetched
// whole when it is a SELECT, executed otherwise, and a failure logged as
// "Erro na query: " followed by the statement and the message. The handlers'
// TConexao::ExecutaQuery and the main window's ExecutaQuery both run on it.
//
// ExecutaQuery runs one statement on an attachment made for that one call from
// the database fields as they are at that moment; the caller owns what comes
// back (the rows and the attachment) and releases both together. It is called
// from connection and listening threads, so it takes the settings as a copy.
//
// PTAB reads one value over one of the window's standing connections; main
// thread only. Lpad pads a code on the left for the progress text.

#include "base/Settings.h"
#include "base/StatusModel.h"
#include "db/Attachment.h"
#include "db/Sql.h"

#include <memory>
#include <string>

namespace quelvor::db {

// What one ExecutaQuery call made: its own attachment (with its own read
// committed transaction) and, for a SELECT, every row. Destroying it commits
// and detaches.
struct Query
{
    Attachment connection;
    ResultSet rows;
};

// The attachment settings of the collection database (`erp` false) or of the
// ERP database as the fields give them: WIN1252 and the configured lock wait.
ConnectionParams parametrosDaBase(const base::Settings& settings, bool erp);

// base_dados "d" selects the ERP database, anything else the collection one.
// Throws DbError, unlogged, when the attachment cannot be made (Query is left
// untouched then). A failed statement is logged as "Erro na query: " followed
// by the statement and the message; the result is then false and Query still
// holds the call's objects.
bool ExecutaQuery(const base::Settings& settings, const Sql& TextoSQL, std::unique_ptr<Query>& Query,
                  const std::string& base_dados);

// Runs the statement on the attachment. A SELECT (by its first six letters,
// after trimming) fills `rows` and sets `selected`; any other statement
// leaves `rows` empty. A statement that met an update conflict or a deadlock
// runs once more. False when the statement failed; the failure is logged and
// `rows` is left empty.
bool executaComando(Attachment& conexao, const Sql& statement, ResultSet& rows, bool& selected);

// A SELECT run as executaComando runs it (trimmed, once more after an update
// conflict or a deadlock, a failure logged as "Erro na query: ..."), its rows
// handed to `onRow` one by one as they are fetched instead of kept. The
// statement runs again only when no row had been handed over yet; `onRow`
// then sees the rows of the second run alone. An exception from `onRow` is
// not a failure of the statement: it is not logged and goes to the caller.
// A statement that is not a SELECT is executed and hands over no row.
bool executaConsulta(Attachment& conexao, const Sql& statement, const RowCallback& onRow);

// True when the statement's first six characters are SELECT in any ASCII case.
bool isSelectStatement(const std::string& trimmedStatement);

// First column of the first row of "SELECT FIRST 1 <Campo> from <Tabela>"
// with " Where <Condicao>" on a second line when the condition is not blank.
// The condition's values are bound. Opens the connection with the settings it
// holds when closed. Every failure is logged as "erro PTAB:" with the message,
// " - " and the statement's lines, and yields the empty text; `falhou`, when
// given, tells a failure from a lookup that found nothing.
std::string PTAB(const std::string& Tabela, const std::string& Campo, const Sql& Condicao,
                 Attachment& conexao, bool* falhou = nullptr);

std::string Lpad(const std::string& Expressao, int Quantidade, const std::string& valor);

// While one lives on a thread, every statement of that thread that fails in
// executaComando (the line "Erro na query: …") also goes to the recent errors
// of `status` (null: nowhere). They nest: the previous one is back when this
// one goes. Made and destroyed on the same thread.
class FalhasParaOStatus
{
public:
    explicit FalhasParaOStatus(base::StatusModel* status);
    ~FalhasParaOStatus();
    FalhasParaOStatus(const FalhasParaOStatus&) = delete;
    FalhasParaOStatus& operator=(const FalhasParaOStatus&) = delete;

private:
    base::StatusModel* const m_anterior;
};

} // namespace quelvor::db
