#include "app/DeviceRegistry.h"
#include "db/DbError.h"
#include "tests/support/TestDatabase.h"

#include <gtest/gtest.h>

using namespace quelvor;
using quelvor::test::TestDatabase;

namespace {

class DeviceRegistryDb : public ::testing::Test
{
protected:
    DeviceRegistryDb() : coleta(TestDatabase::Kind::Coleta)
    {
        settings.EdtBaseColeta = coleta.connectionString();
        settings.EdtUsuarioColeta = coleta.user();
        settings.EdtSenhaColeta = coleta.password();
        // A released handheld, one the handshake added, one registered by hand
        // without a flag, and one whose id and routes a quote or an accent
        // would break if they were spliced into the statement.
        coleta.execScript(
            "INSERT INTO DISPOSITIVOS (DIS_ID, DIS_LIBERADO, DIS_ROTAS, DIS_DATAHORACONEXAO, DIS_VERSAOAPK) "
            "VALUES ('AA-01', 'S', '1;2', '2026-12-10 07:05:09', '2.4');\n"
            "INSERT INTO DISPOSITIVOS (DIS_ID, DIS_LIBERADO, DIS_ROTAS, DIS_DATAHORACONEXAO, DIS_VERSAOAPK) "
            "VALUES ('BB-02', 'N', '', '2026-12-10 08:00:00', '2.5');\n"
            "INSERT INTO DISPOSITIVOS (DIS_ID) VALUES ('CC-03');\n"
            "INSERT INTO DISPOSITIVOS (DIS_ID, DIS_LIBERADO, DIS_ROTAS, DIS_VERSAOAPK) "
            "VALUES ('Ré''s João', 'N', '', '2.5');\n");
    }

    std::string rowOf(const std::string& id) const
    {
        return coleta.queryText("SELECT DIS_LIBERADO || '|' || COALESCE(DIS_ROTAS, '<null>') FROM DISPOSITIVOS "
                                "WHERE DIS_ID = '" +
                                id + "';");
    }

    TestDatabase coleta;
    base::Settings settings;
};

} // namespace

TEST_F(DeviceRegistryDb, ListsEveryHandheldAndTellsTheWaitingOnes)
{
    const app::DeviceRegistry registro(settings);
    const auto todos = registro.dispositivos();
    ASSERT_EQ(todos.size(), 4u);

    EXPECT_EQ(todos[0].id, "AA-01");
    EXPECT_EQ(todos[0].liberado, "S");
    EXPECT_EQ(todos[0].rotas, "1;2");
    EXPECT_EQ(todos[0].versao, "2.4");
    ASSERT_TRUE(todos[0].ultimaConexao);
    EXPECT_EQ(todos[0].ultimaConexao->date, (base::Date{2026, 12, 10}));
    EXPECT_EQ(todos[0].ultimaConexao->time, (base::Time{7, 5, 9, 0}));
    EXPECT_FALSE(todos[0].aguardandoLiberacao());

    // Nulls read as empty texts and no last contact.
    EXPECT_EQ(todos[2].id, "CC-03");
    EXPECT_EQ(todos[2].liberado, "");
    EXPECT_EQ(todos[2].rotas, "");
    EXPECT_EQ(todos[2].versao, "");
    EXPECT_FALSE(todos[2].ultimaConexao);

    EXPECT_EQ(todos[3].id, "Ré's João");

    // "N" from the handshake and a null flag both keep a handheld out.
    std::vector<std::string> esperando;
    for (const auto& d : registro.aguardandoLiberacao())
        esperando.push_back(d.id);
    EXPECT_EQ(esperando, (std::vector<std::string>{"BB-02", "CC-03", "Ré's João"}));
}

TEST_F(DeviceRegistryDb, LiberaWritesTheFlagAndTheRoutesOfThatHandheldOnly)
{
    const app::DeviceRegistry registro(settings);

    EXPECT_TRUE(registro.libera("Ré's João", "3;4 'Água Fria'"));
    EXPECT_EQ(rowOf("Ré''s João"), "S|3;4 'Água Fria'");
    EXPECT_EQ(rowOf("BB-02"), "N|");
    EXPECT_EQ(rowOf("AA-01"), "S|1;2");

    // Releasing again changes the routes; empty routes are stored empty.
    EXPECT_TRUE(registro.libera("CC-03", ""));
    EXPECT_EQ(rowOf("CC-03"), "S|");

    // An id that is not registered (a quote that would have matched every
    // row, if spliced) changes nothing.
    EXPECT_FALSE(registro.libera("x' OR '1' = '1", "9"));
    EXPECT_EQ(rowOf("BB-02"), "N|");
    EXPECT_EQ(registro.aguardandoLiberacao().size(), 1u);
}

TEST_F(DeviceRegistryDb, ADatabaseThatCannotBeReachedThrows)
{
    settings.EdtBaseColeta = "localhost:/nonexistent/quelvor/coleta.fdb";
    const app::DeviceRegistry registro(settings);
    EXPECT_THROW(registro.dispositivos(), db::DbError);
    EXPECT_THROW(registro.libera("AA-01", "1"), db::DbError);
}
