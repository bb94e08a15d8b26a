#pragma once
// A result set fetched whole: the columns with their Firebird type, subtype,
// scale and null flag, and every row's values already converted to UTF-8 text,
// exact scaled numbers, doubles, dates and times. Plain data: once fetched it no
// longer needs the attachment and may be read from any thread.

#include "base/RegionalFormat.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace quelvor::db {

// What a column holds, as the server tells its values apart: the Firebird
// type with its scale and subtype.
enum class ColumnKind
{
    String,       // CHAR, VARCHAR
    SmallInt,     // SMALLINT
    Integer,      // INTEGER
    BCD,          // SMALLINT or INTEGER with a scale: NUMERIC/DECIMAL of up to 9 digits
    FMTBcdField,  // BIGINT with a scale: NUMERIC/DECIMAL of 10 to 18 digits
    LargeInt,     // BIGINT, NUMERIC(p,0) of 10 to 18 digits
    Float,        // FLOAT, DOUBLE PRECISION
    Date,         // DATE
    SQLTimeStamp, // TIMESTAMP
    Time,         // TIME
    Boolean,      // BOOLEAN
    Memo,         // text BLOB
    Blob,         // any other BLOB
    Unknown,
};

// The name under which the operator knows a kind ("String", "Integer", "BCD",
// "SQLTimeStamp", ...): display text only, for log lines and boxes.
std::string_view kindName(ColumnKind kind);

struct Column
{
    std::string name;     // alias, as the select list names it
    std::string field;    // the table's column name, when there is one
    std::string relation; // the table, when there is one
    unsigned type = 0;    // SQL_TEXT, SQL_VARYING, SQL_LONG, ... (without the nullable bit)
    int subType = 0;
    int scale = 0;
    unsigned length = 0;
    unsigned charSet = 0;

    ColumnKind kind() const;
};

struct Value
{
    // Text and text BLOBs: UTF-8; CHAR keeps its trailing blanks. Binary BLOBs:
    // the raw bytes. Whole numbers and NUMERIC/DECIMAL: the scaled integer, with
    // the column's scale. FLOAT/DOUBLE: double.
    using Data = std::variant<std::monostate, std::string, std::int64_t, double, base::Date, base::Time,
                              base::Timestamp, bool>;
    Data data;

    bool isNull() const { return std::holds_alternative<std::monostate>(data); }
};

// Position of the column by its alias, ASCII case-insensitive; -1 when absent.
int indexOf(const std::vector<Column>& columns, const std::string& name);

class ResultSet
{
public:
    std::vector<Column> columns;
    std::vector<std::vector<Value>> rows;

    bool empty() const { return rows.empty(); }
    size_t size() const { return rows.size(); }
    // Position of the column by its alias, ASCII case-insensitive; -1 when absent.
    int indexOf(const std::string& name) const;
};

// The text form of a value as the operator's regional settings show it:
// numbers with the decimal comma, dates dd/mm/yyyy, a timestamp with its time
// (the date alone at midnight), booleans True/False, NULL as the empty text.
std::string asText(const Value& value, const Column& column);

} // namespace quelvor::db
