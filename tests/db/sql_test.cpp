#include "db/DbError.h"
#include "db/Sql.h"
#include "tests/support/ScopedLocale.h"

#include <gtest/gtest.h>

#include <cstdint>

using namespace quelvor::db;

TEST(Sql, DisplaySplicesValuesWhereTheyWereBound)
{
    const Sql s("INSERT INTO T (A, B, C, D)VALUES(?,'?',?,?);", {text("O'Brien"), bare("12.5"), null()});
    EXPECT_EQ(s.display(), "INSERT INTO T (A, B, C, D)VALUES('O'Brien','?',12.5,null);");
    EXPECT_EQ(Sql("SELECT 1 FROM RDB$DATABASE").display(), "SELECT 1 FROM RDB$DATABASE");
}

TEST(Sql, BareValues)
{
    struct Case
    {
        const char* text;
        BareNumber::Kind kind;
        long long scaled;
        int scale;
    };
    const Case good[] = {
        {"0", BareNumber::Kind::Scaled, 0, 0},
        {"42", BareNumber::Kind::Scaled, 42, 0},
        {" -7 ", BareNumber::Kind::Scaled, -7, 0},
        {"+3", BareNumber::Kind::Scaled, 3, 0},
        {"12.50", BareNumber::Kind::Scaled, 1250, -2},
        {".5", BareNumber::Kind::Scaled, 5, -1},
        {"5.", BareNumber::Kind::Scaled, 5, 0},
        {"-0.000001", BareNumber::Kind::Scaled, -1, -6},
        {"null", BareNumber::Kind::Null, 0, 0},
        {" NuLL\t", BareNumber::Kind::Null, 0, 0},
        {"1E20", BareNumber::Kind::Double, 0, 0},
        {"-9223372036854775808", BareNumber::Kind::Scaled, INT64_MIN, 0},
        {"9223372036854775807", BareNumber::Kind::Scaled, INT64_MAX, 0},
        {"0.1234567890123456789", BareNumber::Kind::Double, 0, 0}, // exact digits, finer than 18 places
        {"1.5e308", BareNumber::Kind::Double, 0, 0},
        {"1e-310", BareNumber::Kind::Double, 0, 0},
    };
    for (const Case& c : good) {
        SCOPED_TRACE(c.text);
        const BareNumber n = parseBare(c.text);
        EXPECT_EQ(n.kind, c.kind);
        if (c.kind == BareNumber::Kind::Scaled) {
            EXPECT_EQ(n.scaled, c.scaled);
            EXPECT_EQ(n.scale, c.scale);
        }
    }
    EXPECT_DOUBLE_EQ(parseBare("1.5e-3").real, 0.0015);

    // What the database refuses as a literal ("numeric value is out of range").
    for (const char* beyond :
         {"1e400", "-1e400", "1e-400", "-1E-400", "9223372036854775808", "-9223372036854775809",
          "99999999999999999999", "922337203685477580.8", "1.0000000000000000001"}) {
        SCOPED_TRACE(beyond);
        try {
            parseBare(beyond);
            ADD_FAILURE() << "accepted";
        } catch (const DbError& e) {
            EXPECT_EQ(std::string(e.what()),
                      std::string("valor numérico fora do intervalo: '") + beyond + "'");
        }
    }

    for (const char* bad : {"", "   ", "12,5", "abc", "1 2", "1;DROP TABLE X", "--1", "1e", ".", "-", "0x10",
                            "nul", "null1", "'1'"}) {
        SCOPED_TRACE(bad);
        EXPECT_THROW(parseBare(bad), DbError);
    }
}

// A handheld's bare value in exponent form reads the same whatever locale the
// process runs under.
TEST(Sql, BareValuesIgnoreTheLocale)
{
    quelvor::test::ScopedLocale ptBr(quelvor::test::kPtBr);
    ASSERT_TRUE(ptBr.writesDecimalComma());
    const BareNumber exponent = parseBare("1.5e3");
    EXPECT_EQ(exponent.kind, BareNumber::Kind::Double);
    EXPECT_EQ(exponent.real, 1500);
    EXPECT_EQ(parseBare("-2.5E-1").real, -0.25);
    EXPECT_THROW(parseBare("1,5e3"), DbError);
}

TEST(Sql, PlaceholdersIgnoreQuotedTextAndComments)
{
    EXPECT_EQ(placeholderPositions("SELECT '?', \"?\" -- ?\n, ? /* ? */ FROM X WHERE A = ?").size(), 2u);
}

TEST(Sql, TrimDropsBlanksAndControlCharacters)
{
    EXPECT_EQ(trimSql("\r\n\t select 1 \x01"), "select 1");
    EXPECT_EQ(trimSql(" \x02 "), "");
}
