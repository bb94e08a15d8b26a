#include "db/ResultSet.h"

#include <firebird/Interface.h>

namespace quelvor::db {
namespace {

// ASCII letters only, whatever the locale: column names are plain ASCII.
char upper(char c)
{
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

bool sameIgnoringCase(const std::string& a, const std::string& b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (upper(a[i]) != upper(b[i]))
            return false;
    return true;
}

} // namespace

ColumnKind Column::kind() const
{
    switch (type) {
    case SQL_TEXT:
    case SQL_VARYING:
        return ColumnKind::String;
    case SQL_SHORT:
        return scale < 0 ? ColumnKind::BCD : ColumnKind::SmallInt;
    case SQL_LONG:
        return scale < 0 ? ColumnKind::BCD : ColumnKind::Integer;
    case SQL_INT64:
        return scale < 0 ? ColumnKind::FMTBcdField : ColumnKind::LargeInt;
    case SQL_FLOAT:
    case SQL_DOUBLE:
    case SQL_D_FLOAT:
        return ColumnKind::Float;
    case SQL_TYPE_DATE:
        return ColumnKind::Date;
    case SQL_TIMESTAMP:
        return ColumnKind::SQLTimeStamp;
    case SQL_TYPE_TIME:
        return ColumnKind::Time;
    case SQL_BOOLEAN:
        return ColumnKind::Boolean;
    case SQL_BLOB:
        return subType == 1 ? ColumnKind::Memo : ColumnKind::Blob;
    default:
        return ColumnKind::Unknown;
    }
}

std::string_view kindName(ColumnKind kind)
{
    switch (kind) {
    case ColumnKind::String:
        return "String";
    case ColumnKind::SmallInt:
        return "SmallInt";
    case ColumnKind::Integer:
        return "Integer";
    case ColumnKind::BCD:
        return "BCD";
    case ColumnKind::FMTBcdField:
        return "FMTBcdField";
    case ColumnKind::LargeInt:
        return "LargeInt";
    case ColumnKind::Float:
        return "Float";
    case ColumnKind::Date:
        return "Date";
    case ColumnKind::SQLTimeStamp:
        return "SQLTimeStamp";
    case ColumnKind::Time:
        return "Time";
    case ColumnKind::Boolean:
        return "Boolean";
    case ColumnKind::Memo:
        return "Memo";
    case ColumnKind::Blob:
        return "Blob";
    case ColumnKind::Unknown:
        break;
    }
    return "Unknown";
}

int indexOf(const std::vector<Column>& columns, const std::string& name)
{
    for (size_t i = 0; i < columns.size(); ++i)
        if (sameIgnoringCase(columns[i].name, name))
            return static_cast<int>(i);
    return -1;
}

int ResultSet::indexOf(const std::string& name) const
{
    return db::indexOf(columns, name);
}

std::string asText(const Value& value, const Column& column)
{
    struct Visitor
    {
        const Column& column;
        std::string operator()(std::monostate) const { return {}; }
        std::string operator()(const std::string& s) const { return s; }
        std::string operator()(std::int64_t v) const
        {
            if (column.scale < 0)
                return base::generalScaled(v, column.scale, base::kDecimalSeparator);
            return std::to_string(v);
        }
        std::string operator()(double v) const { return base::generalFloat(v, 15, base::kDecimalSeparator); }
        std::string operator()(const base::Date& d) const { return base::shortDate(d); }
        std::string operator()(const base::Time& t) const { return base::longTime(t); }
        std::string operator()(const base::Timestamp& ts) const { return base::dateTimeText(ts); }
        std::string operator()(bool b) const { return b ? "True" : "False"; }
    };
    return std::visit(Visitor{column}, value.data);
}

} // namespace quelvor::db
