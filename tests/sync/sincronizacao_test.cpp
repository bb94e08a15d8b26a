// The ERP synchronisation against real databases: an ERP and a collection
// database built from schema/, a recording host in place of the main window,
// and runs started the way the timer and the menu start them.

#include "sync/Sincronizacao.h"

#include "base/OperatorLog.h"
#include "db/Attachment.h"
#include "db/DbError.h"
#include "tests/support/TestDatabase.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <tuple>
#include <vector>

namespace quelvor::sync {
namespace {

using test::TestDatabase;

// ---------------------------------------------------------------------------
// The column comparison on its own.

db::Value texto(const char* s)
{
    return {std::string(s)};
}
db::Value numero(std::int64_t v)
{
    return {v};
}
db::Value real(double v)
{
    return {v};
}
db::Value nulo()
{
    return {};
}
db::Column escala(int s)
{
    db::Column c;
    c.scale = s;
    return c;
}

TEST(ColunaDifere, TypedThenQuoteThenCleanTest)
{
    struct Case
    {
        const char* what;
        db::Value erp;
        db::Column erpColumn;
        db::Value coleta;
        db::Column coletaColumn;
        bool differs;
    };
    const db::Column plain;
    const Case cases[] = {
        {"same whole number", numero(5), plain, numero(5), plain, false},
        {"other whole number", numero(5), plain, numero(6), plain, true},
        {"numbers by value across scales", numero(150), escala(-2), numero(15), escala(-1), false},
        {"exact against floating", numero(15), escala(-1), real(1.5), plain, false},
        {"decimals that differ", numero(151), escala(-2), real(1.5), plain, true},
        {"number against its text", numero(5), plain, texto("5"), plain, false},
        {"decimal against its regional text", numero(15), escala(-1), texto("1,5"), plain, false},
        {"decimal against text with a point", numero(15), escala(-1), texto("1.5"), plain, true},
        {"same text", texto("Ana"), plain, texto("Ana"), plain, false},
        {"letter case counts", texto("Ana"), plain, texto("ANA"), plain, true},
        {"accents count", texto("José"), plain, texto("Jose"), plain, true},
        {"null against empty text", nulo(), plain, texto(""), plain, false},
        {"empty text against null", texto(""), plain, nulo(), plain, false},
        {"two nulls", nulo(), plain, nulo(), plain, false},
        {"null against text", nulo(), plain, texto("x"), plain, true},
        {"null against zero", nulo(), plain, numero(0), plain, true},
        {"double quotes ignored", texto("Linha \"Norte\""), plain, texto("Linha Norte"), plain, false},
        {"apostrophe dropped by the write", texto("Sítio D'Ávila"), plain, texto("Sítio DÁvila"), plain,
         false},
        {"line break dropped by the write", texto("Rua 1\r\nFundos"), plain, texto("Rua 1Fundos"), plain,
         false},
        {"backquote dropped by the write", texto("Ana`"), plain, texto("Ana"), plain, false},
        {"blanks around", texto("  Centro \t"), plain, texto("Centro"), plain, false},
        {"blanks inside count", texto("Cen tro"), plain, texto("Centro"), plain, true},
        {"same date", {base::Date{2026, 3, 1}}, plain, {base::Date{2026, 3, 1}}, plain, false},
        {"other date", {base::Date{2026, 3, 1}}, plain, {base::Date{2026, 3, 2}}, plain, true},
    };
    for (const Case& c : cases)
        EXPECT_EQ(colunaDifere(c.erp, c.erpColumn, c.coleta, c.coletaColumn), c.differs) << c.what;
}

TEST(ColunaDifere, CleaningAndNumberTexts)
{
    const std::pair<const char*, const char*> limpos[] = {
        {" \t Sítio D'Ávila\r\n ", "Sítio DÁvila"}, {"abc '", "abc"},
        {"Rua 1\r\nFundos", "Rua 1Fundos"},         {"a`b'c", "abc"},
        {"Linha \"Norte\"", "Linha \"Norte\""},     {"", ""},
    };
    for (const auto& [entrada, saida] : limpos)
        EXPECT_EQ(limpaValor(entrada), saida) << entrada;

    const db::Column plain;
    EXPECT_EQ(textoNumerico(numero(1235), escala(-2)), "12.35");
    EXPECT_EQ(textoNumerico(numero(-29123), escala(-3)), "-29.123");
    EXPECT_EQ(textoNumerico(numero(1200), escala(-2)), "12");
    EXPECT_EQ(textoNumerico(numero(42), plain), "42");
    EXPECT_EQ(textoNumerico(real(0.25), plain), "0.25");
    EXPECT_EQ(textoNumerico(texto("12.5"), plain), "12.5");
}

TEST(ColunaDifere, StatementsReadAsTheClassicTextWithTheirValuesBound)
{
    db::ResultSet rotas;
    rotas.columns.resize(2);
    const std::vector<db::Value> rota{numero(7), texto("  Linha D'Ouro \"B\"\r\n")};
    const db::Sql gravaRota = comandoGravacao("ROTAS", rotas, rota);
    EXPECT_EQ(gravaRota.display(),
              "UPDATE OR INSERT INTO ROTAS(ROT_CODIGO, ROT_DESCRICAO)VALUES(7, 'Linha DOuro \"B\"');");
    EXPECT_EQ(gravaRota.params()[0].kind, db::SqlParam::Kind::Bare);
    EXPECT_EQ(gravaRota.params()[1].kind, db::SqlParam::Kind::Text);

    db::ResultSet produtores;
    produtores.columns.resize(10);
    const std::vector<db::Value> produtor{numero(10),
                                          texto("Sítio D'Ávila"),
                                          texto(" -29,123 "),
                                          texto("-50,5"),
                                          texto("Rua 1\r\nFundos"),
                                          texto(""),
                                          nulo(),
                                          numero(3),
                                          numero(1),
                                          numero(12)};
    EXPECT_EQ(
        comandoGravacao("PRODUTORES", produtores, produtor).display(),
        "UPDATE OR INSERT INTO PRODUTORES(PRO_CLIFOR, CLI_RAZAO, PRO_LATITUDE, PRO_LONGITUDE, PRO_ENDERECO, "
        "PRO_BAIRRO, PRO_CIDADE, PRO_ROTA,PRO_ATIVO,PRO_ORDEM)VALUES(10, 'Sítio DÁvila', -29.123, -50.5, "
        "'Rua 1Fundos', '', '', '3', 1, 12 )");
    EXPECT_THROW(comandoGravacao("USUARIOS", rotas, rota), std::invalid_argument);

    db::ResultSet medias;
    medias.columns = {db::Column{}, escala(-2)};
    EXPECT_EQ(comandoMedia(medias, {numero(10), numero(1235)}, 0, 1).display(),
              "UPDATE PRODUTORES SET PRO_MEDIA = 12.35 WHERE PRO_CLIFOR = 10 AND PRO_MEDIA <> 12.35; ");
}

// ---------------------------------------------------------------------------
// Runs against real databases.

// The main window as a run sees it: the switch, the two standing
// connections, the counter, and what the run shows.
class RecordingHost : public SincronizacaoHost
{
public:
    bool integracaoAtiva() const override { return integracao; }
    bool exitRequested() const override { return exit; }
    db::Attachment& conexaoTarvell() override { return ConexaoTarvell; }
    db::Attachment& conexaoTemp() override { return ConexaoTemp; }
    unsigned geracaoConexoes() const override { return geracao; }
    int& contadorSincronizacao() override { return contador; }
    void mostraProgresso(const std::string& text) override { progress.push_back(text); }
    void setSyncBusy(bool busy) override { syncBusy.push_back(busy); }
    // Runs the queued command once, as the window would run a click or a tick
    // that arrived meanwhile.
    void processPendingEvents() override
    {
        if (onEvents) {
            auto command = std::move(onEvents);
            onEvents = nullptr;
            command();
        }
    }

    base::StatusModel* statusModel() override { return status; }

    db::Attachment ConexaoTarvell;
    db::Attachment ConexaoTemp;
    base::StatusModel* status = nullptr;
    bool integracao = false;
    bool exit = false;
    unsigned geracao = 0;
    int contador = 0;
    std::vector<bool> syncBusy;
    std::vector<std::string> progress;
    std::function<void()> onEvents;
};

// Routes, producers with their CLI_FOR entry and city, and averages.
const char* const kErp = R"(
INSERT INTO CIDADES (CID_CODIGO, CID_NOME) VALUES (1, 'Vacaria');
INSERT INTO ROTAS VALUES (1, 'Centro  ');
INSERT INTO ROTAS VALUES (2, 'Linha "Norte"');
INSERT INTO ROTAS VALUES (3, 'Serra');
INSERT INTO CLI_FOR (CLI_CODIGO, CLI_RAZAO, CLI_ENDERECO, CLI_BAIRRO, CLI_CIDADE)
    VALUES (10, 'Sítio D''Ávila', 'Rua 1' || ASCII_CHAR(13) || ASCII_CHAR(10) || 'Fundos', 'Capela', 1);
INSERT INTO PRODUTORES VALUES (10, NULL, '-28.25', '-50.5', 1, 1, 3);
INSERT INTO CLI_FOR (CLI_CODIGO, CLI_RAZAO, CLI_ENDERECO, CLI_BAIRRO, CLI_CIDADE)
    VALUES (11, 'Sem Cidade', 'Rua 2', 'Centro', 99);
INSERT INTO PRODUTORES VALUES (11, NULL, '0', '0', 1, 1, 4);
INSERT INTO PRODUTORES VALUES (12, 'Sem Cadastro', '0', '0', 1, 1, 5);
INSERT INTO CLI_FOR (CLI_CODIGO, CLI_RAZAO, CLI_ENDERECO, CLI_BAIRRO, CLI_CIDADE)
    VALUES (13, 'Ana Souza', 'Estrada 5', NULL, 1);
INSERT INTO PRODUTORES VALUES (13, NULL, '-28.5', '-51.25', 2, 1, 7);
INSERT INTO CLI_FOR (CLI_CODIGO, CLI_RAZAO, CLI_ENDERECO, CLI_BAIRRO, CLI_CIDADE)
    VALUES (14, 'Ana Lima', 'Estrada 6', 'Capela', 1);
INSERT INTO PRODUTORES VALUES (14, NULL, '-28.75', '-51.5', 2, 1, 8);
INSERT INTO CLI_FOR (CLI_CODIGO, CLI_RAZAO, CLI_ENDERECO, CLI_BAIRRO, CLI_CIDADE)
    VALUES (15, NULL, NULL, NULL, 1);
INSERT INTO PRODUTORES VALUES (15, 'Razão do Produtor', NULL, NULL, NULL, NULL, NULL);
INSERT INTO COL001 VALUES (10, 12.35);
INSERT INTO COL001 VALUES (13, 0);
INSERT INTO COL001 VALUES (999, 5.5);
)";

// What the collection database held before: a route and a producer equal to
// the ERP's but for letter case, a producer equal but for a null where the
// ERP has '', and a route that the ERP does not have.
const char* const kColeta = R"(
INSERT INTO ROTAS (ROT_CODIGO, ROT_DESCRICAO) VALUES (3, 'SERRA');
INSERT INTO ROTAS (ROT_CODIGO, ROT_DESCRICAO) VALUES (4, 'Só na coleta');
INSERT INTO PRODUTORES (PRO_CLIFOR, CLI_RAZAO, PRO_LATITUDE, PRO_LONGITUDE, PRO_ENDERECO, PRO_BAIRRO, PRO_CIDADE,
    PRO_ROTA, PRO_ATIVO, PRO_ORDEM) VALUES (13, 'Ana Souza', '-28.5', '-51.25', 'Estrada 5', NULL, 'Vacaria', 2, 1, 7);
INSERT INTO PRODUTORES (PRO_CLIFOR, CLI_RAZAO, PRO_LATITUDE, PRO_LONGITUDE, PRO_ENDERECO, PRO_BAIRRO, PRO_CIDADE,
    PRO_ROTA, PRO_ATIVO, PRO_ORDEM) VALUES (14, 'ANA LIMA', '-28.75', '-51.5', 'Estrada 6', 'Capela', 'Vacaria', 2, 1, 8);
)";

const char* const kInicio = "Iniciando processo de busca por novos dados...";
const char* const kFim = "Concluindo processo de busca por novos dados";
const char* const kOcupado = "Serviço já está em execução.";
const char* const kDesligada = "Integração com TARVELL não está ativa.";

class SyncRun : public ::testing::Test
{
protected:
    SyncRun()
    {
        erp.execScript(kErp);
        coleta.execScript(kColeta);
        reader.connect({coleta.connectionString(), coleta.user(), coleta.password()});
        host.ConexaoTarvell.configure({erp.connectionString(), erp.user(), erp.password(), ""});
        host.ConexaoTemp.configure({coleta.connectionString(), coleta.user(), coleta.password(), ""});
        integracao(true);
        sync.setPausaPorLinha(std::chrono::milliseconds(0));
        // Log lines let pending events run, as in the window.
        base::setMainThreadEvents([this] { host.processPendingEvents(); });
        base::OperatorLog::instance().drain();
    }
    ~SyncRun() override { base::setMainThreadEvents({}); }

    void integracao(bool on) { host.integracao = on; }

    // The messages of the log lines written since the last call.
    std::vector<std::string> logLines()
    {
        std::vector<std::string> out;
        for (const std::string& line : base::OperatorLog::instance().drain())
            out.push_back(line.substr(line.find('-') + 1));
        return out;
    }

    // One row of the collection database as texts, "<null>" for null.
    std::vector<std::string> row(const std::string& sql)
    {
        const db::ResultSet rs = reader.select(db::Sql(sql));
        std::vector<std::string> out;
        if (rs.empty())
            return out;
        for (size_t i = 0; i < rs.columns.size(); ++i)
            out.push_back(rs.rows[0][i].isNull() ? "<null>" : db::asText(rs.rows[0][i], rs.columns[i]));
        return out;
    }
    std::string value(const std::string& sql) { return row(sql).at(0); }

    // Every insert or update of a catalogue row takes the next change number.
    std::string writesSoFar() { return value("SELECT GEN_ID(GEN_SEQUENCIALALTERACAO, 0) FROM RDB$DATABASE"); }
    std::string changeNumber(const std::string& table, const std::string& key, int code)
    {
        return value("SELECT SEQUENCIALALTERACAO FROM " + table + " WHERE " + key + " = " +
                     std::to_string(code));
    }

    std::vector<std::string> producer(int code)
    {
        return row(
            "SELECT CLI_RAZAO, PRO_LATITUDE, PRO_LONGITUDE, PRO_ENDERECO, PRO_BAIRRO, PRO_CIDADE, PRO_ROTA, "
            "PRO_ATIVO, PRO_ORDEM FROM PRODUTORES WHERE PRO_CLIFOR = " +
            std::to_string(code));
    }

    TestDatabase erp{TestDatabase::Kind::Tarvell};
    TestDatabase coleta{TestDatabase::Kind::Coleta};
    db::Attachment reader;
    RecordingHost host;
    Sincronizacao sync{host};
};

TEST_F(SyncRun, CopiesNewAndChangedRowsCleanedAndNothingOnTheNextRun)
{
    const std::string route4 = changeNumber("ROTAS", "ROT_CODIGO", 4);
    const std::string producer13 = changeNumber("PRODUTORES", "PRO_CLIFOR", 13);

    sync.S2Click();

    EXPECT_EQ(logLines(), (std::vector<std::string>{kInicio, "ROTAS", "PRODUTORES", kFim}));
    EXPECT_EQ(host.syncBusy, (std::vector<bool>{true, false}));
    EXPECT_FALSE(sync.ocupado());
    ASSERT_FALSE(host.progress.empty());
    EXPECT_EQ(host.progress.front(), "0000000001 (ROTAS)");
    EXPECT_EQ(host.progress.back(), "-");
    EXPECT_NE(std::find(host.progress.begin(), host.progress.end(), "0000000013 (PRODUTORES)"),
              host.progress.end());

    // Routes: new ones inserted trimmed and with their double quotes, one
    // that differed in letter case rewritten, one only here left alone.
    EXPECT_EQ(value("SELECT ROT_DESCRICAO FROM ROTAS WHERE ROT_CODIGO = 1"), "Centro");
    EXPECT_EQ(value("SELECT ROT_DESCRICAO FROM ROTAS WHERE ROT_CODIGO = 2"), "Linha \"Norte\"");
    EXPECT_EQ(value("SELECT ROT_DESCRICAO FROM ROTAS WHERE ROT_CODIGO = 3"), "Serra");
    EXPECT_EQ(changeNumber("ROTAS", "ROT_CODIGO", 4), route4);

    // Producers: apostrophe and line break gone, CLI_FOR's name preferred,
    // the producer's own name when CLI_FOR has none, ERP nulls as '' or 0.
    EXPECT_EQ(producer(10), (std::vector<std::string>{"Sítio DÁvila", "-28.25", "-50.5", "Rua 1Fundos",
                                                      "Capela", "Vacaria", "1", "1", "3"}));
    EXPECT_EQ(producer(14)[0], "Ana Lima");
    EXPECT_EQ(producer(15),
              (std::vector<std::string>{"Razão do Produtor", "0", "0", "", "", "Vacaria", "0", "0", "0"}));
    // A new producer starts with the average 0, so the average copy reaches it.
    EXPECT_EQ(value("SELECT PRO_MEDIA FROM PRODUTORES WHERE PRO_CLIFOR = 10"), "0");
    // No city, or no CLI_FOR entry: not copied.
    EXPECT_TRUE(row("SELECT 1 FROM PRODUTORES WHERE PRO_CLIFOR IN (11, 12)").empty());
    // A null here against the ERP's '' is no difference.
    EXPECT_EQ(changeNumber("PRODUTORES", "PRO_CLIFOR", 13), producer13);
    EXPECT_EQ(producer(13)[4], "<null>");

    // The next run finds everything equal and writes nothing.
    const std::string written = writesSoFar();
    host.progress.clear();
    sync.S2Click();
    EXPECT_EQ(writesSoFar(), written);
    EXPECT_EQ(logLines(), (std::vector<std::string>{kInicio, "ROTAS", "PRODUTORES", kFim}));
    EXPECT_EQ(host.progress.back(), "-");

    // A change of letter case in the ERP, with a comma-decimal latitude,
    // rewrites that producer and no other row.
    erp.execScript("UPDATE CLI_FOR SET CLI_RAZAO = 'ANA SOUZA' WHERE CLI_CODIGO = 13;\n"
                   "UPDATE PRODUTORES SET PRO_LATITUDE = '-29,123' WHERE PRO_CLIFOR = 13;");
    sync.S2Click();
    EXPECT_EQ(std::stoll(writesSoFar()), std::stoll(written) + 1);
    EXPECT_EQ(producer(13), (std::vector<std::string>{"ANA SOUZA", "-29.123", "-51.25", "Estrada 5", "",
                                                      "Vacaria", "2", "1", "7"}));

    // Written once, compared as the same afterwards: the comma latitude, and a
    // name whose apostrophe stood behind a blank.
    const std::string afterComma = writesSoFar();
    sync.S2Click();
    EXPECT_EQ(writesSoFar(), afterComma);
    erp.execScript("UPDATE CLI_FOR SET CLI_RAZAO = 'ANA LIMA ''' WHERE CLI_CODIGO = 13;");
    sync.S2Click();
    sync.S2Click();
    EXPECT_EQ(std::stoll(writesSoFar()), std::stoll(afterComma) + 1);
    EXPECT_EQ(producer(13)[0], "ANA LIMA");
}

TEST_F(SyncRun, AveragesOnTheEleventhRunOnlyWhereTheyChanged)
{
    // Starts refused for the switch count as runs as well.
    for (int run = 1; run <= 10; ++run) {
        integracao(run != 5);
        sync.S2Click();
    }
    EXPECT_EQ(host.contador, 10);
    const std::vector<std::string> tenRuns = logLines();
    EXPECT_EQ(std::count(tenRuns.begin(), tenRuns.end(), kDesligada), 1);
    EXPECT_EQ(std::count(tenRuns.begin(), tenRuns.end(), "CALCULANDO MÉDIA"), 0);
    EXPECT_EQ(value("SELECT PRO_MEDIA FROM PRODUTORES WHERE PRO_CLIFOR = 10"), "0");

    const std::string written = writesSoFar();
    const std::string producer13 = changeNumber("PRODUTORES", "PRO_CLIFOR", 13);
    sync.S2Click();
    EXPECT_EQ(logLines(),
              (std::vector<std::string>{kInicio, "ROTAS", "PRODUTORES", "CALCULANDO MÉDIA", kFim}));
    EXPECT_EQ(host.contador, 0);
    // The decimal average arrives whole, though the regional text of 12.35
    // has a comma; the unchanged average and the unknown producer change
    // nothing.
    EXPECT_EQ(value("SELECT CAST(PRO_MEDIA AS VARCHAR(20)) FROM PRODUTORES WHERE PRO_CLIFOR = 10"), "12.35");
    EXPECT_EQ(std::stoll(writesSoFar()), std::stoll(written) + 1);
    EXPECT_EQ(changeNumber("PRODUTORES", "PRO_CLIFOR", 13), producer13);
    EXPECT_TRUE(row("SELECT 1 FROM PRODUTORES WHERE PRO_CLIFOR = 999").empty());
    EXPECT_NE(std::find(host.progress.begin(), host.progress.end(), "0000000010 (MEDIA)"),
              host.progress.end());
}

// An ERP database in UTF8 may hold text that Windows-1252 cannot: the
// standing connections ask for no character set, so the query still reads
// it, and the run copies every route (what Windows-1252 cannot hold becomes
// "?"), instead of failing on that row at every run.
TEST_F(SyncRun, AnErpInUtf8IsReadWhateverItsTextHolds)
{
    host.ConexaoTarvell.close();
    erp.execScript("DROP TABLE ROTAS;\n"
                   "CREATE TABLE ROTAS (ROT_CODIGO INTEGER NOT NULL PRIMARY KEY, "
                   "ROT_DESCRICAO VARCHAR(100) CHARACTER SET UTF8);\n"
                   "INSERT INTO ROTAS VALUES (7, _UTF8 'Linha ✓ São João');\n"
                   "INSERT INTO ROTAS VALUES (8, _UTF8 'Vale');\n");
    EXPECT_NO_THROW(sync.S2Click());
    EXPECT_EQ(value("SELECT ROT_DESCRICAO FROM ROTAS WHERE ROT_CODIGO = 7"), "Linha ? São João");
    EXPECT_EQ(value("SELECT ROT_DESCRICAO FROM ROTAS WHERE ROT_CODIGO = 8"), "Vale");
    EXPECT_EQ(logLines().back(), kFim);
}

TEST_F(SyncRun, SwitchedOffOrBusyARunIsRefused)
{
    integracao(false);
    const std::string written = writesSoFar();
    sync.S2Click();
    EXPECT_EQ(logLines(), (std::vector<std::string>{kDesligada}));
    EXPECT_EQ(writesSoFar(), written);
    EXPECT_TRUE(host.syncBusy.empty());

    // A click that arrives while the run lets events through meets the busy
    // mark; the run itself goes on to its end.
    integracao(true);
    int clicks = 0;
    host.onEvents = [&] {
        ++clicks;
        EXPECT_TRUE(sync.ocupado());
        sync.S2Click();
    };
    sync.S2Click();
    EXPECT_EQ(clicks, 1);
    EXPECT_EQ(logLines(), (std::vector<std::string>{kInicio, kOcupado, "ROTAS", "PRODUTORES", kFim}));
    EXPECT_EQ(host.syncBusy, (std::vector<bool>{true, false}));
    EXPECT_EQ(host.contador, 3);
    EXPECT_EQ(value("SELECT ROT_DESCRICAO FROM ROTAS WHERE ROT_CODIGO = 1"), "Centro");
}

TEST_F(SyncRun, AnExitDuringARunEndsItAtTheNextRow)
{
    integracao(true);
    const std::string written = writesSoFar();
    host.onEvents = [&] { host.exit = true; };
    EXPECT_NO_THROW(sync.S2Click());
    EXPECT_EQ(logLines(),
              (std::vector<std::string>{kInicio, "ROTAS",
                                        "Sincronização interrompida: a aplicação está sendo encerrada."}));
    EXPECT_FALSE(sync.ocupado());
    EXPECT_EQ(host.syncBusy, (std::vector<bool>{true, false}));
    EXPECT_EQ(writesSoFar(), written) << "stopped before its first row was written";
}

TEST_F(SyncRun, AFailedRunClearsTheBusyMarkAndTheNextRunWorks)
{
    auto failingRun = [&](const char* what) {
        host.syncBusy.clear();
        EXPECT_THROW(sync.S2Click(), std::exception) << what;
        EXPECT_FALSE(sync.ocupado()) << what;
        EXPECT_EQ(host.syncBusy, (std::vector<bool>{true, false})) << what;
    };

    // Before the first start of the service the ERP connection holds nothing.
    host.ConexaoTarvell.configure({});
    failingRun("unconfigured ERP connection");
    EXPECT_EQ(host.contador, 1);

    host.ConexaoTarvell.configure({erp.connectionString(), erp.user(), erp.password(), ""});
    sync.S2Click();
    EXPECT_EQ(value("SELECT CLI_RAZAO FROM PRODUTORES WHERE PRO_CLIFOR = 10"), "Sítio DÁvila");

    // An ERP query that fails at the averages: the counter is not reset, so
    // the next run tries them again.
    host.ConexaoTarvell.close(); // lets the table go
    erp.execScript("DROP TABLE COL001;");
    host.contador = 10;
    failingRun("ERP without COL001");
    EXPECT_EQ(host.contador, 11);
    erp.execScript("CREATE TABLE COL001 (PRO_CLIFOR INTEGER NOT NULL, PRO_MEDIA NUMERIC(15,2));\n"
                   "INSERT INTO COL001 VALUES (10, 7.5);");
    host.ConexaoTarvell.close();
    logLines();
    sync.S2Click();
    EXPECT_EQ(logLines(),
              (std::vector<std::string>{kInicio, "ROTAS", "PRODUTORES", "CALCULANDO MÉDIA", kFim}));
    EXPECT_EQ(host.contador, 0);
    EXPECT_EQ(value("SELECT CAST(PRO_MEDIA AS VARCHAR(20)) FROM PRODUTORES WHERE PRO_CLIFOR = 10"), "7.50");

    // The service stopped in the middle of a run: the run ends instead of
    // reopening the connections.
    // The stop comes once the rows are under way.
    host.progress.clear();
    std::function<void()> stopService = [&] {
        if (host.progress.empty()) {
            host.onEvents = stopService;
            return;
        }
        host.ConexaoTarvell.close();
        host.ConexaoTemp.close();
    };
    host.onEvents = stopService;
    failingRun("connections closed during the run");
    EXPECT_FALSE(host.ConexaoTemp.connected());
}

// Each run in the status model with the rows read from the ERP and written
// per table; a failed run ends there too, with one closing log line and its
// error rethrown; a refused start is no run.
TEST_F(SyncRun, RunsAreCountedPerTableAndAFailedOneHasItsClosingLine)
{
    base::StatusModel status;
    host.status = &status;
    using Tabelas = std::vector<std::tuple<std::string, std::uint64_t, std::uint64_t>>;
    auto tabelas = [](const base::ExecucaoDeSincronizacao& e) {
        Tabelas t;
        for (const base::TabelaSincronizada& x : e.tabelas)
            t.emplace_back(x.tabela, x.lidas, x.gravadas);
        return t;
    };

    // Routes 1 and 2 new, 3 in another case; producers 10 and 15 new, 14 in
    // another case, 13 the same (11 and 12 are not read: no city, no entry).
    sync.S2Click();
    // Nothing differs any more.
    sync.S2Click();
    EXPECT_EQ(logLines(), (std::vector<std::string>{kInicio, "ROTAS", "PRODUTORES", kFim, kInicio, "ROTAS",
                                                    "PRODUTORES", kFim}));
    base::StatusSnapshot s = status.snapshot();
    ASSERT_EQ(s.sincronizacoes.size(), 2u);
    EXPECT_EQ(s.sincronizacoes[0].numero, 1u);
    EXPECT_EQ(tabelas(s.sincronizacoes[0]), (Tabelas{{"ROTAS", 3, 3}, {"PRODUTORES", 4, 3}}));
    EXPECT_EQ(tabelas(s.sincronizacoes[1]), (Tabelas{{"ROTAS", 3, 0}, {"PRODUTORES", 4, 0}}));
    for (const base::ExecucaoDeSincronizacao& e : s.sincronizacoes) {
        EXPECT_FALSE(e.emAndamento);
        EXPECT_TRUE(e.sucesso);
        EXPECT_EQ(e.erro, "");
        EXPECT_LE(e.inicio, e.fim);
    }

    // Refused: switched off, or busy (a click taken inside the run).
    integracao(false);
    sync.S2Click();
    integracao(true);
    host.onEvents = [&] { sync.S2Click(); };
    sync.S2Click();
    logLines();
    EXPECT_EQ(status.snapshot().sincronizacoes.size(), 3u);

    // An ERP connection that holds nothing (as before the first start) fails
    // the run at its first table.
    host.ConexaoTarvell.close();
    host.ConexaoTemp.close();
    host.ConexaoTarvell.configure({});
    std::string mensagem;
    try {
        sync.S2Click();
        ADD_FAILURE() << "the run did not fail";
    } catch (const std::exception& e) {
        mensagem = e.what();
    }
    ASSERT_FALSE(mensagem.empty());
    // The log puts the message's line breaks on one line.
    std::string umaLinha = mensagem;
    std::replace(umaLinha.begin(), umaLinha.end(), '\n', ' ');
    EXPECT_EQ(logLines(),
              (std::vector<std::string>{kInicio, "ROTAS",
                                        "Processo de busca por novos dados interrompido: " + umaLinha}));
    s = status.snapshot();
    ASSERT_EQ(s.sincronizacoes.size(), 4u);
    const base::ExecucaoDeSincronizacao& falha = s.sincronizacoes.back();
    EXPECT_FALSE(falha.emAndamento);
    EXPECT_FALSE(falha.sucesso);
    EXPECT_EQ(falha.erro, mensagem);
    EXPECT_TRUE(falha.tabelas.empty()) << "nothing was read";
    ASSERT_FALSE(s.erros.empty());
    EXPECT_EQ(s.erros.back().texto, "Processo de busca por novos dados interrompido: " + mensagem);

    // The application ending in the middle of a run: not a success, and no
    // second closing line beside its own.
    host.ConexaoTarvell.configure({erp.connectionString(), erp.user(), erp.password(), ""});
    host.ConexaoTemp.configure({coleta.connectionString(), coleta.user(), coleta.password(), ""});
    host.onEvents = [&] { host.exit = true; };
    sync.S2Click();
    EXPECT_EQ(logLines(),
              (std::vector<std::string>{kInicio, "ROTAS",
                                        "Sincronização interrompida: a aplicação está sendo encerrada."}));
    s = status.snapshot();
    EXPECT_FALSE(s.sincronizacoes.back().sucesso);
    EXPECT_FALSE(s.sincronizacoes.back().emAndamento);
    EXPECT_EQ(tabelas(s.sincronizacoes.back()), (Tabelas{{"ROTAS", 3, 0}}));
}

// The service stopped, or restarted as after a save, while a run hands
// control back: the run ends with an error at once and writes nothing more,
// even where the connections are open again (and lead to another collection
// database).
TEST_F(SyncRun, AStopOrARestartDuringARunEndsItWithAnError)
{
    TestDatabase outra{TestDatabase::Kind::Coleta};
    struct Case
    {
        const char* what;
        const char* at; // the table whose rows are under way
        bool reopen;
        bool otherDatabase;
    };
    const Case cases[] = {
        {"stop at a route", "(ROTAS)", false, false},
        {"restart at a route", "(ROTAS)", true, false},
        {"restart onto another collection database at a producer", "(PRODUTORES)", true, true},
        {"restart at an average", "(MEDIA)", true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        // Every row differs again, so that the run would write each of them.
        reader.execute(db::Sql("UPDATE ROTAS SET ROT_DESCRICAO = 'x'"));
        reader.execute(db::Sql("UPDATE PRODUTORES SET CLI_RAZAO = 'x', PRO_MEDIA = 1"));
        host.contador = 10;
        host.progress.clear();
        host.syncBusy.clear();
        logLines();

        std::string writtenAtRestart;
        std::function<void()> operatorHand = [&] {
            const bool under = !host.progress.empty() && host.progress.back().ends_with(c.at);
            if (!under) {
                host.onEvents = operatorHand;
                return;
            }
            writtenAtRestart = writesSoFar();
            ++host.geracao;
            host.ConexaoTarvell.close();
            host.ConexaoTemp.close();
            if (c.reopen) {
                const TestDatabase& destino = c.otherDatabase ? outra : coleta;
                host.ConexaoTarvell.configure({erp.connectionString(), erp.user(), erp.password()});
                host.ConexaoTemp.configure({destino.connectionString(), destino.user(), destino.password()});
                host.ConexaoTarvell.open();
                host.ConexaoTemp.open();
            }
        };
        host.onEvents = operatorHand;

        EXPECT_THROW(sync.S2Click(), db::DbError);

        ASSERT_FALSE(writtenAtRestart.empty()) << "the run never reached " << c.at;
        EXPECT_EQ(writesSoFar(), writtenAtRestart) << "nothing written after the restart";
        const std::vector<std::string> log = logLines();
        EXPECT_EQ(std::count(log.begin(), log.end(), kFim), 0);
        EXPECT_FALSE(sync.ocupado());
        EXPECT_EQ(host.syncBusy, (std::vector<bool>{true, false}));
        EXPECT_EQ(outra.queryText("SELECT COUNT(*) FROM ROTAS;") +
                      outra.queryText("SELECT COUNT(*) FROM PRODUTORES;"),
                  "00");

        // The next run works on what the service set up.
        host.onEvents = nullptr;
        if (!c.reopen || c.otherDatabase) {
            host.ConexaoTarvell.configure({erp.connectionString(), erp.user(), erp.password()});
            host.ConexaoTemp.configure({coleta.connectionString(), coleta.user(), coleta.password()});
        }
        EXPECT_NO_THROW(sync.S2Click());
    }
}

} // namespace
} // namespace quelvor::sync
