// The common path of every request and the session handshake, against a real
// collection database.
#include "base/OperatorLog.h"
#include "protocol/TConexao.h"
#include "tests/support/TestDatabase.h"

#include <gtest/gtest.h>

using namespace quelvor;
using quelvor::protocol::TConexao;
using quelvor::test::TestDatabase;

namespace {

const std::string S(1, '\x02');

struct Recorder : protocol::ReplyChannel
{
    std::vector<std::string> lines;
    void writeLine(const std::string& line) override { lines.push_back(line); }
};

std::string join(std::initializer_list<std::string> fields, bool trailing = true)
{
    std::string out;
    size_t i = 0;
    for (const auto& f : fields) {
        out += f;
        if (++i < fields.size() || trailing)
            out += S;
    }
    return out;
}

bool logHas(const std::vector<std::string>& lines, const std::string& message)
{
    for (const auto& l : lines) {
        const size_t dash = l.find('-', 10);
        if (dash != std::string::npos && l.substr(dash + 1) == message)
            return true;
    }
    return false;
}

class Handshake : public ::testing::Test
{
protected:
    Handshake() : db(TestDatabase::Kind::Coleta)
    {
        db.execScript(R"(
            INSERT INTO PARAMETROS (PAR_ID, PAR_EMPRESA, PAR_VERSAOAPK) VALUES (1, '12', '3.1');
            INSERT INTO DISPOSITIVOS (DIS_ID, DIS_LIBERADO, DIS_NROTANQUES, DIS_VALIDAMEDIA,
                DIS_PERCENTUALDIFERENCA, DIS_IGNORAROTA, DIS_ROTAS)
                VALUES ('HH-1', 'S', 2, 'S', 15, 'N', '1;2');
            INSERT INTO DISPOSITIVOS (DIS_ID, DIS_LIBERADO, DIS_ROTAS) VALUES ('HH-NULLS', 'S', NULL);
            INSERT INTO DISPOSITIVOS (DIS_ID, DIS_LIBERADO, DIS_ROTAS) VALUES ('HH-BLOCKED', 'N', '7');
        )");
        base::OperatorLog::instance().drain();
    }

    // A connection's session row as the listener leaves it at connect.
    void connect(const std::string& key)
    {
        db.execScript(
            "UPDATE OR INSERT INTO SESSOESATIVAS (SES_ID, LIBERADO, EMPRESACERTA, VERSAOCORRETA, IP) "
            "VALUES (" +
            key + ", '', '', '', '10.0.0.9');");
    }

    // One request, as the intake runs it: a fresh handler per line.
    std::vector<std::string> send(const std::string& line, const std::string& key = "41")
    {
        Recorder r;
        TConexao c(db.connectionString(), db.user(), db.password(), "", "", "");
        c.TrataTextoRecebidoANDROIDObj(line, r, "10.0.0.9", key);
        return r.lines;
    }

    std::string session(const std::string& key = "41")
    {
        return db.queryText("SELECT COALESCE(LIBERADO,'?') || '|' || COALESCE(EMPRESACERTA,'?') || '|' || "
                            "COALESCE(VERSAOCORRETA,'?') FROM SESSOESATIVAS WHERE SES_ID = " +
                            key + ";");
    }

    std::string today()
    {
        const auto d = base::localNow().date;
        char buf[16];
        std::snprintf(buf, sizeof buf, "%02d/%02d/%04d", d.month, d.day, d.year);
        return buf;
    }

    TestDatabase db;
};

const std::string kRefusal = "9998" + S + "SEM PERMISSAO" + S;
const std::string kEnd = "9999" + S;

} // namespace

TEST_F(Handshake, ReleasedHandheldOfTheRightCompany)
{
    connect("41");
    const auto replies = send(join({"1000", "HH-1", "-29.5", "-51.25", "12", "3.1"}));
    ASSERT_EQ(replies.size(), 2u);
    EXPECT_EQ(replies[0], join({"2000", "2", "S", "15", "N", "3.1", "1;2", today()}));
    EXPECT_EQ(replies[1], kEnd);
    EXPECT_EQ(session(), "S|S|S");
    EXPECT_EQ(db.queryText("SELECT LOG_DISPOSITIVO || '|' || LOG_LATITUDE || '|' || CAST(LOG_LONGITUDE AS "
                           "NUMERIC(9,2)) || '|' || LOG_IP "
                           "FROM LOG_CONEXAO;"),
              "HH-1|-29.5|-51.25|10.0.0.9");
    EXPECT_EQ(
        db.queryText("SELECT DIS_VERSAOAPK || '|' || IIF(DIS_DATAHORACONEXAO IS NULL, 'no', 'ok') || '|' || "
                     "DIS_ROTAS FROM DISPOSITIVOS WHERE DIS_ID = 'HH-1';"),
        "3.1|ok|1;2");
    const auto log = base::OperatorLog::instance().drain();
    EXPECT_TRUE(logHas(log, "Id da Conexão-->>>> : 41"));
    EXPECT_TRUE(logHas(log, "Gravar no log, que é a primeira"));
    EXPECT_TRUE(logHas(log, "Tamanho do resultado: 1"));
    EXPECT_TRUE(logHas(log, "é a empresa certa"));
    EXPECT_TRUE(logHas(log, "TEM PERMISSAO"));
    EXPECT_TRUE(logHas(log, "Devolvendo:" + replies[0]));
    EXPECT_TRUE(logHas(log, join({"1000", "HH-1", "-29.5", "-51.25", "12", "3.1"})));

    // The session is open: a second handshake only gets the end line, and
    // other requests pass the gate.
    EXPECT_EQ(send(join({"1000", "HH-1", "-29.5", "-51.25", "12", "3.1"})), std::vector<std::string>{kEnd});
    EXPECT_EQ(send(join({" 1001", "HH-1", "0", "0"})), std::vector<std::string>{kEnd}) << "not a code";
    EXPECT_EQ(send(join({"1001 ", "HH-1", "0", "0"})), std::vector<std::string>{kEnd}) << "not a code";
    // "1001" and a separator are two fields: enough for a whole catalogue.
    EXPECT_EQ(send("1001" + S), (std::vector<std::string>{"2001" + S + "0" + S, kEnd}));
    EXPECT_EQ(db.queryText("SELECT COUNT(*) FROM LOG_CONEXAO;"), "1");
}

TEST_F(Handshake, OutcomesAndTheirEffects)
{
    struct Case
    {
        const char* name;
        std::string line;
        std::vector<std::string> replies;
        const char* session;
        const char* logLine;
    };
    const Case cases[] = {
        {"other version",
         join({"1000", "HH-1", "1", "2", "12", "9.9"}),
         {join({"2000", "2", "S", "15", "N", "3.1", "1;2", today()}), kEnd},
         "S|S|N",
         "Cliente com versão incorreta."},
        {"no trailing separator: version not read",
         join({"1000", "HH-1", "1", "2", "12", "3.1"}, false),
         {join({"2000", "2", "S", "15", "N", "3.1", "1;2", today()}), kEnd},
         "S|S|",
         "é a empresa certa"},
        {"nulls in the register",
         join({"1000", "HH-NULLS", "1", "2", "12", "3.1"}),
         {join({"2000", "0", "", "", "N", "3.1", "", today()}), kEnd},
         "S|S|S",
         "TEM PERMISSAO"},
        {"wrong company",
         join({"1000", "HH-1", "1", "2", "13", "3.1"}),
         {kRefusal},
         "N||S",
         "Dispositivo direcionado para empresa errada"},
        {"blocked handheld",
         join({"1000", "HH-BLOCKED", "1", "2", "12", "3.1"}),
         {kRefusal},
         "N|S|S",
         "--->> SEM PERMISSÃO <<---"},
        {"unknown handheld",
         join({"1000", "HH-NEW", "1", "2", "12", "3.0"}),
         {kRefusal},
         "N|S|N",
         "--->> SEM PERMISSÃO <<---"},
        {"first request not a handshake",
         join({"6002", "HH-1", "1", "2", "x"}),
         {kRefusal},
         "N||",
         "Gravar no log, que é a primeira"},
    };
    int key = 100;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string k = std::to_string(key++);
        connect(k);
        base::OperatorLog::instance().drain();
        EXPECT_EQ(send(c.line, k), c.replies);
        EXPECT_EQ(session(k), c.session);
        EXPECT_TRUE(logHas(base::OperatorLog::instance().drain(), c.logLine));
    }
    // The unknown handheld is registered as not released; the blocked one loses its routes.
    EXPECT_EQ(
        db.queryText("SELECT DIS_LIBERADO || '|' || DIS_ROTAS || '|' || DIS_VERSAOAPK FROM DISPOSITIVOS "
                     "WHERE DIS_ID = 'HH-NEW';"),
        "N||3.0");
    EXPECT_EQ(db.queryText(
                  "SELECT DIS_LIBERADO || '|' || DIS_ROTAS FROM DISPOSITIVOS WHERE DIS_ID = 'HH-BLOCKED';"),
              "N|");
    // The version without trailing separator was stored as empty.
    EXPECT_EQ(db.queryText("SELECT '[' || DIS_VERSAOAPK || ']' FROM DISPOSITIVOS WHERE DIS_ID = 'HH-1';"),
              "[]");

    // A refused session stays refused, a later handshake included.
    EXPECT_EQ(send(join({"1000", "HH-1", "1", "2", "12", "3.1"}), "106"), std::vector<std::string>{kRefusal});
}

TEST_F(Handshake, LinesAnsweredBeforeOrWithoutTheGate)
{
    connect("41");
    // "0000" gets a bare "9999", released or not, before any session check.
    EXPECT_EQ(send("0000" + S + "anything"), std::vector<std::string>{"9999"});
    EXPECT_EQ(session(), "||");
    // A single field: nothing at all.
    EXPECT_TRUE(send("1001").empty());
    EXPECT_EQ(session(), "||");
    // No PARAMETROS row: the company never matches.
    db.execScript("DELETE FROM PARAMETROS;");
    EXPECT_EQ(send(join({"1000", "HH-1", "1", "2", "12", "3.1"})), std::vector<std::string>{kRefusal});
    EXPECT_TRUE(logHas(base::OperatorLog::instance().drain(), "Tamanho do resultado: 0"));
}

TEST_F(Handshake, ShortFirstRequestsAreAbandoned)
{
    // One STX splits into two empty fields: it passes the count, then the
    // session opening needs fields 1 to 3.
    connect("41");
    Recorder r;
    {
        TConexao c(db.connectionString(), db.user(), db.password(), "", "", "");
        EXPECT_THROW(c.TrataTextoRecebidoANDROIDObj(S, r, "10.0.0.9", "41"), protocol::CampoAusente);
    }
    EXPECT_TRUE(r.lines.empty());
    EXPECT_EQ(session(), "N||");
    EXPECT_EQ(db.queryText("SELECT COUNT(*) FROM LOG_CONEXAO;"), "0");

    // A handshake of four fields stops at the company comparison.
    connect("42");
    {
        TConexao c(db.connectionString(), db.user(), db.password(), "", "", "");
        EXPECT_THROW(
            c.TrataTextoRecebidoANDROIDObj(join({"1000", "HH-1", "1", "2"}, false), r, "10.0.0.9", "42"),
            protocol::CampoAusente);
    }
    EXPECT_TRUE(r.lines.empty());
    EXPECT_EQ(session("42"), "N||");
}

TEST_F(Handshake, HandlerCannotBeBuiltWhenADatabaseIsUnreachable)
{
    EXPECT_ANY_THROW(TConexao(db.connectionString(), db.user(), "wrong", "", "", ""));
    EXPECT_ANY_THROW(TConexao(db.connectionString(), db.user(), db.password(),
                              "localhost:/nonexistent/erp.fdb", "KORVA", "x"));
}
