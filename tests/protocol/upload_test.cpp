// Load ("6001"), collection ("6002") and tracking ("6003") uploads against a
// real collection database.
#include "ProtocolHarness.h"

#include "db/QueryHelpers.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

namespace quelvor::protocol::harness {
namespace {

using test::TestDatabase;
using Campos = std::vector<std::string>;

// Stored values as plain text, independent of the row encoding: NUMERIC with
// all its decimals, dates as yyyy-mm-dd, NULL as <null>.
std::string comoTexto(const db::Value& v, const db::Column& c)
{
    char buf[64];
    if (v.isNull())
        return "<null>";
    if (const auto* s = std::get_if<std::string>(&v.data))
        return *s;
    if (const auto* n = std::get_if<std::int64_t>(&v.data)) {
        if (c.scale >= 0)
            return std::to_string(*n);
        std::string digits = std::to_string(*n < 0 ? -*n : *n);
        const size_t decimals = static_cast<size_t>(-c.scale);
        if (digits.size() <= decimals)
            digits.insert(0, decimals + 1 - digits.size(), '0');
        digits.insert(digits.size() - decimals, ".");
        return (*n < 0 ? "-" : "") + digits;
    }
    if (const auto* d = std::get_if<double>(&v.data)) {
        std::snprintf(buf, sizeof buf, "%.15g", *d);
        return buf;
    }
    if (const auto* d = std::get_if<base::Date>(&v.data)) {
        std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", d->year, d->month, d->day);
        return buf;
    }
    if (const auto* t = std::get_if<base::Timestamp>(&v.data)) {
        std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d", t->date.year, t->date.month,
                      t->date.day, t->time.hour, t->time.minute, t->time.second);
        return buf;
    }
    return "?";
}

std::vector<Campos> linhasDoBanco(const TestDatabase& base, const std::string& select)
{
    const db::ResultSet rs = consulta(base, select);
    std::vector<Campos> out;
    for (const auto& row : rs.rows) {
        Campos campos;
        for (size_t i = 0; i < row.size(); ++i)
            campos.push_back(comoTexto(row[i], rs.columns[i]));
        out.push_back(campos);
    }
    return out;
}

std::string q(const std::string& s)
{
    return "'" + s + "'";
}

// --- loads ----------------------------------------------------------------

Campos carga()
{
    return {"6001",
            "H1",
            "-23.5",
            "-46.6",
            "17",                  // 4 the handheld's id of the load
            "12/31/2026",          // 5 date
            "12/31/2026 06:00:00", // 6 start
            "",                    // 7 end
            "1520.5",              // 8 total
            "H1",                  // 9 handheld
            "5001",                // 10 load code
            "S",                   // 11 finished
            "x'y\"z",              // 12 not used
            "JOAO",                // 13 user
            "12",                  // 14 number of collections
            "20",                  // 15 route
            "1000.5",              // 16 km at the start
            "1100.25",             // 17 km at the end
            "99.75"};              // 18 distance
}

// The statement as the operator knows it from the log, values spliced in.
std::string classicaCarga(const Campos& f)
{
    bool semFim = true;
    for (char c : f[7])
        semFim = semFim && static_cast<unsigned char>(c) <= 0x20;
    return "UPDATE OR INSERT INTO CARGAS (CAR_CODIGO, CAR_DATA, CAR_DATAHORAINICIO, CAR_DATAHORAFIM, "
           "CAR_TOTALCARGA, CAR_ID_APARELHO, CAR_IDORIGINAL,CAR_FINALIZADO, CAR_TRANSMITIDO, CAR_USUARIO," +
           std::string(" CAR_ROTA, CAR_NUMEROCOLETAS, CAR_DATAHORATRANSMISSAO, CAR_KMINICIAL, CAR_KMFINAL, "
                       "CAR_DISTANCIAPERCORRIDA)VALUES(") +
           f[10] + "," + q(f[5]) + " , " + q(f[6]) + " , " + (semFim ? "null" : q(f[7])) + " ," + f[8] +
           " , " + q(f[9]) + " , " + f[4] + " , " + q(f[11]) + " , " + q("N") + ", " + q(f[13]) + " ," +
           f[15] + "," + f[14] + ", CURRENT_TIMESTAMP , " + f[16] + "," + f[17] + " , " + f[18] + ");";
}

const char* kCargaSelect =
    "SELECT CAR_CODIGO, CAST(CAR_DATA AS DATE), CAR_DATAHORAINICIO, CAR_DATAHORAFIM, CAR_TOTALCARGA, "
    "CAR_ID_APARELHO, CAR_IDORIGINAL, CAR_FINALIZADO, CAR_TRANSMITIDO, CAR_USUARIO, "
    "CAR_ROTA, CAR_NUMEROCOLETAS, CAR_KMINICIAL, CAR_KMFINAL, CAR_DISTANCIAPERCORRIDA, "
    "IIF(CAR_DATAHORATRANSMISSAO > CURRENT_TIMESTAMP - 1, 'agora', 'antes') FROM CARGAS";

TEST(LoadUpload, InsertThenReplace)
{
    TestDatabase base(TestDatabase::Kind::Coleta);
    SessaoLiberada sessao(base);

    // Exactly nineteen fields, no trailing separator.
    const std::string primeira = linha(carga());
    const Resposta r1 = sessao.envia(primeira);
    EXPECT_EQ(r1.linhas, (std::vector<std::string>{resposta({"7001", "S", "17", "S"}), kFim}));
    EXPECT_TRUE(contem(r1.log, "Gravar carga " + primeira));
    EXPECT_TRUE(contem(r1.log, "enviando retorno"));
    EXPECT_EQ(
        linhasDoBanco(base, kCargaSelect),
        (std::vector<Campos>{{"5001", "2026-12-31", "2026-12-31 06:00:00", "<null>", "1520.500", "H1", "17",
                              "S", "N", "JOAO", "20", "12", "1000.500", "1100.250", "99.750", "agora"}}));

    // The office marks it transmitted; the handheld sends the finished load
    // again, with a trailing separator and fields past 18 that are ignored.
    base.execScript("UPDATE CARGAS SET CAR_TRANSMITIDO = 'S', CAR_DATAHORATRANSMISSAO = '2001-01-01';");
    Campos segunda = carga();
    segunda[7] = "12/31/2026 18:30:00";
    segunda[8] = "1600";
    segunda[11] = "N";
    segunda.push_back("extra'");
    segunda.push_back("");
    const Resposta r2 = sessao.envia(linha(segunda));
    EXPECT_EQ(r2.linhas, (std::vector<std::string>{resposta({"7001", "S", "17", "N"}), kFim}));
    EXPECT_EQ(linhasDoBanco(base, kCargaSelect),
              (std::vector<Campos>{{"5001", "2026-12-31", "2026-12-31 06:00:00", "2026-12-31 18:30:00",
                                    "1600.000", "H1", "17", "N", "N", "JOAO", "20", "12", "1000.500",
                                    "1100.250", "99.750", "agora"}}));
}

TEST(LoadUpload, EndTimeAndBoundValues)
{
    TestDatabase base(TestDatabase::Kind::Coleta);
    SessaoLiberada sessao(base);

    struct Caso
    {
        const char* descricao;
        size_t campo;
        std::string valor;
        std::string coluna;
        std::string guardado;
    };
    const std::vector<Caso> casos = {
        {"empty end time", 7, "", "CAR_DATAHORAFIM", "<null>"},
        {"blank end time", 7, "   ", "CAR_DATAHORAFIM", "<null>"},
        {"control characters only", 7, "\t\r\x01 ", "CAR_DATAHORAFIM", "<null>"},
        {"end time as sent", 7, "2026-12-31 18:00:00", "CAR_DATAHORAFIM", "2026-12-31 18:00:00"},
        {"apostrophe in a quoted field", 13, "D'Avila", "CAR_USUARIO", "D'Avila"},
        {"apostrophes only", 9, "''", "CAR_ID_APARELHO", "''"},
        {"the word null stores NULL", 16, "null", "CAR_KMINICIAL", "<null>"},
        {"NULL in capitals", 14, "NULL", "CAR_NUMEROCOLETAS", "<null>"},
        {"bare value with blanks around", 8, " 12.5 ", "CAR_TOTALCARGA", "12.500"},
        {"negative bare value", 18, "-3", "CAR_DISTANCIAPERCORRIDA", "-3.000"},
        {"exponent form", 17, "1E3", "CAR_KMFINAL", "1000.000"},
    };
    int codigo = 100;
    for (const Caso& c : casos) {
        SCOPED_TRACE(c.descricao);
        Campos f = carga();
        f[10] = std::to_string(++codigo);
        f[c.campo] = c.valor;
        const Resposta r = sessao.envia(linha(f));
        EXPECT_EQ(r.linhas, (std::vector<std::string>{resposta({"7001", "S", "17", "S"}), kFim}));
        EXPECT_EQ(linhasDoBanco(base, "SELECT " + c.coluna + " FROM CARGAS WHERE CAR_CODIGO = " + f[10]),
                  std::vector<Campos>{{c.guardado}});
    }
}

// --- collections ----------------------------------------------------------

Campos coleta()
{
    return {"6002",
            "H1",
            "-23.5",
            "-46.6",
            "5001",                // 4 load code
            "301",                 // 5 the handheld's id of the collection
            "17",                  // 6 the handheld's id of the load
            "1",                   // 7 sequence
            "101",                 // 8 producer
            "-23.55",              // 9 latitude
            "-46.63",              // 10 longitude
            "12/31/2026 07:15:00", // 11 date and time
            "850.5",               // 12 quantity
            "qualquer' coisa",     // 13 not used
            "JOAO",                // 14 user
            "N",                   // 15 cancelled
            "-23.56",              // 16 producer's latitude
            "-46.64",              // 17 producer's longitude
            "2",                   // 18 tank
            "Negativo",            // 19 acidity test
            "4.5",                 // 20 temperature
            "123456",              // 21 sample number
            "1",                   // 22 collected
            "0",                   // 23 reason for not collecting
            "O'Neil 12",           // 24 sample
            "76.5"};               // 25 alizarol
}

std::string classicaColeta(const Campos& f)
{
    std::string amostra;
    for (char c : f[24])
        if (c != '\'')
            amostra += c;
    return "UPDATE OR INSERT INTO COLETAS (CAR_CODIGO, COL_SEQU, COL_PRODUTOR, "
           "COL_LATITUDE,COL_LONGITUDE,COL_DATAHORA,COL_QTDE,COL_EXPORTADO,CAR_IDORIGINAL,COL_USUARIO,"
           "COL_IDORIGINAL,COL_CANCELADA, COL_DATAHORATRANSMISSAO," +
           std::string(
               "PRO_LATITUDE, PRO_LONGITUDE,COL_TANQUE, COL_TESTEACIDEZ,COL_TEMPERATURA,COL_NROAMOSTRA, "
               "COL_COLETOU, COL_MOTIVONAOCOLETA,COL_AMOSTRA,COL_RESULTADOALIZAROL)") +
           "VALUES(" + f[4] + ", " + f[7] + " , " + f[8] + " , " + f[9] + " , " + f[10] + " , " + q(f[11]) +
           " ," + f[12] + " , " + q("N") + " , " + f[6] + "," + q(f[14]) + "," + f[5] + "," + q(f[15]) +
           ", CURRENT_TIMESTAMP ," + f[16] + " , " + f[17] + " , " + f[18] + " , " + q(f[19]) + " , " +
           f[20] + "," + f[21] + "," + f[22] + "," + f[23] + " , " + q(amostra) + " , " + f[25] + ");";
}

const char* kColetaSelect =
    "SELECT CAR_CODIGO, COL_IDORIGINAL, COL_SEQU, COL_PRODUTOR, COL_LATITUDE, COL_LONGITUDE, COL_DATAHORA, "
    "COL_QTDE, COL_EXPORTADO, CAR_IDORIGINAL, COL_USUARIO, COL_CANCELADA, PRO_LATITUDE, PRO_LONGITUDE, "
    "COL_TANQUE, COL_TESTEACIDEZ, COL_TEMPERATURA, COL_NROAMOSTRA, COL_COLETOU, COL_MOTIVONAOCOLETA, "
    "COL_AMOSTRA, COL_RESULTADOALIZAROL, IIF(COL_DATAHORATRANSMISSAO > CURRENT_TIMESTAMP - 1, 'agora', "
    "'antes') "
    "FROM COLETAS ORDER BY CAR_CODIGO, COL_IDORIGINAL";

TEST(CollectionUpload, InsertThenReplaceWithTheSampleTextCleaned)
{
    TestDatabase base(TestDatabase::Kind::Coleta);
    SessaoLiberada sessao(base);

    const std::string primeira = linha(coleta());
    const Resposta r1 = sessao.envia(primeira);
    EXPECT_EQ(r1.linhas, (std::vector<std::string>{resposta({"7002", "S", "301"}), kFim}));
    EXPECT_TRUE(contem(r1.log, "Gravar coleta: " + primeira));
    EXPECT_TRUE(contem(r1.log, "enviando retorno coleta"));
    EXPECT_EQ(linhasDoBanco(base, kColetaSelect),
              (std::vector<Campos>{
                  {"5001",    "301",      "1",    "101",    "-23.55", "-46.63", "2026-12-31 07:15:00",
                   "850.500", "N",        "17",   "JOAO",   "N",      "-23.56", "-46.64",
                   "2",       "Negativo", "4.50", "123456", "1",      "0",      "ONeil 12",
                   "76.50",   "agora"}}));

    // Sent again, corrected and with an apostrophe in the user's name: the
    // same row is replaced and counts as not exported again.
    base.execScript("UPDATE COLETAS SET COL_EXPORTADO = 'S', COL_DATAHORATRANSMISSAO = '2001-01-01';");
    Campos segunda = coleta();
    segunda[12] = "900";
    segunda[14] = "D'Avila";
    segunda[24] = "'''";
    segunda.push_back("");
    const Resposta r2 = sessao.envia(linha(segunda));
    EXPECT_EQ(r2.linhas, (std::vector<std::string>{resposta({"7002", "S", "301"}), kFim}));
    EXPECT_EQ(linhasDoBanco(base, kColetaSelect),
              (std::vector<Campos>{
                  {"5001",    "301",      "1",    "101",     "-23.55", "-46.63", "2026-12-31 07:15:00",
                   "900.000", "N",        "17",   "D'Avila", "N",      "-23.56", "-46.64",
                   "2",       "Negativo", "4.50", "123456",  "1",      "0",      "",
                   "76.50",   "agora"}}));

    // Another collection of the same load is a row of its own.
    Campos outra = coleta();
    outra[5] = "302";
    EXPECT_EQ(sessao.envia(linha(outra)).linhas,
              (std::vector<std::string>{resposta({"7002", "S", "302"}), kFim}));
    EXPECT_EQ(linhasDoBanco(base, kColetaSelect).size(), 2u);
}

// A collection outside the thresholds, once it is acknowledged, gives one log
// line per alert and an entry in the status model, and is stored and answered
// exactly as without thresholds.
TEST(CollectionUpload, QualityAlertsAfterTheAcknowledgementChangeNothingElse)
{
    base::Settings limites;
    limites.temperaturaMaxima = 7;
    limites.acidezReprovada = {"ácida"};
    limites.alizarolReprovado = {"76.5"};
    Campos fora = coleta();
    fora[19] = "ÁCIDA";
    fora[20] = "9.5";
    fora[25] = "76.50";
    Campos semCarga = fora; // of a load not stored: its route is not known
    semCarga[4] = "5002";
    semCarga[5] = "302";
    semCarga[19] = "Negativo";
    semCarga[25] = "1";

    // The same uploads without thresholds, for what must not change.
    std::vector<Resposta> semLimites;
    std::vector<Campos> guardadasSemLimites;
    {
        TestDatabase base(TestDatabase::Kind::Coleta);
        SessaoLiberada sessao(base);
        sessao.envia(linha(carga()));
        semLimites = {sessao.envia(linha(fora)), sessao.envia(linha(semCarga))};
        guardadasSemLimites = linhasDoBanco(base, kColetaSelect);
        EXPECT_TRUE(comecamCom(semLimites[0].log, "ALERTA DE QUALIDADE: ").empty());
    }

    TestDatabase base(TestDatabase::Kind::Coleta);
    SessaoLiberada sessao(base);
    base::StatusModel status;
    status.conectou(SessaoLiberada::kSessao, "127.0.0.1");
    const db::FalhasParaOStatus falhas(&status); // as the request intake sets it
    sessao.opcoes.status = &status;
    sessao.opcoes.limitesDeQualidade = &limites;
    sessao.envia(linha(carga())); // route 20
    const Resposta r1 = sessao.envia(linha(fora));
    const Resposta r2 = sessao.envia(linha(semCarga));

    EXPECT_EQ(r1.linhas, semLimites[0].linhas);
    EXPECT_EQ(r2.linhas, semLimites[1].linhas);
    EXPECT_EQ(r1.linhas, (std::vector<std::string>{resposta({"7002", "S", "301"}), kFim}));
    EXPECT_EQ(linhasDoBanco(base, kColetaSelect), guardadasSemLimites);
    EXPECT_EQ(comecamCom(r1.log, "ALERTA DE QUALIDADE: "),
              (std::vector<std::string>{
                  "ALERTA DE QUALIDADE: temperatura 9.5 acima de 7 na carga 5001, produtor 101, rota 20",
                  "ALERTA DE QUALIDADE: acidez ÁCIDA reprovada na carga 5001, produtor 101, rota 20",
                  "ALERTA DE QUALIDADE: alizarol 76.50 reprovado na carga 5001, produtor 101, rota 20"}));
    EXPECT_EQ(comecamCom(r2.log, "ALERTA DE QUALIDADE: "),
              (std::vector<std::string>{
                  "ALERTA DE QUALIDADE: temperatura 9.5 acima de 7 na carga 5002, produtor 101"}));
    // Told after the acknowledgement was handed over.
    const auto devolvida =
        std::find(r1.log.begin(), r1.log.end(), "Devolvendo:" + resposta({"7002", "S", "301"}));
    const auto alerta = std::find_if(r1.log.begin(), r1.log.end(), [](const std::string& l) {
        return l.starts_with("ALERTA DE QUALIDADE");
    });
    EXPECT_LT(devolvida, alerta);

    const base::StatusSnapshot s = status.snapshot();
    ASSERT_EQ(s.alertas.size(), 4u);
    EXPECT_EQ(s.alertas[0].tipo, "temperatura");
    EXPECT_EQ(s.alertas[0].carga, "5001");
    EXPECT_EQ(s.alertas[0].produtor, "101");
    EXPECT_EQ(s.alertas[0].rota, "20");
    EXPECT_EQ(s.alertas[0].valor, "9.5");
    EXPECT_EQ(s.alertas[0].dispositivo, "H1");
    EXPECT_EQ(s.alertas[1].tipo, "acidez");
    EXPECT_EQ(s.alertas[1].valor, "ÁCIDA");
    EXPECT_EQ(s.alertas[2].tipo, "alizarol");
    EXPECT_EQ(s.alertas[3].carga, "5002");
    EXPECT_EQ(s.alertas[3].rota, "");
    EXPECT_EQ(s.alertasPorTipo,
              (std::map<std::string, std::uint64_t>{{"temperatura", 2}, {"acidez", 1}, {"alizarol", 1}}));
    EXPECT_EQ(s.envios.at("6002").confirmados, 2u);
    EXPECT_EQ(s.envios.at("6001").confirmados, 1u);
    ASSERT_EQ(s.conexoes.size(), 1u);
    EXPECT_EQ(s.conexoes[0].enviosConfirmados, 3u);

    // An upload that the database refuses is not acknowledged and raises no alert.
    Campos recusada = fora;
    recusada[12] = "muito";
    const Resposta r3 = sessao.envia(linha(recusada));
    EXPECT_EQ(r3.linhas, (std::vector<std::string>{kFim}));
    EXPECT_TRUE(comecamCom(r3.log, "ALERTA DE QUALIDADE: ").empty());
    const base::StatusSnapshot depois = status.snapshot();
    EXPECT_EQ(depois.alertas.size(), 4u);
    EXPECT_EQ(depois.envios.at("6002").naoConfirmados, 1u);
    ASSERT_EQ(depois.erros.size(), 1u);
    EXPECT_EQ(depois.erros[0].texto.rfind("Erro na query: " + classicaColeta(recusada), 0), 0u)
        << depois.erros[0].texto;
}

// --- tracking points --------------------------------------------------------

Campos ponto()
{
    return {"6003",
            "H1",
            "-23.5",
            "-46.6",
            "88",                  // 4 the handheld's id of the point
            "-23.55",              // 5 latitude
            "-46.63",              // 6 longitude
            "01/15/2020 07:20:00", // 7 date and time
            "5001",                // 8 open load
            "45.5",                // 9 speed
            "12.25",               // 10 distance
            "5m"};                 // 11 precision
}

std::string classicaPonto(const Campos& f)
{
    return "INSERT INTO RASTREAMENTO(RAS_ID, RAS_LATITUDE, RAS_LONGITUDE, "
           "RAS_DATAHORA,RAS_DATAHORARECEBIMENTO,RAS_DISPOSITIVO,RAS_CARGAABERTA,RAS_VELOCIDADE,RAS_"
           "DISTANCIA,"
           "RAS_PRECISAO)" +
           std::string("VALUES(GEN_ID(GEN_RASTREAMENTO,1) ,") + f[5] + ", " + f[6] + " , " + q(f[7]) +
           " , CURRENT_TIMESTAMP ," + q(f[1]) + ", " + f[8] + "," + f[9] + "," + f[10] + "," + q(f[11]) +
           ");";
}

TEST(TrackingUpload, PointSentTwiceIsStoredTwice)
{
    TestDatabase base(TestDatabase::Kind::Coleta);
    SessaoLiberada sessao(base);

    // Exactly twelve fields, no trailing separator.
    const std::string pedido = linha(ponto());
    for (int vez = 0; vez < 2; ++vez) {
        const Resposta r = sessao.envia(pedido);
        EXPECT_EQ(r.linhas, (std::vector<std::string>{resposta({"7003", "S", "88"}), kFim}));
        EXPECT_TRUE(contem(r.log, "Gravar rastreamento: " + pedido));
        EXPECT_TRUE(contem(r.log, "enviando retorno rastreamento"));
    }
    // Fields past 11 are ignored; an apostrophe in the device name is kept.
    Campos outro = ponto();
    outro[1] = "H'2";
    outro.push_back("ignorado");
    outro.push_back("");
    EXPECT_EQ(sessao.envia(linha(outro)).linhas,
              (std::vector<std::string>{resposta({"7003", "S", "88"}), kFim}));

    const Campos comum = {"-23.55", "-46.63", "2020-01-15 07:20:00", "5001", "45.5", "12.25", "5m", "agora"};
    std::vector<Campos> esperadas;
    for (const char* id : {"1", "2", "3"}) {
        Campos c{id, std::string(id) == "3" ? "H'2" : "H1"};
        c.insert(c.end(), comum.begin(), comum.end());
        esperadas.push_back(c);
    }
    EXPECT_EQ(linhasDoBanco(base,
                            "SELECT RAS_ID, RAS_DISPOSITIVO, RAS_LATITUDE, RAS_LONGITUDE, RAS_DATAHORA, "
                            "RAS_CARGAABERTA, RAS_VELOCIDADE, RAS_DISTANCIA, RAS_PRECISAO, "
                            "IIF(RAS_DATAHORARECEBIMENTO > CURRENT_TIMESTAMP - 1, 'agora', 'antes') "
                            "FROM RASTREAMENTO ORDER BY RAS_ID"),
              esperadas);
}

// --- what the three uploads share ----------------------------------------------

struct TipoDeUpload
{
    const char* nome;
    Campos (*campos)();
    std::string (*classica)(const Campos&);
    const char* tabela;
};

const TipoDeUpload kTipos[] = {
    {"load", carga, classicaCarga, "CARGAS"},
    {"collection", coleta, classicaColeta, "COLETAS"},
    {"tracking point", ponto, classicaPonto, "RASTREAMENTO"},
};

// A value that is not a number where the statement places it as received,
// or a number the database would refuse as a literal, fails the statement: it is logged as the operator knows
// it, nothing is written, and the handheld gets only the end line.
TEST(Uploads, BareValueFailureWritesNothing)
{
    struct Caso
    {
        size_t tipo;
        size_t campo;
        std::string valor;
    };
    const std::vector<Caso> casos = {
        {0, 14, ""},      // an empty number of collections
        {0, 8, "1520,5"}, // a decimal comma
        {0, 16, "abc"},   // letters
        {0, 10, "5001 OR 1=1"},
        {0, 4, "17)"},
        {1, 12, "850,5"},
        {1, 4, ""},
        {1, 21, "A-12"},
        {2, 9, "45,5"},
        {2, 5, ""},
        {2, 8, "null null"},
        // numbers the database refuses as literals: beyond a double, below
        // its smallest magnitude, more digits than 64 bits
        {0, 8, "1e400"},
        {1, 12, "-1e400"},
        {2, 5, "1e400"},
        {2, 6, "-1e400"},
        {2, 9, "1e-400"},
        {2, 10, "99999999999999999999.5"},
    };
    TestDatabase base(TestDatabase::Kind::Coleta);
    SessaoLiberada sessao(base);
    for (const Caso& c : casos) {
        const TipoDeUpload& tipo = kTipos[c.tipo];
        SCOPED_TRACE(std::string(tipo.nome) + ", field " + std::to_string(c.campo) + " [" + c.valor + "]");
        Campos f = tipo.campos();
        f[c.campo] = c.valor;
        const Resposta r = sessao.envia(linha(f));
        EXPECT_FALSE(r.abandonada);
        EXPECT_EQ(r.linhas, std::vector<std::string>{kFim});
        const auto erros = comecamCom(r.log, "Erro na query: ");
        ASSERT_EQ(erros.size(), 1u);
        EXPECT_EQ(erros[0].rfind("Erro na query: " + tipo.classica(f), 0), 0u) << erros[0];
        EXPECT_EQ(linhasDoBanco(base, std::string("SELECT COUNT(*) FROM ") + tipo.tabela),
                  std::vector<Campos>{{"0"}});
    }
    // No key was drawn for a point that was not stored.
    EXPECT_EQ(linhasDoBanco(base, "SELECT GEN_ID(GEN_RASTREAMENTO,0) FROM RDB$DATABASE"),
              std::vector<Campos>{{"0"}});
}

// A line short of the last field an upload uses is abandoned before anything
// is written: no reply, no end line, and the connection ends.
TEST(Uploads, TooFewFieldsAbandonTheRequest)
{
    TestDatabase base(TestDatabase::Kind::Coleta);
    SessaoLiberada sessao(base);
    for (const TipoDeUpload& tipo : kTipos) {
        SCOPED_TRACE(tipo.nome);
        Campos f = tipo.campos();
        f.pop_back();
        const Resposta r = sessao.envia(linha(f));
        EXPECT_TRUE(r.abandonada);
        EXPECT_TRUE(r.linhas.empty());
        EXPECT_TRUE(comecamCom(r.log, "Erro na query: ").empty());
        EXPECT_EQ(linhasDoBanco(base, std::string("SELECT COUNT(*) FROM ") + tipo.tabela),
                  std::vector<Campos>{{"0"}});
    }
}

// A database refusal (here a row without its key) is not acknowledged either.
TEST(Uploads, RejectedByTheDatabaseIsNotAcknowledged)
{
    TestDatabase base(TestDatabase::Kind::Coleta);
    SessaoLiberada sessao(base);
    Campos f = carga();
    f[10] = "null";
    const Resposta r = sessao.envia(linha(f));
    EXPECT_EQ(r.linhas, std::vector<std::string>{kFim});
    const auto erros = comecamCom(r.log, "Erro na query: " + classicaCarga(f));
    EXPECT_EQ(erros.size(), 1u);

    Campos d = coleta();
    d[11] = "31/31/2026";
    EXPECT_EQ(sessao.envia(linha(d)).linhas, std::vector<std::string>{kFim});
    EXPECT_EQ(linhasDoBanco(base, "SELECT (SELECT COUNT(*) FROM CARGAS) + (SELECT COUNT(*) FROM COLETAS) "
                                  "FROM RDB$DATABASE"),
              std::vector<Campos>{{"0"}});
}

// A permission lookup that fails says nothing about the handheld: no refusal
// goes out (it would tell a released handheld it is not authorised); the
// request ends as when the database cannot be opened.
TEST(Permission, AFailedLookupIsNotARefusal)
{
    TestDatabase base(TestDatabase::Kind::Coleta);
    SessaoLiberada sessao(base);
    base.execScript("DROP TABLE SESSOESATIVAS;");
    for (const std::string& pedido :
         {linha({"1001", "H1", "-23.5", "-46.6"}), linha({"1000", "H1", "-23.5", "-46.6", "1", "3.1", ""})}) {
        SCOPED_TRACE(pedido);
        const Resposta r = sessao.envia(pedido);
        EXPECT_TRUE(r.abandonada);
        EXPECT_TRUE(r.linhas.empty());
        EXPECT_EQ(comecamCom(r.log, "erro PTAB:").size(), 1u);
    }
}

} // namespace
} // namespace quelvor::protocol::harness
