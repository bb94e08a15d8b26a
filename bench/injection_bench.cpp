// Whether a hostile text in a request can do anything but be stored as text:
// every payload of a list (quotes, "'; DROP TABLE ...--", "' OR '1'='1",
// comments, semicolons, Windows-1252 high bytes, undefined bytes, control
// characters, CRs, '%', '\', fields as wide as their column and far wider
// within the line limit, ...) goes in every field of every request type: the
// handshake (each on a new connection), the five catalogue requests, the key
// request and the three uploads (on a released session). Then
//  - nothing was executed: the same tables are there, the canary table holds
//    its one row unchanged, no table lost rows, the catalogues have not
//    changed, the handhelds' register grew only by the identifiers that
//    handshakes sent (an unknown handheld is registered, not released), and
//    loads, collections and tracking points grew at most by what was
//    acknowledged;
//  - every acknowledged upload whose text field held the payload stored it
//    byte for byte (read back and compared with what was sent, decoded from
//    Windows-1252; the sample field without its apostrophes, as the server
//    writes it).
// Prints payloads sent, acknowledged, stored intact, mismatches.
//
// Usage: injection_bench [--port N] [--quelvord PATH] [--verbose]
// Exit status 0 when nothing was executed and there is no mismatch.

#include "bench/BenchSupport.h"

#include "base/TextConversion.h"
#include "db/Attachment.h"

#include <cstdio>
#include <map>
#include <memory>
#include <optional>
#include <set>

using namespace quelvor;
using tools::Fields;

namespace {

const std::string kDevice = "INJ-01";

// Windows-1252 bytes, as they travel.
std::vector<std::string> payloads()
{
    std::vector<std::string> p = {
        "'",
        "''",
        "O'Neil 12",
        "'; DROP TABLE CANARIO;--",
        "'); DROP TABLE CARGAS; --",
        "1); DELETE FROM CANARIO; --",
        "' OR '1'='1",
        "1 OR 1=1",
        "0 OR 1=1",
        "1' --",
        "1; UPDATE CANARIO SET TEXTO = 'x'",
        "/* a comment */",
        "*/ DROP TABLE CANARIO /*",
        "-- a comment",
        "a;b;c;",
        "\"double quoted\"",
        "`back` quoted",
        "%",
        "%_%",
        "\\",
        "\\'",
        "\\x27 \\0 \\n",
        "\r",
        "a\rb",
        "\t tab",
        "  blanks around  ",
        "",
        " ",
        "|;,|",
        "NULL",
        "null",
        "CURRENT_TIMESTAMP",
        "GEN_ID(GEN_RASTREAMENTO, 1000)",
        "(SELECT FIRST 1 PAR_EMPRESA FROM PARAMETROS)",
        "1e308",
        "-0",
        "0x41",
        "\x01\x03\x1b\x7f",
        "\xe7\xe3o S\xc3O JO\xc3O \xe1\xe9\xed\xf3\xfa \xfc \xf1",
        "\x80 \x85 \x93quoted\x94 \x96 \x99",
        "\x81\x8d\x8f\x90\x9d",
        "\xff\xfe\xfd",
        "\xc3\xa7 (UTF-8 bytes)",
        "'\x93; DROP TABLE CANARIO;--\x94",
    };
    // As wide as the text columns are (30, 64, 100), and far wider.
    for (size_t width : {30u, 64u, 100u, 101u, 8000u}) {
        std::string s;
        while (s.size() < width)
            s += "';--\xe7";
        p.push_back(s.substr(0, width));
    }
    return p;
}

// A readable form of a payload for the log: control and high bytes as \xHH.
std::string shown(const std::string& bytes)
{
    std::string out;
    for (unsigned char c : bytes.substr(0, 40)) {
        char hex[8];
        if (c < 0x20 || c >= 0x7f) {
            std::snprintf(hex, sizeof hex, "\\x%02x", c);
            out += hex;
        } else {
            out += static_cast<char>(c);
        }
    }
    return bytes.size() > 40 ? out + "... (" + std::to_string(bytes.size()) + " bytes)" : out;
}

std::string sqlText(const db::Value& v)
{
    if (const auto* s = std::get_if<std::string>(&v.data))
        return *s;
    if (const auto* n = std::get_if<std::int64_t>(&v.data))
        return std::to_string(*n);
    return v.isNull() ? "<null>" : "<value>";
}

// What the database holds, for the comparison before and after.
struct Snapshot
{
    std::map<std::string, long> rows; // per table
    std::string canary;
    std::set<std::string> devices; // DIS_ID of the register
};

Snapshot snapshot(db::Attachment& db)
{
    Snapshot s;
    const db::ResultSet tables = db.select("SELECT TRIM(RDB$RELATION_NAME) FROM RDB$RELATIONS "
                                           "WHERE COALESCE(RDB$SYSTEM_FLAG, 0) = 0 AND RDB$VIEW_BLR IS NULL");
    for (const auto& row : tables.rows) {
        const std::string name = sqlText(row[0]);
        const db::ResultSet count = db.select("SELECT COUNT(*) FROM \"" + name + "\"");
        s.rows[name] = std::stol(sqlText(count.rows.at(0).at(0)));
    }
    const db::ResultSet canary = db.select("SELECT ID || ':' || TEXTO FROM CANARIO ORDER BY ID");
    for (const auto& row : canary.rows)
        s.canary += sqlText(row[0]) + ";";
    for (const auto& row : db.select("SELECT DIS_ID FROM DISPOSITIVOS").rows)
        s.devices.insert(sqlText(row[0]));
    return s;
}

// One request type: a valid request, and the fields that land in a text
// column with how to read that column back.
struct Message
{
    std::string name;
    std::function<Fields(long unique)> build; // a valid request that `unique` tells apart
    bool upload = false;
    // field -> SELECT of the stored text of the request built with `unique`
    std::map<size_t, std::function<db::Sql(long unique)>> textFields;
};

struct Tally
{
    long sent = 0;
    long answered = 0;     // an answer came and the connection stayed
    long acknowledged = 0; // uploads only
    long compared = 0;     // acknowledged with the payload in a text field
    long intact = 0;
    long mismatches = 0;
    long connectionsEnded = 0;
    std::map<std::string, long> ackedByCode;
};

} // namespace

namespace {

int run(int argc, char** argv)
{
    bench::ServerChoice choice;
    bool verbose = false;
    bench::CommandLine line("injection_bench");
    line.server(choice);
    line.flag("--verbose", verbose);
    line.parse(argc, argv);

    test::TestDatabase coleta(test::TestDatabase::Kind::Coleta, true);
    bench::registerDevices(coleta, {kDevice});
    coleta.execScript("CREATE TABLE CANARIO (ID INTEGER NOT NULL PRIMARY KEY, TEXTO VARCHAR(40));\n"
                      "INSERT INTO CANARIO VALUES (1, 'intocado');\n");
    const base::Settings settings = bench::serverSettings(coleta, choice.port);
    db::ConnectionParams params;
    params.database = coleta.connectionString();
    params.user = coleta.user();
    params.password = coleta.password();

    tools::Handheld handheld;
    handheld.device = kDevice;
    const std::string now = tools::timestampText(std::chrono::system_clock::now());
    const long collectionsLoad = 880000000;
    std::vector<Message> messages;
    messages.push_back({"handshake 1000", [&](long) { return tools::handshakeFields(handheld); }, false, {}});
    for (const std::string& code : tools::kCatalogueCodes)
        messages.push_back({"catalogue " + code,
                            [&, code](long) { return tools::catalogueFields(handheld, code, "0"); },
                            false,
                            {}});
    messages.push_back({"key 4001", [&](long) { return tools::keyFields(handheld, "1"); }, false, {}});
    messages.push_back({"load 6001",
                        [&](long unique) {
                            tools::Load load;
                            load.code = std::to_string(unique);
                            load.localId = std::to_string(unique);
                            load.date = tools::dateText(std::chrono::system_clock::now());
                            load.start = now;
                            return tools::loadFields(handheld, load);
                        },
                        true,
                        {}});
    auto loadColumn = [](const char* column) {
        return [column](long unique) {
            return db::Sql(std::string("SELECT ") + column + " FROM CARGAS WHERE CAR_CODIGO = ?",
                           {db::bare(std::to_string(unique))});
        };
    };
    messages.back().textFields = {{9, loadColumn("CAR_ID_APARELHO")},
                                  {11, loadColumn("CAR_FINALIZADO")},
                                  {13, loadColumn("CAR_USUARIO")}};
    messages.push_back({"collection 6002",
                        [&](long unique) {
                            tools::Collection c;
                            c.loadCode = std::to_string(collectionsLoad);
                            c.localId = std::to_string(unique);
                            c.when = now;
                            return tools::collectionFields(handheld, c);
                        },
                        true,
                        {}});
    auto collectionColumn = [=](const char* column) {
        return [=](long unique) {
            return db::Sql(std::string("SELECT ") + column +
                               " FROM COLETAS WHERE CAR_CODIGO = ? AND COL_IDORIGINAL = ?",
                           {db::bare(std::to_string(collectionsLoad)), db::bare(std::to_string(unique))});
        };
    };
    messages.back().textFields = {{14, collectionColumn("COL_USUARIO")},
                                  {15, collectionColumn("COL_CANCELADA")},
                                  {19, collectionColumn("COL_TESTEACIDEZ")},
                                  {24, collectionColumn("COL_AMOSTRA")}};
    messages.push_back({"tracking 6003",
                        [&](long unique) {
                            tools::TrackingPoint p;
                            p.localId = std::to_string(unique);
                            p.openLoad = std::to_string(unique);
                            p.when = now;
                            return tools::trackingFields(handheld, p);
                        },
                        true,
                        {}});
    auto pointColumn = [](const char* column) {
        return [column](long unique) {
            return db::Sql(std::string("SELECT ") + column + " FROM RASTREAMENTO WHERE RAS_CARGAABERTA = ?",
                           {db::bare(std::to_string(unique))});
        };
    };
    messages.back().textFields = {{1, pointColumn("RAS_DISPOSITIVO")}, {11, pointColumn("RAS_PRECISAO")}};

    test::QuelvordProcess server(choice.quelvord, settings);
    db::Attachment check(params);
    const Snapshot before = snapshot(check);

    // A released session, opened again whenever the server ends the connection.
    std::unique_ptr<tools::HandheldConnection> connection;
    std::unique_ptr<tools::HandheldSession> session;
    auto released = [&]() -> tools::HandheldSession& {
        if (!session) {
            connection = std::make_unique<tools::HandheldConnection>("127.0.0.1", settings.edtPorta,
                                                                     std::chrono::seconds(30));
            session = std::make_unique<tools::HandheldSession>(*connection, handheld);
            session->handshake();
        }
        return *session;
    };
    auto drop = [&] {
        session.reset();
        connection.reset();
    };

    // The templates themselves go through, else the bench measures nothing.
    long unique = 900000000;
    int status = 0;
    {
        tools::Load base;
        base.code = std::to_string(collectionsLoad);
        base.date = tools::dateText(std::chrono::system_clock::now());
        base.start = now;
        released().upload(tools::loadFields(handheld, base));
        for (const Message& m : messages) {
            if (!m.upload)
                continue;
            try {
                released().upload(m.build(++unique));
            } catch (const std::exception& e) {
                std::printf("the unchanged %s is not acknowledged: %s\n", m.name.c_str(), e.what());
                status = 1;
            }
        }
    }
    const Snapshot baseline = snapshot(check);

    const std::vector<std::string> list = payloads();
    Tally tally;
    // A handshake of an unknown handheld registers it, not released: the
    // register may grow by the identifiers sent, and by nothing else.
    std::set<std::string> handshakeDevices;
    for (const Message& m : messages) {
        const size_t fieldCount = m.build(0).size();
        for (size_t field = 1; field < fieldCount; ++field) {
            for (const std::string& payload : list) {
                const long id = ++unique;
                Fields fields = m.build(id);
                fields[field] = payload;
                ++tally.sent;
                tools::Answer answer;
                try {
                    if (m.name.starts_with("handshake")) {
                        if (field == 1)
                            handshakeDevices.insert(base::fromWin1252(payload));
                        tools::HandheldConnection fresh("127.0.0.1", settings.edtPorta,
                                                        std::chrono::seconds(30));
                        answer = fresh.request(tools::requestLine(fields));
                    } else {
                        answer = released().request(fields);
                    }
                    ++tally.answered;
                } catch (const tools::HandheldError& e) {
                    // A refusal is an answer too; anything else ended the connection.
                    if (e.failure() == tools::Failure::Refused)
                        ++tally.answered;
                    else
                        ++tally.connectionsEnded;
                    if (verbose)
                        std::printf("%s field %zu \"%s\": %s\n", m.name.c_str(), field,
                                    shown(payload).c_str(), e.what());
                    drop();
                    continue;
                }
                if (!m.upload)
                    continue;
                const std::vector<std::string> body = answer.body();
                if (body.size() != 1 || tools::replyFields(body[0]) != tools::expectedAcknowledgement(fields))
                    continue;
                ++tally.acknowledged;
                ++tally.ackedByCode[fields[0]];
                const auto text = m.textFields.find(field);
                if (text == m.textFields.end())
                    continue;
                ++tally.compared;
                std::string expected = base::fromWin1252(payload);
                if (fields[0] == "6002" && field == 24)
                    std::erase(expected, '\'');
                const db::ResultSet stored = check.select(text->second(id));
                const bool intact = stored.size() == 1 && sqlText(stored.rows[0][0]) == expected;
                if (intact) {
                    ++tally.intact;
                    continue;
                }
                ++tally.mismatches;
                std::printf("MISMATCH %s field %zu: sent \"%s\", stored %s\n", m.name.c_str(), field,
                            shown(payload).c_str(),
                            stored.size() == 1
                                ? ("\"" + shown(base::toWin1252(sqlText(stored.rows[0][0]))) + "\"").c_str()
                                : (std::to_string(stored.size()) + " rows").c_str());
            }
        }
    }

    // Nothing executed.
    const Snapshot after = snapshot(check);
    std::vector<std::string> executed;
    if (after.canary != before.canary)
        executed.push_back("the canary table changed: " + before.canary + " -> " + after.canary);
    const std::map<std::string, std::string> grownBy = {
        {"CARGAS", "6001"}, {"COLETAS", "6002"}, {"RASTREAMENTO", "6003"}};
    const std::set<std::string> sessions = {"SESSOESATIVAS", "LOG_CONEXAO"}; // one row per connection
    for (const auto& [table, rows] : baseline.rows) {
        const auto it = after.rows.find(table);
        if (it == after.rows.end()) {
            executed.push_back("table " + table + " is gone");
            continue;
        }
        const long grown = it->second - rows;
        const auto upload = grownBy.find(table);
        if (grown < 0)
            executed.push_back("table " + table + " lost " + std::to_string(-grown) + " rows");
        else if (upload != grownBy.end() && grown > tally.ackedByCode[upload->second])
            executed.push_back("table " + table + " grew by " + std::to_string(grown) + " rows, " +
                               std::to_string(tally.ackedByCode[upload->second]) + " acknowledged");
        else if (upload == grownBy.end() && !sessions.count(table) && table != "DISPOSITIVOS" && grown != 0)
            executed.push_back("table " + table + " grew by " + std::to_string(grown) + " rows");
    }
    long registered = 0;
    for (const std::string& device : after.devices) {
        if (baseline.devices.count(device))
            continue;
        ++registered;
        if (!handshakeDevices.count(device))
            executed.push_back("a handheld registered that no handshake named: \"" +
                               shown(base::toWin1252(device)) + "\"");
    }
    if (static_cast<long>(after.devices.size()) - static_cast<long>(baseline.devices.size()) != registered)
        executed.push_back("handhelds left the register");
    for (const auto& [table, rows] : after.rows)
        if (!baseline.rows.count(table))
            executed.push_back("a new table " + table);
    for (const std::string& e : executed)
        std::printf("EXECUTED: %s\n", e.c_str());

    std::printf(
        "%zu payloads in every field of %zu request types: %ld requests sent, %ld answered, %ld ended "
        "the connection\n",
        list.size(), messages.size(), tally.sent, tally.answered, tally.connectionsEnded);
    std::printf(
        "uploads acknowledged: %ld (6001: %ld, 6002: %ld, 6003: %ld); with the payload in a text field: "
        "%ld, stored intact: %ld, mismatches: %ld\n",
        tally.acknowledged, tally.ackedByCode["6001"], tally.ackedByCode["6002"], tally.ackedByCode["6003"],
        tally.compared, tally.intact, tally.mismatches);
    std::printf("handhelds registered by a handshake, each under an identifier sent: %ld\n", registered);
    std::printf("tables: %zu before, %zu after; canary %s; findings of something executed: %zu\n",
                before.rows.size(), after.rows.size(),
                after.canary == before.canary ? "untouched" : "CHANGED", executed.size());
    bench::printLogErrors(server);
    if (tally.mismatches || !executed.empty() || tally.intact == 0)
        status = 1;
    return status;
}

} // namespace

int main(int argc, char** argv)
{
    return bench::runGuarded("injection_bench", [&] { return run(argc, argv); });
}
