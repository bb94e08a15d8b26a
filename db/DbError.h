#pragma once
// The one error type of the database layer. It carries Firebird's own message
// (copied out of the status vector before the status is disposed) and the
// SQLSTATE when the server gave one.

#include <stdexcept>
#include <string>

namespace quelvor::db {

class DbError : public std::runtime_error
{
public:
    explicit DbError(const std::string& message, std::string sqlState = {})
        : std::runtime_error(message), m_sqlState(std::move(sqlState))
    {
    }
    const std::string& sqlState() const { return m_sqlState; }

private:
    std::string m_sqlState;
};

} // namespace quelvor::db
