#pragma once
// One attachment to a Firebird database with its default transaction (read
// committed, record versions, wait on locks), started on first use.
//
// Owned by one thread at a time: an attachment is never shared between threads.
// Statements go out with their values bound as parameters (see Sql). A SELECT
// is fetched whole into a ResultSet, or handed over row by row as it is
// fetched (selectEach), none of it kept; any other statement is executed and then
// committed with commit-retaining, so a change is durable as soon as it ran.
// Text goes out as Windows-1252 and comes back as UTF-8.

#include "db/ResultSet.h"
#include "db/RowView.h"
#include "db/Sql.h"

#include <atomic>
#include <chrono>
#include <cstddef>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace Firebird {
class IAttachment;
class IStatement;
class ITransaction;
} // namespace Firebird

namespace quelvor::db {

struct ConnectionParams
{
    std::string database; // connection string: server, colon, file path
    std::string user;
    std::string password;
    std::string charset = "WIN1252"; // lc_ctype; empty: none requested
    int lockTimeout = 0;             // seconds a statement waits for a locked row; 0: no limit
};

class Attachment
{
public:
    Attachment() = default;
    // Attaches at once; throws DbError when the database cannot be reached.
    explicit Attachment(const ConnectionParams& params);
    ~Attachment();

    Attachment(Attachment&& other) noexcept;
    Attachment& operator=(Attachment&& other) noexcept;
    Attachment(const Attachment&) = delete;
    Attachment& operator=(const Attachment&) = delete;

    bool connected() const { return m_attachment != nullptr; }
    // A statement or a commit failed because the attachment itself is gone.
    bool broken() const { return m_broken; }
    const ConnectionParams& params() const { return m_params; }

    // Attaches with the given settings when not connected yet.
    void connect(const ConnectionParams& params);
    // Keeps the settings for a later open(), closing the attachment first.
    void configure(const ConnectionParams& params);
    // Attaches with the settings it holds when not connected yet.
    void open();
    // Commits the default transaction and detaches. Throws on failure; the
    // attachment is released either way. A database that has not answered
    // within kPacienciaDoFechamento has the connection closed under it (see
    // CallDeadline): the close then fails rather than wait for TCP to give up.
    void close();
    static constexpr std::chrono::seconds kPacienciaDoFechamento{5};

    ResultSet select(const Sql& sql);
    // The same SELECT, each row handed to `onRow` as it is fetched and not
    // kept; returns the columns (known also when no row comes). An exception
    // from `onRow` ends the fetch and goes to the caller as it is.
    std::vector<Column> selectEach(const Sql& sql, const RowCallback& onRow);
    void execute(const Sql& sql);
    // Ends the default transaction with a commit; the next statement starts a new one.
    // A patience above zero bounds the wait as close() does (a request's
    // final commit); without one the commit takes what it takes.
    void commit(std::chrono::milliseconds patience = {});

    // Any thread: makes the statement running on this attachment fail (as
    // cancelled) at once; nothing when none runs. The caller keeps the
    // attachment from being closed meanwhile (see Cancellation).
    void cancel() noexcept;
    // Any thread: closes the client side of the attachment's connection, so
    // that a call waiting for a server that no longer answers (whose cancel
    // cannot arrive) fails at once. The server rolls back what was open; the
    // attachment is unusable afterwards and its next call fails with a
    // connection-class error. Same caveat as cancel().
    void abort() noexcept;
    // While set, a statement that would start after the flag went up fails
    // at once instead: a cancel that came between two statements is not lost.
    void watchCancellation(const std::atomic<bool>* cancelled) { m_cancelled = cancelled; }

    // Asks the server whether the attachment is still there; false (and
    // marked broken) when it is not, or has not answered within
    // kPacienciaDoFechamento.
    bool ping() noexcept;
    // The lock wait of the transactions started from now on.
    void setLockTimeout(int seconds) { m_params.lockTimeout = seconds; }

    // Keeps up to `limit` prepared statements, by their text, for as long as
    // the attachment lives (0, the default: prepared for each call). A kept
    // statement holds its tables' metadata locks, so only attachments that
    // live no longer than their requests' traffic keep any (the pool's).
    void setStatementCache(std::size_t limit);

private:
    Firebird::ITransaction* transaction();
    Firebird::IStatement* prepareStatement(Firebird::ITransaction* tra, const std::string& text);
    Firebird::IStatement* cachedStatement(const std::string& text);
    // Takes the statement over: kept, or freed when nothing is kept.
    void keepStatement(const std::string& text, Firebird::IStatement* stmt) noexcept;
    void freeStatements() noexcept;
    std::vector<Column> selectEachNow(const Sql& sql, const RowCallback& onRow);
    void executeNow(const Sql& sql);
    void releaseAll() noexcept;
    void cancelOperation(int kind) noexcept; // fb_cancel_raise or fb_cancel_abort

    ConnectionParams m_params;
    Firebird::IAttachment* m_attachment = nullptr;
    Firebird::ITransaction* m_transaction = nullptr;
    const std::atomic<bool>* m_cancelled = nullptr;
    bool m_broken = false;
    std::vector<std::pair<std::string, Firebird::IStatement*>> m_statements; // least recently used first
    std::size_t m_statementLimit = 0;
};

// Errors met where nothing can be raised (a destructor's commit or detach) go
// here; the application points it at the operator log. Default: standard error.
void setQuietErrorHandler(std::function<void(const std::string&)> handler);

} // namespace quelvor::db
