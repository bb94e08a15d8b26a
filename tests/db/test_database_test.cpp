// The scratch-database fixture and the schema it loads: both databases come
// up with every table and column the server's statements name, the demo data
// of the two agree with each other, the collection database keeps its change
// numbers itself, and re-sent loads and collections replace the stored row.

#include "tests/support/TestDatabase.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

namespace quelvor::test {
namespace {

using Kind = TestDatabase::Kind;

// One SELECT per table naming every column that the server reads or writes;
// it fails when any of them is missing.
const char* const kColetaColumns = R"(
SELECT FIRST 0 SES_ID, LIBERADO, EMPRESACERTA, VERSAOCORRETA, IP FROM SESSOESATIVAS;
SELECT FIRST 0 LOG_ID, LOG_DISPOSITIVO, DATAHORA, LOG_LATITUDE, LOG_LONGITUDE, LOG_IP FROM LOG_CONEXAO;
SELECT FIRST 0 PAR_ID, PAR_EMPRESA, PAR_VERSAOAPK FROM PARAMETROS;
SELECT FIRST 0 DIS_ID, DIS_LIBERADO, DIS_NROTANQUES, DIS_VALIDAMEDIA, DIS_PERCENTUALDIFERENCA, DIS_IGNORAROTA,
    DIS_ROTAS, DIS_DATAHORACONEXAO, DIS_VERSAOAPK FROM DISPOSITIVOS;
SELECT FIRST 0 PAR_CAMPO, PAR_VALOR, SEQUENCIALALTERACAO FROM PARAMETROSESPECIAIS;
SELECT FIRST 0 ROT_CODIGO, ROT_DESCRICAO, SEQUENCIALALTERACAO FROM ROTAS;
SELECT FIRST 0 PRO_CLIFOR, CLI_RAZAO, PRO_LATITUDE, PRO_LONGITUDE, PRO_ENDERECO, PRO_BAIRRO, PRO_CIDADE, PRO_MEDIA,
    PRO_ROTA, PRO_ORDEM, SEQUENCIALALTERACAO, PRO_ATIVO, ID_OUTROSISTEMA FROM PRODUTORES;
SELECT FIRST 0 USU_NOME, USU_SENHA, USU_MASTER, SEQUENCIALALTERACAO FROM USUARIOS;
SELECT FIRST 0 MOT_ID, MOT_DESCRICAO, SEQUENCIALALTERACAO FROM MOTIVO_NAOCOLETA;
SELECT FIRST 0 CAR_CODIGO, CAR_DATA, CAR_DATAHORAINICIO, CAR_DATAHORAFIM, CAR_TOTALCARGA, CAR_ID_APARELHO,
    CAR_IDORIGINAL, CAR_FINALIZADO, CAR_TRANSMITIDO, CAR_USUARIO, CAR_ROTA, CAR_NUMEROCOLETAS,
    CAR_DATAHORATRANSMISSAO, CAR_KMINICIAL, CAR_KMFINAL, CAR_DISTANCIAPERCORRIDA FROM CARGAS;
SELECT FIRST 0 CAR_CODIGO, COL_SEQU, COL_PRODUTOR, COL_LATITUDE, COL_LONGITUDE, COL_DATAHORA, COL_QTDE,
    COL_EXPORTADO, CAR_IDORIGINAL, COL_USUARIO, COL_IDORIGINAL, COL_CANCELADA, COL_DATAHORATRANSMISSAO,
    PRO_LATITUDE, PRO_LONGITUDE, COL_TANQUE, COL_TESTEACIDEZ, COL_TEMPERATURA, COL_NROAMOSTRA, COL_COLETOU,
    COL_MOTIVONAOCOLETA, COL_AMOSTRA, COL_RESULTADOALIZAROL FROM COLETAS;
SELECT FIRST 0 RAS_ID, RAS_LATITUDE, RAS_LONGITUDE, RAS_DATAHORA, RAS_DATAHORARECEBIMENTO, RAS_DISPOSITIVO,
    RAS_CARGAABERTA, RAS_VELOCIDADE, RAS_DISTANCIA, RAS_PRECISAO FROM RASTREAMENTO;
SELECT FIRST 0 GEN_ID(GEN_LOG, 0), GEN_ID(GEN_RASTREAMENTO, 0), GEN_ID(GEN_CARGAS, 0) FROM RDB$DATABASE;
)";

// The ERP's producers query as the synchronisation sends it, and the other
// objects it reads.
const char* const kTarvellProducersQuery =
    "SELECT PRO_CLIFOR, COALESCE(B.CLI_RAZAO,A.CLI_RAZAO,'') AS CLI_RAZAO, COALESCE(PRO_LATITUDE,0) AS "
    "PRO_LATITUDE , COALESCE(PRO_LONGITUDE,0) as PRO_LONGITUDE, COALESCE(CLI_ENDERECO,'') AS CLI_ENDERECO, "
    "COALESCE(CLI_BAIRRO,'') AS CLI_BAIRRO,CID_NOME, COALESCE(PRO_TRANSPORTADOR,0) AS "
    "PRO_TRANSPORTADOR,COALESCE(PRO_ATIVO,0) AS PRO_ATIVO,COALESCE(PRO_ORDEM,0) AS PRO_ORDEM FROM PRODUTORES "
    "A,CLI_FOR B,  CIDADES C WHERE A.PRO_CLIFOR = B.CLI_CODIGO AND B.CLI_CIDADE = C.CID_CODIGO ORDER BY "
    "PRO_CLIFOR";

const std::string kTarvellColumns = std::string(R"(
SELECT FIRST 0 ROT_CODIGO, ROT_DESCRICAO FROM ROTAS;
SELECT FIRST 0 PRO_CLIFOR, PRO_MEDIA FROM COL001;
SELECT FIRST 0 GEN_ID(DESCARGAS_DES_CODIGO_GEN, 0) FROM RDB$DATABASE;
SELECT FIRST 0 * FROM ()") + kTarvellProducersQuery +
                                    ");\n";

TEST(TestDatabaseTest, CreatesEachKindWithItsObjectsAndDropsItAgain)
{
    struct Case
    {
        Kind kind;
        bool demoData;
        std::string columns;
        std::string countQuery;
        std::string expectedCount;
    };
    const std::vector<Case> cases = {
        {Kind::Coleta, false, kColetaColumns, "SELECT COUNT(*) FROM PRODUTORES;", "0"},
        {Kind::Coleta, true, kColetaColumns, "SELECT COUNT(*) FROM PRODUTORES;", "10"},
        {Kind::Tarvell, false, kTarvellColumns, "SELECT COUNT(*) FROM PRODUTORES;", "0"},
        {Kind::Tarvell, true, kTarvellColumns, "SELECT COUNT(*) FROM PRODUTORES;", "11"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.kind == Kind::Coleta ? "coleta" : "tarvell") +
                     (c.demoData ? " with demo data" : " empty"));
        std::filesystem::path file;
        std::filesystem::path folder;
        {
            TestDatabase db(c.kind, c.demoData);
            file = db.filePath();
            folder = file.parent_path();
            EXPECT_EQ(db.connectionString(), "localhost:" + db.filePath());
            EXPECT_EQ(db.user(), "KORVA");
            EXPECT_EQ(db.password(), "##738460");
            EXPECT_TRUE(std::filesystem::exists(file));
            EXPECT_NO_THROW(db.execScript(c.columns));
            EXPECT_EQ(db.queryText(c.countQuery), c.expectedCount);
            // Text columns take the WIN1252 default, so Portuguese letters
            // survive; a NONE database would hand the bytes back unchanged
            // but refuse them at the WIN1252 attachments the server uses.
            EXPECT_EQ(db.queryText("SELECT RDB$CHARACTER_SET_NAME FROM RDB$DATABASE;"), "WIN1252");
        }
        EXPECT_FALSE(std::filesystem::exists(file));
        EXPECT_FALSE(std::filesystem::exists(folder));
    }
}

TEST(TestDatabaseTest, ScriptErrorsStopTheScriptAndCarryIsqlsMessage)
{
    TestDatabase db(Kind::Coleta);
    try {
        db.execScript("INSERT INTO ROTAS (ROT_CODIGO, ROT_DESCRICAO) VALUES (1, 'ANTES');\n"
                      "SELECT NADA FROM TABELA_QUE_NAO_EXISTE;\n"
                      "INSERT INTO ROTAS (ROT_CODIGO, ROT_DESCRICAO) VALUES (2, 'DEPOIS');\n");
        FAIL() << "a script with an unknown table ran through";
    } catch (const std::runtime_error& e) {
        EXPECT_NE(std::string(e.what()).find("TABELA_QUE_NAO_EXISTE"), std::string::npos) << e.what();
    }
    EXPECT_EQ(db.queryText("SELECT COUNT(*) FROM ROTAS WHERE ROT_CODIGO = 2;"), "0");
    EXPECT_THROW(db.queryText("SELECT COUNT(*) FROM TABELA_QUE_NAO_EXISTE;"), std::runtime_error);
}

TEST(TestDatabaseTest, TextRoundTripsThroughTheWin1252Columns)
{
    TestDatabase db(Kind::Coleta, true);
    EXPECT_EQ(db.queryText("SELECT CLI_RAZAO FROM PRODUTORES WHERE PRO_CLIFOR IN (1001, 1010) ORDER BY 1;"),
              "JOSÉ CARLOS D'AVILA\nSÍTIO BOA ESPERANÇA");
    EXPECT_EQ(db.queryText("SELECT ROT_DESCRICAO FROM ROTAS WHERE ROT_CODIGO = 3;"),
              "LINHA 03 - SERRA GAÚCHA");
}

// The handhelds fetch catalogue rows above the highest change number they
// hold, so every insert and every update must take a number above all those
// handed out before, in every catalogue table, whatever the writer puts there.
TEST(ColetaSchemaTest, CatalogueWritesRaiseTheChangeNumber)
{
    struct Case
    {
        std::string table;
        std::string insert;
        std::string update;
        std::string key;
    };
    const std::vector<Case> cases = {
        {"ROTAS",
         "INSERT INTO ROTAS (ROT_CODIGO, ROT_DESCRICAO, SEQUENCIALALTERACAO) VALUES (90, 'NOVA', 0);",
         "UPDATE ROTAS SET ROT_DESCRICAO = 'MUDOU' WHERE ROT_CODIGO = 90;", "ROT_CODIGO = 90"},
        {"PRODUTORES",
         "UPDATE OR INSERT INTO PRODUTORES(PRO_CLIFOR, CLI_RAZAO, PRO_LATITUDE, PRO_LONGITUDE, PRO_ENDERECO, "
         "PRO_BAIRRO, PRO_CIDADE, PRO_ROTA,PRO_ATIVO,PRO_ORDEM)VALUES(9090, 'NOVO', -29.5, -51.25, 'R', 'B', "
         "'C', "
         "'3', 1, 7 )",
         "UPDATE PRODUTORES SET PRO_MEDIA = 12.5 WHERE PRO_CLIFOR = 9090 AND PRO_MEDIA <> 12.5;",
         "PRO_CLIFOR = 9090"},
        {"USUARIOS", "INSERT INTO USUARIOS (USU_NOME, USU_SENHA, USU_MASTER) VALUES ('NOVO', '9', 'N');",
         "UPDATE USUARIOS SET USU_SENHA = '8' WHERE USU_NOME = 'NOVO';", "USU_NOME = 'NOVO'"},
        {"MOTIVO_NAOCOLETA", "INSERT INTO MOTIVO_NAOCOLETA (MOT_ID, MOT_DESCRICAO) VALUES (90, 'NOVO');",
         "UPDATE MOTIVO_NAOCOLETA SET MOT_DESCRICAO = 'MUDOU' WHERE MOT_ID = 90;", "MOT_ID = 90"},
        {"PARAMETROSESPECIAIS",
         "UPDATE OR INSERT INTO PARAMETROSESPECIAIS(PAR_CAMPO, PAR_VALOR)VALUES('NOVO','S')",
         "UPDATE OR INSERT INTO PARAMETROSESPECIAIS(PAR_CAMPO, PAR_VALOR)VALUES('NOVO','N')",
         "PAR_CAMPO = 'NOVO'"},
    };

    TestDatabase db(Kind::Coleta, true);
    const std::string highestOfAll = "SELECT MAX(S) FROM (SELECT MAX(SEQUENCIALALTERACAO) S FROM ROTAS "
                                     "UNION ALL SELECT MAX(SEQUENCIALALTERACAO) FROM PRODUTORES "
                                     "UNION ALL SELECT MAX(SEQUENCIALALTERACAO) FROM USUARIOS "
                                     "UNION ALL SELECT MAX(SEQUENCIALALTERACAO) FROM MOTIVO_NAOCOLETA "
                                     "UNION ALL SELECT MAX(SEQUENCIALALTERACAO) FROM PARAMETROSESPECIAIS);";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.table);
        const std::string ownNumber = "SELECT SEQUENCIALALTERACAO FROM " + c.table + " WHERE " + c.key + ";";
        const long before = std::stol(db.queryText(highestOfAll));

        db.execScript(c.insert + (c.insert.back() == ';' ? "\n" : ";\n"));
        const long inserted = std::stol(db.queryText(ownNumber));
        EXPECT_GT(inserted, before);

        db.execScript(c.update + (c.update.back() == ';' ? "\n" : ";\n"));
        const long updated = std::stol(db.queryText(ownNumber));
        EXPECT_GT(updated, inserted);
        EXPECT_EQ(std::to_string(updated), db.queryText(highestOfAll));
    }
}

TEST(ColetaSchemaTest, NewProducersStartWithAnAverageTheAverageUpdateCanChange)
{
    TestDatabase db(Kind::Coleta);
    db.execScript(
        "UPDATE OR INSERT INTO PRODUTORES(PRO_CLIFOR, CLI_RAZAO, PRO_LATITUDE, PRO_LONGITUDE, "
        "PRO_ENDERECO, PRO_BAIRRO, PRO_CIDADE, PRO_ROTA,PRO_ATIVO,PRO_ORDEM)VALUES(77, 'X', -29.123, "
        "-51.0456700, '', '', '', '1', 1, 1 );\n"
        "UPDATE PRODUTORES SET PRO_MEDIA = 130.25 WHERE PRO_CLIFOR = 77 AND PRO_MEDIA <> 130.25; \n");
    // The coordinates come in bare and are kept as the text of the number.
    EXPECT_EQ(
        db.queryText("SELECT PRO_MEDIA || '|' || PRO_LATITUDE || '|' || PRO_LONGITUDE FROM PRODUTORES;"),
        "130.25|-29.123|-51.0456700");
}

TEST(ColetaSchemaTest, ResentLoadsAndCollectionsReplaceTheStoredRow)
{
    // The statements as the handler builds them, with the date forms a
    // handheld may send.
    auto load = [](const std::string& data, const std::string& fim, const std::string& total,
                   const std::string& finalizado) {
        return "UPDATE OR INSERT INTO CARGAS (CAR_CODIGO, CAR_DATA, CAR_DATAHORAINICIO, CAR_DATAHORAFIM, "
               "CAR_TOTALCARGA, CAR_ID_APARELHO, CAR_IDORIGINAL,CAR_FINALIZADO, CAR_TRANSMITIDO, "
               "CAR_USUARIO, "
               "CAR_ROTA, CAR_NUMEROCOLETAS, CAR_DATAHORATRANSMISSAO, CAR_KMINICIAL, CAR_KMFINAL, "
               "CAR_DISTANCIAPERCORRIDA)VALUES(100001,'" +
               data + "' , '12/31/2026 06:30:00' , " + fim + " ," + total + " , 'DEMO-01' , 17 , '" +
               finalizado + "' , 'N', 'CARLOS' ,1,2, CURRENT_TIMESTAMP , 1200.4,1250.7 , 50.3);\n";
    };
    auto collection = [](const std::string& carga, const std::string& idOriginal, const std::string& quantity,
                         const std::string& when) {
        return "UPDATE OR INSERT INTO COLETAS (CAR_CODIGO, COL_SEQU, COL_PRODUTOR, "
               "COL_LATITUDE,COL_LONGITUDE,"
               "COL_DATAHORA,COL_QTDE,COL_EXPORTADO,CAR_IDORIGINAL,COL_USUARIO,COL_IDORIGINAL,COL_CANCELADA, "
               "COL_DATAHORATRANSMISSAO,PRO_LATITUDE, PRO_LONGITUDE,COL_TANQUE, "
               "COL_TESTEACIDEZ,COL_TEMPERATURA,"
               "COL_NROAMOSTRA, COL_COLETOU, COL_MOTIVONAOCOLETA,COL_AMOSTRA,COL_RESULTADOALIZAROL)VALUES(" +
               carga + ", 1 , 1001 , -29.1234 , -51.9456 , '" + when + "' ," + quantity +
               " , 'N' , 17,'CARLOS'," + idOriginal +
               ",'N', CURRENT_TIMESTAMP ,-29.1234567 , -51.9456789 , 1 , 'N' , 4.5,123456,1,0 , "
               "'ONeil 12' , 76);\n";
    };

    TestDatabase db(Kind::Coleta, true);

    db.execScript(load("12/31/2026", "null", "800.5", "N"));
    db.execScript("UPDATE CARGAS SET CAR_TRANSMITIDO = 'S';\n");
    db.execScript(load("2026-12-31 00:00:00", "'2026-12-31 11:45:00'", "1520", "S"));
    EXPECT_EQ(
        db.queryText("SELECT COUNT(*) || '|' || MAX(CAR_TOTALCARGA) || '|' || MAX(CAR_FINALIZADO) || '|' "
                     "|| MAX(CAR_TRANSMITIDO) || '|' || MAX(CAR_DATAHORAFIM) FROM CARGAS;"),
        "1|1520.000|S|N|2026-12-31 11:45:00.0000");

    db.execScript(collection("100001", "301", "312.5", "12/31/2026 08:15:00"));
    db.execScript("UPDATE COLETAS SET COL_EXPORTADO = 'S';\n");
    db.execScript(collection("100001", "301", "330", "2026-12-31 08:16:00"));
    EXPECT_EQ(db.queryText("SELECT COUNT(*) || '|' || MAX(COL_QTDE) || '|' || MAX(COL_EXPORTADO) || '|' || "
                           "MAX(COL_DATAHORA) FROM COLETAS;"),
              "1|330.000|N|2026-12-31 08:16:00.0000");

    // Another collection of the same load, and the same handheld number in
    // another load (another handheld), are rows of their own.
    db.execScript(collection("100001", "302", "100", "12/31/2026 08:40:00"));
    db.execScript(collection("100002", "301", "90", "12/31/2026 09:00:00"));
    EXPECT_EQ(db.queryText("SELECT CAR_CODIGO || '/' || COL_IDORIGINAL FROM COLETAS ORDER BY 1;"),
              "100001/301\n100001/302\n100002/301");
}

TEST(DemoDataTest, CollectionDatabaseHoldsWhatTheSynchronisationWouldCopy)
{
    TestDatabase coleta(Kind::Coleta, true);
    TestDatabase tarvell(Kind::Tarvell, true);

    const std::string erpProducers = tarvell.queryText(
        std::string(
            "SELECT PRO_CLIFOR || '|' || CLI_RAZAO || '|' || PRO_LATITUDE || '|' || PRO_LONGITUDE || '|' "
            "|| CLI_ENDERECO || '|' || CLI_BAIRRO || '|' || CID_NOME || '|' || PRO_TRANSPORTADOR || '|' "
            "|| PRO_ATIVO || '|' || PRO_ORDEM FROM (") +
        kTarvellProducersQuery + ") WHERE PRO_CLIFOR <> 1011;");
    const std::string collectionProducers = coleta.queryText(
        "SELECT PRO_CLIFOR || '|' || CLI_RAZAO || '|' || PRO_LATITUDE || '|' || PRO_LONGITUDE || '|' || "
        "PRO_ENDERECO || '|' || PRO_BAIRRO || '|' || PRO_CIDADE || '|' || PRO_ROTA || '|' || PRO_ATIVO || "
        "'|' || "
        "PRO_ORDEM FROM PRODUTORES ORDER BY PRO_CLIFOR;");
    EXPECT_EQ(erpProducers, collectionProducers);

    EXPECT_EQ(tarvell.queryText("SELECT ROT_CODIGO || '|' || ROT_DESCRICAO FROM ROTAS ORDER BY 1;"),
              coleta.queryText("SELECT ROT_CODIGO || '|' || ROT_DESCRICAO FROM ROTAS ORDER BY 1;"));
    EXPECT_EQ(tarvell.queryText("SELECT PRO_CLIFOR || '|' || PRO_MEDIA FROM COL001 WHERE PRO_CLIFOR <> 1011 "
                                "ORDER BY 1;"),
              coleta.queryText("SELECT PRO_CLIFOR || '|' || PRO_MEDIA FROM PRODUTORES ORDER BY 1;"));

    // The demo handhelds and the company the handshake checks.
    EXPECT_EQ(
        coleta.queryText("SELECT PAR_EMPRESA || '|' || PAR_VERSAOAPK FROM PARAMETROS WHERE PAR_ID = 1;"),
        "1|1.0.0");
    EXPECT_EQ(coleta.queryText("SELECT DIS_ID || '|' || DIS_LIBERADO || '|' || COALESCE(DIS_ROTAS, '') FROM "
                               "DISPOSITIVOS ORDER BY DIS_ID;"),
              "DEMO-01|S|1;2\nDEMO-02|N|");
    // ERP load keys start above the ones in use.
    EXPECT_EQ(tarvell.queryText("SELECT GEN_ID(DESCARGAS_DES_CODIGO_GEN, 1) FROM RDB$DATABASE;"), "100001");
}

} // namespace
} // namespace quelvor::test
