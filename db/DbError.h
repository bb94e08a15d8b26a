#pragma once
// The one error type of the database layer. It carries Firebird's own message
// (copied out of the status vector before the status is disposed), the
// SQLSTATE when the server gave one, and the error codes of the status vector.

#include <stdexcept>
#include <string>
#include <vector>

namespace quelvor::db {

class DbError : public std::runtime_error
{
public:
    explicit DbError(const std::string& message, std::string sqlState = {}, std::vector<long> codes = {})
        : std::runtime_error(message), m_sqlState(std::move(sqlState)), m_codes(std::move(codes))
    {
    }
    const std::string& sqlState() const { return m_sqlState; }
    const std::vector<long>& codes() const { return m_codes; }

    // Another transaction changed or locked the row first (an update conflict
    // or a deadlock), and the statement may well succeed when run again. The
    // server reports a lock wait that timed out in the same words; only the
    // time the statement took tells the two apart.
    bool isConflict() const;
    // The statement was cancelled from another thread (a stop).
    bool isCancelled() const;
    // The attachment itself is gone: a network error, a lost connection, a
    // database shut down, a bad handle. Such an attachment is never used again.
    bool isConnectionLost() const;

private:
    std::string m_sqlState;
    std::vector<long> m_codes;
};

} // namespace quelvor::db
