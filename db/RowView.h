#pragma once
// One row of a SELECT as it is handed over, one after the other, to the
// caller of Attachment::selectEach, executaConsulta or a StatementRunner's
// consulta. Read where the database client left it (nothing of the row is
// copied until a value is asked for), or from rows already fetched whole.
// Valid only during the call that hands it over, on that thread.

#include "db/ResultSet.h"

#include <cstddef>
#include <functional>
#include <vector>

namespace quelvor::db {

class RowView
{
public:
    virtual ~RowView() = default;

    virtual const std::vector<Column>& columns() const = 0;
    std::size_t size() const { return columns().size(); }
    virtual bool isNull(std::size_t column) const = 0;

    // The value as select() keeps it in a ResultSet. `into` is overwritten;
    // the text it held lends its room, so reading the same Value row after
    // row allocates nothing for text that fits.
    virtual void read(std::size_t column, Value& into) const = 0;
    Value value(std::size_t column) const;
};

// A row of a ResultSet fetched whole, seen as a RowView.
class KeptRowView final : public RowView
{
public:
    KeptRowView(const ResultSet& rows, std::size_t row) : m_rows(rows), m_row(row) {}

    const std::vector<Column>& columns() const override { return m_rows.columns; }
    bool isNull(std::size_t column) const override { return m_rows.rows[m_row][column].isNull(); }
    void read(std::size_t column, Value& into) const override;

private:
    const ResultSet& m_rows;
    const std::size_t m_row;
};

// Called once per row, in the order of the statement.
using RowCallback = std::function<void(const RowView&)>;

} // namespace quelvor::db
