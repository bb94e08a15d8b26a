#pragma once
// One row of a SELECT as the cursor stands on it, read where the database
// client left it: nothing of the row is copied until a value is asked for.
// Handed to the caller of Attachment::selectEach (and executaConsulta) for
// each row in turn; valid only during that call, on that thread.

#include "db/ResultSet.h"

#include <cstddef>
#include <functional>
#include <vector>

namespace quelvor::db {

class RowView
{
public:
    // The fetch's message buffer, its layout and what reads a BLOB (Attachment.cpp).
    struct Source;
    explicit RowView(const Source& source) : m_source(source) {}

    const std::vector<Column>& columns() const;
    std::size_t size() const { return columns().size(); }
    bool isNull(std::size_t column) const;

    // The value as select() keeps it in a ResultSet. `into` is overwritten;
    // the text it held lends its room, so reading the same Value row after
    // row allocates nothing for text that fits.
    void read(std::size_t column, Value& into) const;
    Value value(std::size_t column) const;

private:
    const Source& m_source;
};

// Called once per row, in the order of the statement.
using RowCallback = std::function<void(const RowView&)>;

} // namespace quelvor::db
