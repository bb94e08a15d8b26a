#pragma once
// Builds an upload statement piece by piece in the order the handheld's values
// stand in it: literal text as is, each value as a '?' bound to it. The text
// thus reads, through db::Sql::display(), exactly as the statement the
// operator knows from the log, while the database only sees parameters.

#include "db/Sql.h"

#include <string>
#include <utility>
#include <vector>

namespace quelvor::protocol {

class MontaSql
{
public:
    explicit MontaSql(std::string inicio) : m_texto(std::move(inicio)) {}

    MontaSql& mais(const char* literal)
    {
        m_texto += literal;
        return *this;
    }
    // A value the statement carries between apostrophes.
    MontaSql& texto(const std::string& valor) { return valorBind(db::text(valor)); }
    // A value the statement carries as received: a number or the word null.
    MontaSql& bare(const std::string& valor) { return valorBind(db::bare(valor)); }
    MontaSql& nulo() { return valorBind(db::null()); }

    db::Sql sql() const { return db::Sql(m_texto, m_valores); }

private:
    MontaSql& valorBind(db::SqlParam p)
    {
        m_texto += '?';
        m_valores.push_back(std::move(p));
        return *this;
    }

    std::string m_texto;
    std::vector<db::SqlParam> m_valores;
};

} // namespace quelvor::protocol
