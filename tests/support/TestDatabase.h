#pragma once

// A scratch Firebird database for one test: created on the local server
// (localhost:3050) from schema/coleta.sql or schema/tarvell.sql, optionally
// with the demo data, as the demo user KORVA, and dropped again when the
// object goes. Each object has a folder of its own under /tmp, so tests may
// run in parallel. Everything goes through isql-fb in a child process, so the
// fixture does not depend on the database layer that the tests exercise.
//
// Declare it before anything that attaches to it: the drop fails while an
// attachment is still open, and that is reported as a test failure.
//
// One object belongs to one thread.

#include <string>

namespace quelvor::test {

class TestDatabase
{
public:
    enum class Kind
    {
        Coleta,  // the collection database
        Tarvell, // the ERP database
    };

    // Throws std::runtime_error with isql's output when the database cannot
    // be created or the schema does not load.
    explicit TestDatabase(Kind kind, bool demoData = false);
    ~TestDatabase();

    TestDatabase(const TestDatabase&) = delete;
    TestDatabase& operator=(const TestDatabase&) = delete;

    // "localhost:/tmp/quelvor-test-XXXXXX/coleta.fdb"
    const std::string& connectionString() const { return m_connectionString; }
    // The database file's path on this machine.
    const std::string& filePath() const { return m_filePath; }
    std::string user() const;
    std::string password() const;

    // Runs SQL statements (each ending with ';', SET TERM allowed) in one isql
    // session and commits them. Stops at the first failing statement and
    // throws std::runtime_error carrying isql's output.
    void execScript(const std::string& sql) const;

    // Runs a script like execScript and returns what its SELECTs print,
    // without headings: one line per row, leading and trailing blanks and
    // empty lines dropped, lines joined by '\n'. Columns of one row stand
    // side by side padded with blanks, so select one value per row (or glue
    // the values together in the SELECT) when comparing. NULL prints as
    // "<null>".
    std::string queryText(const std::string& sql) const;

private:
    std::string runOnDatabase(const std::string& sql) const;

    std::string m_folder;
    std::string m_filePath;
    std::string m_connectionString;
};

// The SYSDBA password of the local server, read from
// /etc/firebird/3.0/SYSDBA.password; empty when that file cannot be read.
std::string sysdbaPassword();

} // namespace quelvor::test
