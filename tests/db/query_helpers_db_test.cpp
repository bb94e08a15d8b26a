#include "base/OperatorLog.h"
#include "db/Cancellation.h"
#include "db/DbError.h"
#include "db/QueryHelpers.h"
#include "tests/support/TestDatabase.h"

#include <gtest/gtest.h>

#include <chrono>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

using namespace quelvor;
using quelvor::test::TestDatabase;

namespace {

std::vector<std::string> drainLog()
{
    return base::OperatorLog::instance().drain();
}

bool anyLineHas(const std::vector<std::string>& lines, const std::string& part)
{
    for (const auto& l : lines)
        if (l.find(part) != std::string::npos)
            return true;
    return false;
}

class QueryHelpersDb : public ::testing::Test
{
protected:
    QueryHelpersDb() : coleta(TestDatabase::Kind::Coleta), erp(TestDatabase::Kind::Tarvell)
    {
        settings.EdtBaseColeta = coleta.connectionString();
        settings.EdtUsuarioColeta = coleta.user();
        settings.EdtSenhaColeta = coleta.password();
        settings.EdtBaseTarvell = erp.connectionString();
        settings.EdtUsuarioTarvell = erp.user();
        settings.EdtSenhaTarvell = erp.password();
        drainLog();
    }
    TestDatabase coleta;
    TestDatabase erp;
    base::Settings settings;
};

} // namespace

TEST_F(QueryHelpersDb, ExecutaQueryChoosesTheDatabaseAndTheKindOfStatement)
{
    std::unique_ptr<db::Query> q;
    // "d" reaches the ERP (it has the generator), anything else the collection database.
    ASSERT_TRUE(
        db::ExecutaQuery(settings, "  select GEN_ID(DESCARGAS_DES_CODIGO_GEN, 0) from RDB$DATABASE", q, "d"));
    EXPECT_EQ(q->rows.size(), 1u);
    q.reset();
    EXPECT_FALSE(
        db::ExecutaQuery(settings, "SELECT GEN_ID(DESCARGAS_DES_CODIGO_GEN, 0) FROM RDB$DATABASE", q, "D"));
    EXPECT_TRUE(anyLineHas(drainLog(),
                           "-Erro na query: SELECT GEN_ID(DESCARGAS_DES_CODIGO_GEN, 0) FROM RDB$DATABASE"));
    ASSERT_NE(q, nullptr) << "the caller holds the call's objects also after a failure";

    // A statement that does not start with SELECT is executed and committed, and yields no rows.
    ASSERT_TRUE(
        db::ExecutaQuery(settings,
                         db::Sql("\r\n UPDATE OR INSERT INTO SESSOESATIVAS(SES_ID,LIBERADO,EMPRESACERTA,"
                                 "VERSAOCORRETA,IP)VALUES(?,?,?,?,?)",
                                 {db::bare("9"), db::text(""), db::text(""), db::text(""), db::text("::1")}),
                         q, "c"));
    EXPECT_TRUE(q->rows.empty());
    ASSERT_TRUE(
        db::ExecutaQuery(settings, "WITH X AS (SELECT 1 A FROM RDB$DATABASE) SELECT A FROM X", q, "c"));
    EXPECT_TRUE(q->rows.empty());
    q.reset();
    EXPECT_EQ(coleta.queryText("SELECT IP FROM SESSOESATIVAS WHERE SES_ID = 9;"), "::1");
}

TEST_F(QueryHelpersDb, ExecutaQueryRaisesUnloggedWhenItCannotAttach)
{
    std::unique_ptr<db::Query> q;
    settings.EdtSenhaColeta = "wrong";
    EXPECT_THROW(db::ExecutaQuery(settings, "DELETE FROM SESSOESATIVAS", q, "c"), db::DbError);
    EXPECT_EQ(q, nullptr);
    EXPECT_TRUE(drainLog().empty());
}

TEST_F(QueryHelpersDb, PtabReadsOneValueOrNothing)
{
    db::Attachment conexao;
    conexao.configure({coleta.connectionString(), coleta.user(), coleta.password(), "WIN1252"});
    EXPECT_EQ(db::PTAB("PARAMETROS", "PAR_EMPRESA", "PAR_ID = 1", conexao), "");
    EXPECT_TRUE(drainLog().empty()) << "a missing row is not an error";
    EXPECT_TRUE(conexao.connected()) << "a closed standing connection is opened on first use";

    coleta.execScript("INSERT INTO PARAMETROS (PAR_ID, PAR_EMPRESA, PAR_VERSAOAPK) VALUES (1, '7', '2.0');");
    EXPECT_EQ(db::PTAB("PARAMETROS", "PAR_EMPRESA", "PAR_ID = 1", conexao), "7");
    EXPECT_EQ(db::PTAB("PARAMETROS", "PAR_VERSAOAPK", "   ", conexao), "2.0");
    EXPECT_EQ(db::PTAB("PARAMETROS", "PAR_VERSAOAPK", db::Sql("PAR_EMPRESA = ?", {db::text("7' OR '1'='1")}),
                       conexao),
              "");
    EXPECT_TRUE(drainLog().empty());

    EXPECT_EQ(db::PTAB("NO_TABLE", "X", "A = 1", conexao), "");
    const auto lines = drainLog();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find("-erro PTAB:"), std::string::npos);
    // The statement's lines, each line break a blank: the log line stays one line.
    EXPECT_NE(lines[0].find(" - SELECT FIRST 1 X from NO_TABLE  Where A = 1 "), std::string::npos)
        << lines[0];
    EXPECT_EQ(lines[0].find_first_of("\r\n"), std::string::npos);

    db::Attachment quebrada;
    quebrada.configure({"localhost:/nonexistent/x.fdb", "KORVA", "x", "WIN1252"});
    EXPECT_EQ(db::PTAB("PARAMETROS", "PAR_EMPRESA", "PAR_ID = 1", quebrada), "");
    EXPECT_TRUE(anyLineHas(drainLog(), "-erro PTAB:"));

    // A caller that must tell a failure from an empty answer is told.
    bool falhou = false;
    EXPECT_EQ(db::PTAB("PARAMETROS", "PAR_EMPRESA", "PAR_ID = 99", conexao, &falhou), "");
    EXPECT_FALSE(falhou);
    EXPECT_EQ(db::PTAB("PARAMETROS", "PAR_EMPRESA", "PAR_ID = 1", quebrada, &falhou), "");
    EXPECT_TRUE(falhou);
    drainLog();
}

// Another transaction holds the row: the statement waits the configured time
// and fails like any database error; when the holder commits while it waits,
// the conflict that follows is met by running the statement once more.
TEST_F(QueryHelpersDb, LockedRowsAreWaitedForABoundedTimeAndConflictsRunOnceMore)
{
    coleta.execScript("INSERT INTO PARAMETROS (PAR_ID, PAR_EMPRESA, PAR_VERSAOAPK) VALUES (1, '1', '3.1');");
    db::ConnectionParams params{coleta.connectionString(), coleta.user(), coleta.password(), "WIN1252"};
    db::Attachment holder(params);
    const db::Sql lock("SELECT PAR_EMPRESA FROM PARAMETROS WHERE PAR_ID = 1 WITH LOCK");

    params.lockTimeout = 1;
    db::Attachment waiter(params);
    db::ResultSet rows;
    bool selected = false;
    drainLog();
    holder.select(lock);
    EXPECT_FALSE(db::executaComando(waiter, "UPDATE PARAMETROS SET PAR_EMPRESA = '2' WHERE PAR_ID = 1", rows,
                                    selected));
    std::vector<std::string> log = drainLog();
    ASSERT_EQ(log.size(), 1u);
    EXPECT_NE(log[0].find("-Erro na query: UPDATE PARAMETROS SET PAR_EMPRESA = '2' WHERE PAR_ID = 1"),
              std::string::npos);
    EXPECT_NE(log[0].find("update conflicts"), std::string::npos) << log[0];
    holder.commit();
    EXPECT_EQ(coleta.queryText("SELECT PAR_EMPRESA FROM PARAMETROS WHERE PAR_ID = 1;"), "1");

    params.lockTimeout = 20;
    db::Attachment patient(params);
    holder.select(lock);
    std::thread release([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        holder.commit();
    });
    const bool ran = db::executaComando(patient, "UPDATE PARAMETROS SET PAR_EMPRESA = '3' WHERE PAR_ID = 1",
                                        rows, selected);
    release.join();
    EXPECT_TRUE(ran);
    EXPECT_TRUE(drainLog().empty());
    patient.commit();
    EXPECT_EQ(coleta.queryText("SELECT PAR_EMPRESA FROM PARAMETROS WHERE PAR_ID = 1;"), "3");
}

// A SELECT whose rows are handed over as they are fetched: in order, a
// failure logged as for any statement, and what the caller throws is its
// own, unlogged, leaving the attachment usable.
TEST_F(QueryHelpersDb, ExecutaConsultaHandsRowsOverAsTheyAreFetched)
{
    coleta.execScript("INSERT INTO PARAMETROS (PAR_ID, PAR_EMPRESA, PAR_VERSAOAPK) VALUES (1, '1', '3.1');\n"
                      "INSERT INTO PARAMETROS (PAR_ID, PAR_EMPRESA, PAR_VERSAOAPK) VALUES (2, '7', '3.2');");
    db::ConnectionParams params{coleta.connectionString(), coleta.user(), coleta.password(), "WIN1252"};
    params.lockTimeout = 20;
    db::Attachment conexao(params);
    std::vector<std::string> ids;
    auto guarda = [&](const db::RowView& row) { ids.push_back(db::asText(row.value(0), row.columns()[0])); };
    drainLog();

    // The whole table, in order.
    ASSERT_TRUE(
        db::executaConsulta(conexao, db::Sql("  SELECT PAR_ID FROM PARAMETROS ORDER BY PAR_ID "), guarda));
    EXPECT_EQ(ids, (std::vector<std::string>{"1", "2"}));
    EXPECT_TRUE(drainLog().empty());

    // A statement that fails: logged once, nothing handed over.
    ids.clear();
    EXPECT_FALSE(db::executaConsulta(conexao, db::Sql("SELECT NO_SUCH FROM PARAMETROS"), guarda));
    EXPECT_TRUE(ids.empty());
    std::vector<std::string> log = drainLog();
    ASSERT_EQ(log.size(), 1u);
    EXPECT_NE(log[0].find("-Erro na query: SELECT NO_SUCH FROM PARAMETROS"), std::string::npos) << log[0];

    // The caller's own exception ends the fetch and reaches it unlogged; the
    // attachment goes on.
    ids.clear();
    EXPECT_THROW(db::executaConsulta(conexao, db::Sql("SELECT PAR_ID FROM PARAMETROS ORDER BY PAR_ID"),
                                     [&](const db::RowView& row) {
                                         guarda(row);
                                         throw std::runtime_error("o dispositivo se foi");
                                     }),
                 std::runtime_error);
    EXPECT_EQ(ids, std::vector<std::string>{"1"});
    EXPECT_TRUE(drainLog().empty());
    ids.clear();
    EXPECT_TRUE(
        db::executaConsulta(conexao, db::Sql("SELECT PAR_ID FROM PARAMETROS ORDER BY PAR_ID"), guarda));
    EXPECT_EQ(ids, (std::vector<std::string>{"1", "2"}));
}

// A stop cancels, from its own thread, what a request's attachments are
// waiting for; a request that starts after it is refused at once.
TEST_F(QueryHelpersDb, ACancellationEndsAWaitingStatementAndRefusesLaterOnes)
{
    coleta.execScript("INSERT INTO PARAMETROS (PAR_ID, PAR_EMPRESA, PAR_VERSAOAPK) VALUES (1, '1', '3.1');");
    db::ConnectionParams params{coleta.connectionString(), coleta.user(), coleta.password(), "WIN1252"};
    db::Attachment holder(params);
    holder.select("SELECT PAR_EMPRESA FROM PARAMETROS WHERE PAR_ID = 1 WITH LOCK");

    params.lockTimeout = 0; // would wait for as long as the lock is held
    db::Attachment waiter(params);
    db::Cancellation cancellation;
    cancellation.registra(waiter);
    std::thread stop([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        cancellation.cancel();
    });
    db::ResultSet rows;
    bool selected = false;
    drainLog();
    EXPECT_FALSE(db::executaComando(waiter, "UPDATE PARAMETROS SET PAR_EMPRESA = '2' WHERE PAR_ID = 1", rows,
                                    selected));
    stop.join();
    const std::vector<std::string> log = drainLog();
    ASSERT_EQ(log.size(), 1u);
    EXPECT_NE(log[0].find("cancelled"), std::string::npos) << log[0];
    cancellation.retira(waiter);

    db::Attachment later(params);
    EXPECT_THROW(cancellation.registra(later), db::DbError);
    holder.commit();
}
