#include "base/TextConversion.h"
#include "db/Attachment.h"
#include "db/DbError.h"
#include "tests/support/TestDatabase.h"

#include <firebird/Interface.h>
#include <gtest/gtest.h>

using namespace quelvor;
using quelvor::test::TestDatabase;

namespace {

class AttachmentTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        s_db = new TestDatabase(TestDatabase::Kind::Coleta);
        s_db->execScript(R"(
            CREATE TABLE TIPOS (
                ID INTEGER NOT NULL PRIMARY KEY,
                C_CHAR CHAR(5), C_VARCHAR VARCHAR(300), C_SMALLINT SMALLINT, C_INTEGER INTEGER,
                C_MEMO BLOB SUB_TYPE TEXT, C_FLOAT FLOAT, C_DOUBLE DOUBLE PRECISION,
                C_NUM_4_2 NUMERIC(4,2), C_NUM_9_2 NUMERIC(9,2), C_NUM_15_2 NUMERIC(15,2),
                C_DATE DATE, C_TIMESTAMP TIMESTAMP, C_BIGINT BIGINT, C_NUM_18_0 NUMERIC(18,0),
                C_TIME TIME, C_BOOLEAN BOOLEAN, C_BLOB BLOB SUB_TYPE BINARY);
            INSERT INTO TIPOS VALUES (1, 'ab', 'Inicialização', -3, 2147483647, 'texto longo', 1.5,
                1234.5, 12.50, -0.01, 1234567890123.45, '2009-12-31', '2019-02-01 08:05:00',
                9223372036854775807, 42, '13:14:15', TRUE, 'xyz');
            INSERT INTO TIPOS (ID) VALUES (2);
        )");
    }
    static void TearDownTestSuite()
    {
        delete s_db;
        s_db = nullptr;
    }
    db::ConnectionParams params() const
    {
        return {s_db->connectionString(), s_db->user(), s_db->password(), "WIN1252"};
    }
    static TestDatabase* s_db;
};
TestDatabase* AttachmentTest::s_db = nullptr;

} // namespace

TEST_F(AttachmentTest, ColumnKindsAndValuesOfEveryType)
{
    db::Attachment a(params());
    const db::ResultSet rs = a.select("SELECT * FROM TIPOS ORDER BY ID;");
    ASSERT_EQ(rs.size(), 2u);
    struct Case
    {
        const char* column;
        const char* kind;
        const char* text; // asText of row 1
    };
    const Case cases[] = {
        {"C_CHAR", "String", "ab   "},
        {"C_VARCHAR", "String", "Inicialização"},
        {"C_SMALLINT", "SmallInt", "-3"},
        {"C_INTEGER", "Integer", "2147483647"},
        {"C_MEMO", "Memo", "texto longo"},
        {"C_FLOAT", "Float", "1,5"},
        {"C_DOUBLE", "Float", "1234,5"},
        {"C_NUM_4_2", "BCD", "12,5"},
        {"C_NUM_9_2", "BCD", "-0,01"},
        {"C_NUM_15_2", "FMTBcdField", "1234567890123,45"},
        {"C_DATE", "Date", "31/12/2009"},
        {"C_TIMESTAMP", "SQLTimeStamp", "01/02/2019 08:05:00"},
        {"C_BIGINT", "LargeInt", "9223372036854775807"},
        {"C_NUM_18_0", "LargeInt", "42"},
        {"C_TIME", "Time", "13:14:15"},
        {"C_BOOLEAN", "Boolean", "True"},
        {"C_BLOB", "Blob", "xyz"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.column);
        const int i = rs.indexOf(c.column);
        ASSERT_GE(i, 0);
        EXPECT_EQ(db::kindName(rs.columns[i].kind()), c.kind);
        EXPECT_EQ(db::asText(rs.rows[0][i], rs.columns[i]), c.text);
        EXPECT_TRUE(rs.rows[1][i].isNull());
        EXPECT_EQ(db::asText(rs.rows[1][i], rs.columns[i]), "");
    }
    EXPECT_EQ(rs.indexOf("c_varchar"), rs.indexOf("C_VARCHAR"));
    EXPECT_EQ(rs.indexOf("NO_SUCH"), -1);
    const int num = rs.indexOf("C_NUM_15_2");
    EXPECT_EQ(std::get<std::int64_t>(rs.rows[0][num].data), 123456789012345);
    EXPECT_EQ(rs.columns[num].scale, -2);
    EXPECT_EQ(rs.columns[rs.indexOf("C_VARCHAR")].relation, "TIPOS");
}

// Rows handed over as they are fetched hold what select() keeps. One Value
// is read through every column of every row, so each read meets what the
// one before left: another kind, a longer text, a null.
TEST_F(AttachmentTest, RowsHandedOverOneByOneHoldWhatSelectKeeps)
{
    db::Attachment a(params());
    const db::Sql sql("SELECT * FROM TIPOS ORDER BY ID;");
    const db::ResultSet kept = a.select(sql);
    std::vector<std::vector<db::Value>> handed;
    db::Value reused;
    const std::vector<db::Column> columns = a.selectEach(sql, [&](const db::RowView& row) {
        ASSERT_EQ(row.size(), kept.columns.size());
        handed.emplace_back();
        for (size_t i = 0; i < row.size(); ++i) {
            row.read(i, reused);
            EXPECT_EQ(row.isNull(i), reused.isNull());
            handed.back().push_back(reused);
        }
    });
    ASSERT_EQ(columns.size(), kept.columns.size());
    for (size_t i = 0; i < columns.size(); ++i) {
        EXPECT_EQ(columns[i].name, kept.columns[i].name);
        EXPECT_EQ(columns[i].kind(), kept.columns[i].kind());
    }
    ASSERT_EQ(handed.size(), kept.size());
    for (size_t r = 0; r < handed.size(); ++r)
        for (size_t i = 0; i < columns.size(); ++i)
            EXPECT_EQ(handed[r][i].data, kept.rows[r][i].data) << "row " << r << ", " << columns[i].name;

    // No row: the columns all the same.
    int calls = 0;
    EXPECT_EQ(
        a.selectEach("SELECT ID, C_VARCHAR FROM TIPOS WHERE ID < 0", [&](const db::RowView&) { ++calls; })
            .size(),
        2u);
    EXPECT_EQ(calls, 0);
}

TEST_F(AttachmentTest, TextBoundAsSentWhateverItHolds)
{
    db::Attachment a(params());
    std::string every;
    for (int b = 1; b < 256; ++b)
        every += static_cast<char>(b);
    const std::string values[] = {"O'Brien", "'; DELETE FROM TIPOS; --", base::fromWin1252(every), ""};
    int id = 100;
    for (const std::string& v : values) {
        a.execute(db::Sql("INSERT INTO TIPOS (ID, C_VARCHAR) VALUES (?, ?);",
                          {db::bare(std::to_string(id)), db::text(v)}));
        const auto rs =
            a.select(db::Sql("SELECT C_VARCHAR FROM TIPOS WHERE ID = ?", {db::bare(std::to_string(id))}));
        ASSERT_EQ(rs.size(), 1u);
        EXPECT_EQ(std::get<std::string>(rs.rows[0][0].data), v);
        ++id;
    }
    EXPECT_EQ(a.select("SELECT COUNT(*) FROM TIPOS WHERE ID < 100").rows[0][0].data,
              db::Value::Data(std::int64_t(2)));
    a.execute("DELETE FROM TIPOS WHERE ID >= 100");
}

TEST_F(AttachmentTest, TextConvertedByTheDatabaseToTheColumnType)
{
    db::Attachment a(params());
    a.execute(db::Sql("INSERT INTO TIPOS (ID, C_DATE, C_TIMESTAMP, C_INTEGER, C_NUM_9_2) VALUES (?,?,?,?,?)",
                      {db::bare("200"), db::text("12/31/2026"), db::text("2026-12-31 08:00:00"),
                       db::text("17"), db::bare("-12.5")}));
    const auto rs = a.select("SELECT C_DATE, C_TIMESTAMP, C_INTEGER, C_NUM_9_2 FROM TIPOS WHERE ID = 200");
    EXPECT_EQ(db::asText(rs.rows[0][0], rs.columns[0]), "31/12/2026");
    EXPECT_EQ(db::asText(rs.rows[0][1], rs.columns[1]), "31/12/2026 08:00:00");
    EXPECT_EQ(db::asText(rs.rows[0][2], rs.columns[2]), "17");
    EXPECT_EQ(db::asText(rs.rows[0][3], rs.columns[3]), "-12,5");
    EXPECT_THROW(a.execute(db::Sql("UPDATE TIPOS SET C_DATE = ? WHERE ID = 200", {db::text("not a date")})),
                 db::DbError);
    a.execute("DELETE FROM TIPOS WHERE ID = 200");
}

TEST_F(AttachmentTest, BareValuesBindAsNumbersOrNullAndRejectTheRest)
{
    db::Attachment a(params());
    a.execute(db::Sql("INSERT INTO TIPOS (ID, C_INTEGER, C_DOUBLE, C_VARCHAR) VALUES (?,?,?,?)",
                      {db::bare("300"), db::bare(" NULL "), db::bare("1E20"), db::bare("12.50")}));
    const auto rs = a.select("SELECT C_INTEGER, C_DOUBLE, C_VARCHAR FROM TIPOS WHERE ID = 300");
    EXPECT_TRUE(rs.rows[0][0].isNull());
    EXPECT_DOUBLE_EQ(std::get<double>(rs.rows[0][1].data), 1e20);
    EXPECT_EQ(std::get<std::string>(rs.rows[0][2].data), "12.50"); // as the literal would have stored it

    for (const char* bad : {"", "12,5", "abc", "1) OR (1=1"}) {
        SCOPED_TRACE(bad);
        try {
            a.execute(db::Sql("UPDATE TIPOS SET C_INTEGER = ? WHERE ID = 300", {db::bare(bad)}));
            FAIL() << "accepted";
        } catch (const db::DbError& e) {
            EXPECT_NE(std::string(e.what()).find("inválido"), std::string::npos) << e.what();
        }
    }
    EXPECT_TRUE(a.select("SELECT C_INTEGER FROM TIPOS WHERE ID = 300").rows[0][0].isNull());
    a.execute("DELETE FROM TIPOS WHERE ID = 300");
}

TEST_F(AttachmentTest, ErrorsCarryFirebirdsMessage)
{
    db::Attachment a(params());
    try {
        a.select("SELECT NO_SUCH_COLUMN FROM TIPOS");
        FAIL();
    } catch (const db::DbError& e) {
        EXPECT_NE(std::string(e.what()).find("NO_SUCH_COLUMN"), std::string::npos) << e.what();
        EXPECT_EQ(e.sqlState(), "42S22");
    }
    // The attachment stays usable after a failed statement.
    EXPECT_EQ(a.select("SELECT 1 FROM RDB$DATABASE").size(), 1u);

    db::ConnectionParams wrong = params();
    wrong.password = "wrong";
    EXPECT_THROW(db::Attachment{wrong}, db::DbError);
    wrong = params();
    wrong.database = "localhost:/nonexistent/x.fdb";
    EXPECT_THROW(db::Attachment{wrong}, db::DbError);
}

TEST_F(AttachmentTest, ChangesAreVisibleToOthersAsSoonAsTheyRan)
{
    db::Attachment writer(params());
    db::Attachment reader(params());
    EXPECT_EQ(reader.select("SELECT COUNT(*) FROM TIPOS WHERE ID = 400").rows[0][0].data,
              db::Value::Data(std::int64_t(0)));
    writer.execute("INSERT INTO TIPOS (ID) VALUES (400)");
    // Read committed with record versions: the reader's open transaction sees it.
    EXPECT_EQ(reader.select("SELECT COUNT(*) FROM TIPOS WHERE ID = 400").rows[0][0].data,
              db::Value::Data(std::int64_t(1)));
    writer.execute("DELETE FROM TIPOS WHERE ID = 400");
}
