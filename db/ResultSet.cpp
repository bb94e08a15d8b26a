#include "db/ResultSet.h"

#include <firebird/Interface.h>

#include <cctype>

namespace quelvor::db {
namespace {

bool sameIgnoringCase(const std::string& a, const std::string& b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::toupper(static_cast<unsigned char>(a[i])) != std::toupper(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

} // namespace

std::string Column::kind() const
{
    switch (type) {
    case SQL_TEXT:
    case SQL_VARYING:
        return "String";
    case SQL_SHORT:
        return scale < 0 ? "BCD" : "SmallInt";
    case SQL_LONG:
        return scale < 0 ? "BCD" : "Integer";
    case SQL_INT64:
        return scale < 0 ? "FMTBcdField" : "LargeInt";
    case SQL_FLOAT:
    case SQL_DOUBLE:
    case SQL_D_FLOAT:
        return "Float";
    case SQL_TYPE_DATE:
        return "Date";
    case SQL_TIMESTAMP:
        return "SQLTimeStamp";
    case SQL_TYPE_TIME:
        return "Time";
    case SQL_BOOLEAN:
        return "Boolean";
    case SQL_BLOB:
        return subType == 1 ? "Memo" : "Blob";
    default:
        return "Unknown";
    }
}

int ResultSet::indexOf(const std::string& name) const
{
    for (size_t i = 0; i < columns.size(); ++i)
        if (sameIgnoringCase(columns[i].name, name))
            return static_cast<int>(i);
    return -1;
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
                return generalScaled(v, column.scale, kDecimalSeparator);
            return std::to_string(v);
        }
        std::string operator()(double v) const { return generalFloat(v, 15, kDecimalSeparator); }
        std::string operator()(const Date& d) const { return shortDate(d); }
        std::string operator()(const Time& t) const { return longTime(t); }
        std::string operator()(const Timestamp& ts) const { return dateTimeText(ts); }
        std::string operator()(bool b) const { return b ? "True" : "False"; }
    };
    return std::visit(Visitor{column}, value.data);
}

} // namespace quelvor::db
