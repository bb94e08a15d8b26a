// Catalogue download ("1001" to "1005") against a real collection database,
// and the row encoding against a real table that holds every column type.
#include "ProtocolHarness.h"

#include "protocol/RowEncoding.h"
#include "tests/support/ScopedLocale.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace quelvor::protocol::harness {
namespace {

using test::TestDatabase;

// The change numbers come from one sequence shared by the five tables, so in
// a fresh database they follow the order of these statements. The update of
// route 10 moves it behind the others.
constexpr const char* kCatalogos = R"(
INSERT INTO ROTAS (ROT_CODIGO, ROT_DESCRICAO) VALUES (10, 'Rota Norte');
INSERT INTO ROTAS (ROT_CODIGO, ROT_DESCRICAO) VALUES (20, 'Rota Sul');
INSERT INTO ROTAS (ROT_CODIGO, ROT_DESCRICAO) VALUES (5, 'Rota d''Oeste');
UPDATE ROTAS SET ROT_DESCRICAO = 'Rota Norte Nova' WHERE ROT_CODIGO = 10;
INSERT INTO PRODUTORES (PRO_CLIFOR, CLI_RAZAO, PRO_LATITUDE, PRO_LONGITUDE, PRO_ENDERECO, PRO_BAIRRO,
    PRO_CIDADE, PRO_MEDIA, PRO_ROTA, PRO_ORDEM, PRO_ATIVO, ID_OUTROSISTEMA)
    VALUES (101, 'Fazenda "Boa" Vista', '-23.55', '-46.63', 'Rua A, 10', 'Centro', 'Lavras', 1234.50, 20, 1, 1, 900);
INSERT INTO PRODUTORES (PRO_CLIFOR) VALUES (102);
INSERT INTO USUARIOS (USU_NOME, USU_SENHA, USU_MASTER) VALUES ('JOAO', '12''34', 'S');
INSERT INTO MOTIVO_NAOCOLETA (MOT_ID, MOT_DESCRICAO) VALUES (1, 'Tanque cheio');
INSERT INTO MOTIVO_NAOCOLETA (MOT_ID, MOT_DESCRICAO) VALUES (2, 'Produtor ausente');
INSERT INTO PARAMETROSESPECIAIS (PAR_CAMPO, PAR_VALOR) VALUES ('INTEGRATARVELL', 'N');
)";

struct Linha
{
    int sequencia;
    std::vector<std::string> campos;
};

struct Catalogo
{
    std::string codigo;
    std::string tabela;
    std::vector<Linha> linhas; // in the order of their change numbers
};

const std::vector<Catalogo>& catalogos()
{
    static const std::vector<Catalogo> c = {
        {"1001",
         "001",
         {{2, {"20", "Rota Sul", "2"}}, {3, {"5", "Rota dOeste", "3"}}, {4, {"10", "Rota Norte Nova", "4"}}}},
        {"1002",
         "002",
         {{5,
           {"101", "Fazenda Boa Vista", "-23.55", "-46.63", "Rua A, 10", "Centro", "Lavras", "1234.5", "20",
            "1", "5", "1", "900"}},
          {6, {"102", " ", " ", " ", " ", " ", " ", "0", " ", " ", "6", " ", " "}}}},
        {"1003", "003", {{7, {"JOAO", "1234", "S", "7"}}}},
        {"1004", "004", {{8, {"1", "Tanque cheio", "8"}}, {9, {"2", "Produtor ausente", "9"}}}},
        {"1005", "005", {{10, {"INTEGRATARVELL", "N", "10"}}}},
    };
    return c;
}

// The header, the row lines above `acima` and the end line.
std::vector<std::string> esperado(const Catalogo& c, int acima)
{
    std::vector<std::string> out;
    for (const Linha& l : c.linhas) {
        if (l.sequencia <= acima)
            continue;
        std::vector<std::string> campos{"3" + c.tabela};
        campos.insert(campos.end(), l.campos.begin(), l.campos.end());
        out.push_back(resposta(campos));
    }
    out.insert(out.begin(), resposta({"2" + c.tabela, std::to_string(out.size())}));
    out.push_back(kFim);
    return out;
}

TEST(CatalogueDownload, EachCatalogueWholeAndFiltered)
{
    TestDatabase base(TestDatabase::Kind::Coleta);
    base.execScript(kCatalogos);
    SessaoLiberada sessao(base);

    for (const Catalogo& c : catalogos()) {
        SCOPED_TRACE(c.codigo);
        // Fields 0 to 3 only, and field 4 without the trailing separator (five
        // fields): the whole table. Field 4 with the trailing separator: only
        // the rows changed after it.
        EXPECT_EQ(sessao.envia(linha({c.codigo, "H1", "-23.5", "-46.6"})).linhas, esperado(c, 0));
        EXPECT_EQ(sessao.envia(linha({c.codigo, "H1", "-23.5", "-46.6", "7"})).linhas, esperado(c, 0));
        for (int acima : {0, 3, 5, 7, 9, 99}) {
            SCOPED_TRACE(acima);
            const Resposta r =
                sessao.envia(linha({c.codigo, "H1", "-23.5", "-46.6", std::to_string(acima), ""}));
            EXPECT_EQ(r.linhas, esperado(c, acima));
            EXPECT_FALSE(r.abandonada);
        }
    }

    // Every line the handheld gets is in the log too, after "Devolvendo:".
    const Resposta r = sessao.envia(linha({"1001", "H1", "-23.5", "-46.6"}));
    const std::vector<std::string> devolvidas = comecamCom(r.log, "Devolvendo:");
    ASSERT_EQ(devolvidas.size(), r.linhas.size());
    for (size_t i = 0; i < r.linhas.size(); ++i)
        EXPECT_EQ(devolvidas[i], "Devolvendo:" + r.linhas[i]);

    // The users' passwords reach the handheld; the log shows them masked.
    const Resposta usuarios = sessao.envia(linha({"1003", "H1", "-23.5", "-46.6"}));
    ASSERT_GE(usuarios.linhas.size(), 2u);
    EXPECT_EQ(usuarios.linhas[1], resposta({"3003", "JOAO", "1234", "S", "7"}));
    const std::vector<std::string> noLog = comecamCom(usuarios.log, "Devolvendo:3003");
    ASSERT_EQ(noLog.size(), usuarios.linhas.size() - 2);
    EXPECT_EQ(noLog[0], "Devolvendo:" + resposta({"3003", "JOAO", "***", "S", "7"}));
    for (const std::string& l : usuarios.log)
        EXPECT_EQ(l.find("1234"), std::string::npos) << l;
}

TEST(CatalogueDownload, SequenceNumberIsBoundAsABareValue)
{
    TestDatabase base(TestDatabase::Kind::Coleta);
    base.execScript(kCatalogos);
    SessaoLiberada sessao(base);
    const Catalogo& rotas = catalogos()[0];
    const std::string statement = "SELECT ROT_CODIGO, ROT_DESCRICAO, SEQUENCIALALTERACAO FROM ROTAS  WHERE "
                                  "SEQUENCIALALTERACAO > ";

    struct Caso
    {
        std::string campo4;
        bool falha;
        int acima; // when it does not fail
    };
    const std::vector<Caso> casos = {
        {" 3 ", false, 3},     // blanks around a number are allowed
        {"null", false, 99},   // compares with NULL: no row passes
        {"abc", true, 0},      // letters
        {"", true, 0},         // an empty field 4 in a line of six fields
        {"3,5", true, 0},      // a decimal comma
        {"3 OR 1=1", true, 0}, // nothing but the value reaches the statement
        // compared as the number the handheld wrote, as the literal would be
        {"2.5", false, 2},
        {"2.7", false, 2},
        {"2.999", false, 2},
        {"3.0", false, 3},
        {"3e0", false, 3},
        {"3000000000", false, 99}, // beyond 32 bits: no row, and the connection stays
        {"-5", false, 0},
        {"1e400", true, 0}, // refused as the literal is
    };
    for (const Caso& c : casos) {
        SCOPED_TRACE("field 4: [" + c.campo4 + "]");
        const Resposta r = sessao.envia(linha({"1001", "H1", "-23.5", "-46.6", c.campo4, ""}));
        if (!c.falha) {
            EXPECT_FALSE(r.abandonada);
            EXPECT_EQ(r.linhas, esperado(rotas, c.acima));
            continue;
        }
        // The header with the count 0 still goes out; then the request is
        // abandoned: no row line, no end line, the connection ends.
        EXPECT_TRUE(r.abandonada);
        EXPECT_EQ(r.linhas, std::vector<std::string>{resposta({"2001", "0"})});
        const auto erros = comecamCom(r.log, "Erro na query: ");
        ASSERT_EQ(erros.size(), 1u);
        EXPECT_EQ(
            erros[0].rfind("Erro na query: " + statement + c.campo4 + " ORDER BY SEQUENCIALALTERACAO", 0), 0u)
            << erros[0];
    }
}

// The window switches the process to the operator's locale (a decimal comma
// under pt_BR); the handheld must get the same bytes as from the headless
// server. A database may hold an average as DOUBLE PRECISION.
TEST(CatalogueDownload, DoubleValuesGoOutTheSameUnderPtBr)
{
    TestDatabase base(TestDatabase::Kind::Coleta);
    base.execScript("ALTER TABLE PRODUTORES DROP PRO_MEDIA;\n"
                    "ALTER TABLE PRODUTORES ADD PRO_MEDIA DOUBLE PRECISION;\n"
                    "INSERT INTO PRODUTORES (PRO_CLIFOR, PRO_MEDIA) VALUES (1, 1.25);\n"
                    "INSERT INTO PRODUTORES (PRO_CLIFOR, PRO_MEDIA) VALUES (2, -1234567.5);\n"
                    "INSERT INTO PRODUTORES (PRO_CLIFOR, PRO_MEDIA) VALUES (3, 0.000000125);\n");
    SessaoLiberada sessao(base);
    const std::string pedido = linha({"1002", "H1", "-23.5", "-46.6"});

    const std::vector<std::string> underC = sessao.envia(pedido).linhas;
    ASSERT_EQ(underC.size(), 5u); // header, three rows, end
    auto media = [](const std::string& linhaDaResposta) {
        return TConexao::Split(linhaDaResposta, kStx).at(8);
    };
    EXPECT_EQ(media(underC[1]), "1.25");
    EXPECT_EQ(media(underC[2]), "-1234567.5");
    EXPECT_EQ(media(underC[3]), "1.25E-7");

    test::ScopedLocale ptBr(test::kPtBr);
    ASSERT_TRUE(ptBr.writesDecimalComma());
    EXPECT_EQ(sessao.envia(pedido).linhas, underC);
}

TEST(CatalogueDownload, EmptyTableGivesHeaderWithZero)
{
    TestDatabase base(TestDatabase::Kind::Coleta);
    SessaoLiberada sessao(base);
    for (const char* codigo : {"1001", "1002", "1003", "1004", "1005"}) {
        const Resposta r = sessao.envia(linha({codigo, "H1", "-23.5", "-46.6", ""}));
        EXPECT_EQ(r.linhas,
                  (std::vector<std::string>{resposta({std::string("2") + (codigo + 1), "0"}), kFim}));
    }
}

// A column of a kind the handheld cannot take goes out as a blank on every
// row; the operator gets one box for the whole download, not one per row.
TEST(CatalogueDownload, UnhandledKindOnEveryRowGivesOneBoxPerRequest)
{
    TestDatabase base(TestDatabase::Kind::Coleta);
    base.execScript("ALTER TABLE ROTAS ALTER COLUMN SEQUENCIALALTERACAO TYPE BIGINT;");
    base.execScript(kCatalogos);
    SessaoLiberada sessao(base);

    for (int vez = 0; vez < 2; ++vez) {
        SCOPED_TRACE(vez);
        const Resposta r = sessao.envia(linha({"1001", "H1", "-23.5", "-46.6"}));
        EXPECT_FALSE(r.abandonada);
        EXPECT_EQ(r.linhas, (std::vector<std::string>{
                                resposta({"2001", "3"}), resposta({"3001", "20", "Rota Sul", " "}),
                                resposta({"3001", "5", "Rota dOeste", " "}),
                                resposta({"3001", "10", "Rota Norte Nova", " "}), kFim}));
        EXPECT_EQ(r.caixas, std::vector<std::string>{"Tipo LargeInt - 2Nao tratado (3 valores afetados nesta "
                                                     "requisicao; os demais estao no log)"});
        EXPECT_EQ(std::count(r.log.begin(), r.log.end(), "LargeInt"), 3);
        EXPECT_TRUE(contem(r.log, "Tipo LargeInt - 3Nao tratado"));
        EXPECT_TRUE(contem(r.log, "Tipo LargeInt - 4Nao tratado"));
    }

    // A filtered download that meets a single value shows the box as it reads
    // for one value.
    const Resposta r = sessao.envia(linha({"1001", "H1", "-23.5", "-46.6", "3", ""}));
    EXPECT_EQ(r.caixas, std::vector<std::string>{"Tipo LargeInt - 4Nao tratado"});
}

// The unhandled values of each row are told of between the log line of the
// row before and the row's own, as the rows are sent; the header comes
// before all of them.
TEST(CatalogueDownload, UnhandledValuesKeepTheirPlaceAmongTheRowsLogLines)
{
    TestDatabase base(TestDatabase::Kind::Coleta);
    base.execScript("ALTER TABLE ROTAS ALTER COLUMN SEQUENCIALALTERACAO TYPE BIGINT;");
    base.execScript(kCatalogos);
    SessaoLiberada sessao(base);

    const Resposta r = sessao.envia(linha({"1001", "H1", "-23.5", "-46.6"}));
    ASSERT_FALSE(r.abandonada);
    const auto primeira = std::find(r.log.begin(), r.log.end(), "Devolvendo:" + resposta({"2001", "3"}));
    ASSERT_NE(primeira, r.log.end());
    EXPECT_EQ(std::vector<std::string>(primeira, r.log.end()),
              (std::vector<std::string>{
                  "Devolvendo:" + resposta({"2001", "3"}),
                  "LargeInt",
                  "Devolvendo:" + resposta({"3001", "20", "Rota Sul", " "}),
                  "LargeInt",
                  "Tipo LargeInt - 3Nao tratado",
                  "Devolvendo:" + resposta({"3001", "5", "Rota dOeste", " "}),
                  "LargeInt",
                  "Tipo LargeInt - 4Nao tratado",
                  "Devolvendo:" + resposta({"3001", "10", "Rota Norte Nova", " "}),
                  "Devolvendo:" + kFim,
              }));
}

// Catalogues of thousands of rows of every length: the header counts them,
// each row comes whole and in order, and each has its log line (the users'
// with the password masked, even where a name holds the separator).
TEST(CatalogueDownload, LargeCataloguesComeWholeWithTheirLogLines)
{
    TestDatabase base(TestDatabase::Kind::Coleta);
    constexpr int kRotas = 3000;
    constexpr int kUsuarios = 1500;
    std::string script;
    std::vector<std::string> rotas{resposta({"2001", std::to_string(kRotas)})};
    std::vector<std::string> rotasNoLog = {"Devolvendo:" + rotas[0]};
    for (int i = 0; i < kRotas; ++i) {
        std::string descricao = "Rota " + std::to_string(i) + " " + std::string(i % 80, char('a' + i % 26));
        std::string literal = "'" + descricao + (i % 11 == 0 ? "''" : "") + (i % 7 == 0 ? "ã" : "") + "'";
        if (i % 7 == 0)
            descricao += "ã";
        script += "INSERT INTO ROTAS (ROT_CODIGO, ROT_DESCRICAO) VALUES (" + std::to_string(i + 1) + ", " +
                  literal + ");\n";
        // The change numbers follow the inserts.
        rotas.push_back(resposta({"3001", std::to_string(i + 1), descricao, std::to_string(i + 1)}));
        rotasNoLog.push_back("Devolvendo:" + rotas.back());
    }
    std::vector<std::string> usuarios{resposta({"2003", std::to_string(kUsuarios)})};
    std::vector<std::string> usuariosNoLog = {"Devolvendo:" + usuarios[0]};
    for (int j = 0; j < kUsuarios; ++j) {
        const bool comStx = j % 13 == 0;
        const std::string nome = "USUARIO " + std::to_string(j) + (comStx ? kStx + "X" : "");
        const std::string senha = "S" + std::to_string(j * 7919 % 100000);
        const std::string master = j % 2 ? "S" : "N";
        const std::string sequencia = std::to_string(kRotas + j + 1);
        script += "INSERT INTO USUARIOS (USU_NOME, USU_SENHA, USU_MASTER) VALUES ('USUARIO " +
                  std::to_string(j) + "'" + (comStx ? " || ASCII_CHAR(2) || 'X'" : "") + ", '" + senha +
                  "', '" + master + "');\n";
        usuarios.push_back(resposta({"3003", nome, senha, master, sequencia}));
        usuariosNoLog.push_back("Devolvendo:" + resposta({"3003", nome, "***", master, sequencia}));
    }
    base.execScript(script);
    SessaoLiberada sessao(base);

    struct Caso
    {
        std::string codigo;
        std::vector<std::string> linhas;
        std::vector<std::string> noLog;
    };
    for (Caso& c : std::vector<Caso>{{"1001", rotas, rotasNoLog}, {"1003", usuarios, usuariosNoLog}}) {
        SCOPED_TRACE(c.codigo);
        c.linhas.push_back(kFim);
        c.noLog.push_back("Devolvendo:" + kFim);
        const Resposta r = sessao.envia(linha({c.codigo, "H1", "-23.5", "-46.6"}));
        EXPECT_FALSE(r.abandonada);
        ASSERT_EQ(r.linhas.size(), c.linhas.size());
        for (size_t n = 0; n < c.linhas.size(); ++n)
            ASSERT_EQ(r.linhas[n], c.linhas[n]) << "line " << n;
        const std::vector<std::string> noLog = comecamCom(r.log, "Devolvendo:");
        ASSERT_EQ(noLog.size(), c.noLog.size());
        for (size_t n = 0; n < c.noLog.size(); ++n)
            ASSERT_EQ(noLog[n], c.noLog[n]) << "log line " << n;
    }
}

// A SELECT that fails after rows came: none of them is sent, the header
// counts 0 and the request is abandoned, as when it fails at once.
TEST(CatalogueDownload, AStatementFailingHalfWaySendsNoRow)
{
    TestDatabase base(TestDatabase::Kind::Coleta);
    base.execScript("ALTER TABLE ROTAS DROP ROT_DESCRICAO;\n"
                    "ALTER TABLE ROTAS ADD ROT_DESCRICAO COMPUTED BY (CAST(100 / (ROT_CODIGO - 5) AS "
                    "VARCHAR(20)));\n");
    base.execScript("INSERT INTO ROTAS (ROT_CODIGO) VALUES (10);\n"
                    "INSERT INTO ROTAS (ROT_CODIGO) VALUES (20);\n"
                    "INSERT INTO ROTAS (ROT_CODIGO) VALUES (5);\n"
                    "INSERT INTO ROTAS (ROT_CODIGO) VALUES (30);\n");
    SessaoLiberada sessao(base);

    const Resposta r = sessao.envia(linha({"1001", "H1", "-23.5", "-46.6"}));
    EXPECT_TRUE(r.abandonada);
    EXPECT_EQ(r.linhas, std::vector<std::string>{resposta({"2001", "0"})});
    const auto erros = comecamCom(r.log, "Erro na query: ");
    ASSERT_EQ(erros.size(), 1u);
    EXPECT_EQ(
        erros[0].rfind("Erro na query: SELECT ROT_CODIGO, ROT_DESCRICAO, SEQUENCIALALTERACAO FROM ROTAS  "
                       "ORDER BY SEQUENCIALALTERACAO",
                       0),
        0u)
        << erros[0];
    EXPECT_NE(erros[0].find("divide"), std::string::npos) << erros[0];
    EXPECT_EQ(comecamCom(r.log, "Devolvendo:3001").size(), 0u);
}

// The row encoding on values as the database hands them over: one column per
// type, one row per case.
TEST(RowEncodingOnARealTable, EveryColumnType)
{
    TestDatabase base(TestDatabase::Kind::Coleta);
    base.execScript(R"(
CREATE TABLE TIPOS (
    ID INTEGER NOT NULL PRIMARY KEY,
    V_VARCHAR VARCHAR(50), V_CHAR CHAR(4), V_SMALLINT SMALLINT, V_INTEGER INTEGER,
    V_MEMO BLOB SUB_TYPE TEXT, V_FLOAT FLOAT, V_DOUBLE DOUBLE PRECISION,
    V_NUM152 NUMERIC(15,2), V_NUM92 NUMERIC(9,2), V_DEC41 DECIMAL(4,1), V_NUM186 NUMERIC(18,6),
    V_NUM40 NUMERIC(4,0), V_DATE DATE, V_TIMESTAMP TIMESTAMP,
    V_BIGINT BIGINT, V_NUM180 NUMERIC(18,0), V_TIME TIME, V_BOOLEAN BOOLEAN, V_BLOB BLOB SUB_TYPE BINARY);
)");

    struct Caso
    {
        std::string coluna;
        std::string literal;
        std::string tipo;
        std::string esperado;
        bool tratado = true;
    };
    const std::vector<Caso> casos = {
        {"V_VARCHAR", "'O''Brien'", "String", "OBrien"},
        {"V_VARCHAR", "''''''", "String", " "},
        {"V_VARCHAR", "'a' || ASCII_CHAR(13) || ASCII_CHAR(10) || 'b' || ASCII_CHAR(2) || 'z'", "String",
         "ab\x02z"},
        {"V_VARCHAR", "'diz \"oi\" `ja`'", "String", "diz oi ja"},
        {"V_VARCHAR", "'São João'", "String", "São João"},
        {"V_VARCHAR", "''", "String", " "},
        {"V_VARCHAR", "NULL", "String", " "},
        {"V_CHAR", "'AB'", "String", "AB  "},
        {"V_SMALLINT", "-7", "SmallInt", "-7"},
        {"V_INTEGER", "123456", "Integer", "123456"},
        {"V_MEMO", "'x' || ASCII_CHAR(13) || ASCII_CHAR(10) || 'y'", "Memo", "xy"},
        {"V_FLOAT", "12.50", "Float", "12.5"},
        {"V_DOUBLE", "1234.5", "Float", "1234.5"},
        {"V_DOUBLE", "-0.75", "Float", "-0.75"},
        {"V_DOUBLE", "1E20", "Float", "1E20"},
        {"V_DOUBLE", "0.000001", "Float", "1E-6"},
        {"V_DOUBLE", "NULL", "Float", " "},
        {"V_NUM152", "12.50", "FMTBcdField", "12.5"},
        {"V_NUM152", "-1234.50", "FMTBcdField", "-1234.5"},
        {"V_NUM152", "0", "FMTBcdField", "0"},
        {"V_NUM92", "12.50", "BCD", "12.5"},
        {"V_DEC41", "-0.5", "BCD", "-0.5"},
        {"V_NUM186", "0.000001", "FMTBcdField", "1E-6"},
        {"V_NUM40", "42", "SmallInt", "42"},
        {"V_DATE", "'2009-12-31'", "Date", "12/31/09"},
        {"V_DATE", "'2019-03-05'", "Date", "3/5/19"},
        {"V_TIMESTAMP", "'2019-02-01 08:05:00'", "SQLTimeStamp", "02/01/2019 08:05:00"},
        {"V_TIMESTAMP", "'2019-03-05 14:07:09.5'", "SQLTimeStamp", "03/05/2019 14:07:09"},
        {"V_BIGINT", "1234", "LargeInt", " ", false},
        {"V_NUM180", "5", "LargeInt", " ", false},
        {"V_TIME", "'08:05:00'", "Time", " ", false},
        {"V_BOOLEAN", "TRUE", "Boolean", " ", false},
        {"V_BLOB", "'xyz'", "Blob", " ", false},
    };
    std::string script;
    for (size_t i = 0; i < casos.size(); ++i)
        script += "INSERT INTO TIPOS (ID, " + casos[i].coluna + ") VALUES (" + std::to_string(i) + ", " +
                  casos[i].literal + ");\n";
    base.execScript(script);

    db::Attachment a(parametros(base));
    for (size_t i = 0; i < casos.size(); ++i) {
        const Caso& c = casos[i];
        SCOPED_TRACE(c.coluna + " = " + c.literal);
        const db::ResultSet rs = a.select(
            db::Sql("SELECT " + c.coluna + " FROM TIPOS WHERE ID = ?", {db::bare(std::to_string(i))}));
        ASSERT_EQ(rs.size(), 1u);
        EXPECT_EQ(db::kindName(rs.columns[0].kind()), c.tipo);
        const ValorCodificado v = codificaValor(rs.rows[0][0], rs.columns[0]);
        EXPECT_EQ(v.texto, c.esperado);
        EXPECT_EQ(v.tratado, c.tratado);
        if (!c.tratado) {
            // The box names the kind and the value as the operator reads it.
            std::vector<std::string> log;
            NaoTratados n([&](const std::string& l) { log.push_back(l); });
            n.registra(rs.rows[0][0], rs.columns[0]);
            EXPECT_EQ(log, std::vector<std::string>{c.tipo});
        }
    }
}

} // namespace
} // namespace quelvor::protocol::harness
