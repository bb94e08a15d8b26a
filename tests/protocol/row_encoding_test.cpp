// The row encoding on its own: values and columns made by hand, one case per
// rule and boundary. The same rules against a real table live in
// catalogue_test.cpp.
#include "protocol/RowEncoding.h"

#include <gtest/gtest.h>
#include <ibase.h>

#include <string>
#include <vector>

namespace quelvor::protocol {
namespace {

db::Column coluna(unsigned type, int scale = 0, int subType = 0)
{
    db::Column c;
    c.name = "C";
    c.type = type;
    c.scale = scale;
    c.subType = subType;
    return c;
}

db::Value valor(db::Value::Data data)
{
    return db::Value{std::move(data)};
}

struct Caso
{
    const char* descricao;
    db::Value valor;
    db::Column coluna;
    std::string esperado;
    bool tratado = true;
};

TEST(RowEncoding, EveryKindToTheLetter)
{
    const db::Column varchar = coluna(SQL_VARYING);
    const db::Column duplo = coluna(SQL_DOUBLE);
    const db::Column numeric152 = coluna(SQL_INT64, -2);
    const std::vector<Caso> casos = {
        // text
        {"apostrophe removed", valor(std::string("O'Brien")), varchar, "OBrien"},
        {"quotes and backquotes removed", valor(std::string("say \"hi\" `now`")), varchar, "say hi now"},
        {"CR LF removed, halves joined", valor(std::string("first\r\nsecond")), varchar, "firstsecond"},
        {"STX kept", valor(std::string("a\x02z")), varchar, "a\x02z"},
        {"only apostrophes is a blank", valor(std::string("'''")), varchar, " "},
        {"empty text is a blank", valor(std::string()), varchar, " "},
        {"CHAR keeps its padding", valor(std::string("AB  ")), coluna(SQL_TEXT), "AB  "},
        {"accented text passes", valor(std::string("São João")), varchar, "São João"},
        {"memo loses its line breaks", valor(std::string("l1\nl2")), coluna(SQL_BLOB, 0, 1), "l1l2"},
        {"smallint", valor(std::int64_t{-7}), coluna(SQL_SHORT), "-7"},
        {"integer", valor(std::int64_t{2147483647}), coluna(SQL_LONG), "2147483647"},
        {"NUMERIC(4,0) counts as smallint", valor(std::int64_t{42}), coluna(SQL_SHORT, 0), "42"},
        // decimals: FLOAT and DOUBLE
        {"12.50 without trailing zero", valor(12.50), duplo, "12.5"},
        {"1234.5", valor(1234.5), duplo, "1234.5"},
        {"negative", valor(-3.25), duplo, "-3.25"},
        {"whole double", valor(100.0), duplo, "100"},
        {"zero", valor(0.0), duplo, "0"},
        {"1E20", valor(1e20), duplo, "1E20"},
        {"sixteen integer digits take the exponent", valor(1e15), duplo, "1E15"},
        {"fifteen integer digits stay fixed", valor(999999999999999.0), duplo, "999999999999999"},
        {"0.000001 takes the exponent", valor(0.000001), duplo, "1E-6"},
        {"0.00001 stays fixed", valor(0.00001), duplo, "0.00001"},
        {"negative exponent with digits", valor(-0.0000015), duplo, "-1.5E-6"},
        {"15 significant digits", valor(1.0 / 3.0), duplo, "0.333333333333333"},
        {"rounded to 15 digits", valor(0.1 + 0.2), duplo, "0.3"},
        {"big with digits", valor(123456789012345678.0), duplo, "1.23456789012346E17"},
        {"single precision widened", valor(static_cast<double>(0.1f)), coluna(SQL_FLOAT),
         "0.100000001490116"},
        // decimals: NUMERIC and DECIMAL, exact
        {"NUMERIC 12.50", valor(std::int64_t{1250}), numeric152, "12.5"},
        {"NUMERIC 1234.50", valor(std::int64_t{123450}), numeric152, "1234.5"},
        {"NUMERIC negative", valor(std::int64_t{-1250}), numeric152, "-12.5"},
        {"NUMERIC whole", valor(std::int64_t{100}), numeric152, "1"},
        {"NUMERIC zero", valor(std::int64_t{0}), numeric152, "0"},
        {"NUMERIC on INTEGER storage", valor(std::int64_t{1234}), coluna(SQL_LONG, -2), "12.34"},
        {"NUMERIC on SMALLINT storage", valor(std::int64_t{-5}), coluna(SQL_SHORT, -1), "-0.5"},
        {"NUMERIC(18,6) 0.000001", valor(std::int64_t{1}), coluna(SQL_INT64, -6), "1E-6"},
        {"NUMERIC exact beyond 15 digits", valor(std::int64_t{99999999999999999}), numeric152,
         "999999999999999.99"},
        // dates and timestamps
        {"date m/d/yy", valor(base::Date{2009, 12, 31}), coluna(SQL_TYPE_DATE), "12/31/09"},
        {"date without leading zeros", valor(base::Date{2019, 3, 5}), coluna(SQL_TYPE_DATE), "3/5/19"},
        {"date in a year ending 00", valor(base::Date{2000, 1, 1}), coluna(SQL_TYPE_DATE), "1/1/00"},
        {"timestamp", valor(base::Timestamp{{2019, 2, 1}, {8, 5, 0, 0}}), coluna(SQL_TIMESTAMP),
         "02/01/2019 08:05:00"},
        {"timestamp drops fractions", valor(base::Timestamp{{2019, 3, 5}, {14, 7, 9, 9999}}),
         coluna(SQL_TIMESTAMP), "03/05/2019 14:07:09"},
        {"timestamp at midnight keeps its time", valor(base::Timestamp{{2020, 12, 24}, {}}),
         coluna(SQL_TIMESTAMP), "12/24/2020 00:00:00"},
        // nulls
        {"null text", valor(std::monostate{}), varchar, " "},
        {"null double", valor(std::monostate{}), duplo, " "},
        {"null date", valor(std::monostate{}), coluna(SQL_TYPE_DATE), " "},
        {"null of an unhandled kind is just a blank", valor(std::monostate{}), coluna(SQL_INT64), " "},
        // kinds the handheld cannot take
        {"bigint", valor(std::int64_t{1234}), coluna(SQL_INT64), " ", false},
        {"time", valor(base::Time{8, 5, 0, 0}), coluna(SQL_TYPE_TIME), " ", false},
        {"boolean", valor(true), coluna(SQL_BOOLEAN), " ", false},
        {"binary blob", valor(std::string("\x01\x02")), coluna(SQL_BLOB, 0, 0), " ", false},
        {"unknown type", valor(std::string("x")), coluna(SQL_ARRAY), " ", false},
    };
    for (const Caso& c : casos) {
        SCOPED_TRACE(c.descricao);
        const ValorCodificado v = codificaValor(c.valor, c.coluna);
        EXPECT_EQ(v.texto, c.esperado);
        EXPECT_EQ(v.tratado, c.tratado);
    }
}

TEST(RowEncoding, UnhandledKindsGiveOneBoxPerKindAndLogTheRest)
{
    EXPECT_EQ(mensagemNaoTratado("LargeInt", "1234"), "Tipo LargeInt - 1234Nao tratado");

    std::vector<std::string> logadas;
    NaoTratados n([&](const std::string& linha) { logadas.push_back(linha); });
    EXPECT_TRUE(n.vazio());
    EXPECT_TRUE(n.avisos().empty());

    const db::Column bigint = coluna(SQL_INT64);
    const db::Column hora = coluna(SQL_TYPE_TIME);
    n.registra(valor(std::int64_t{1}), bigint);
    n.registra(valor(base::Time{8, 5, 0, 0}), hora);
    n.registra(valor(std::int64_t{2}), bigint);
    n.registra(valor(std::int64_t{3}), bigint);

    // Every value logs its kind's name; the ones past the first of their kind
    // also log their own text, since no box shows them.
    EXPECT_EQ(logadas,
              (std::vector<std::string>{"LargeInt", "Time", "LargeInt", "Tipo LargeInt - 2Nao tratado",
                                        "LargeInt", "Tipo LargeInt - 3Nao tratado"}));
    ASSERT_EQ(n.avisos().size(), 2u);
    // A kind met once reads as it always has; one met more often says how many.
    EXPECT_EQ(n.avisos()[0], "Tipo LargeInt - 1Nao tratado (3 valores afetados nesta requisicao; os demais "
                             "estao no log)");
    EXPECT_EQ(n.avisos()[1], "Tipo Time - 08:05:00Nao tratado");
}

} // namespace
} // namespace quelvor::protocol
