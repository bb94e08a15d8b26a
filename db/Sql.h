#pragma once
// A statement with its bound values. The text holds one '?' for each value, in
// the place where the classic statement spliced it; display() puts the values
// back in those places (text values between apostrophes, bare values as sent)
// so that a failed statement is logged the way the operator knows it, while the
// database only ever sees parameters.
//
// Bare values are what a handheld sends "as is" for numbers: an SQL numeric
// literal (optional sign, digits, optional point and digits, optional exponent)
// or the word null in any letter case, with optional blanks around. Anything
// else fails the statement before it reaches the database, and so does a
// number the database would refuse as a literal: a decimal whose digits do not
// fit 64 bits, or an exponent form beyond the range of a double.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace quelvor::db {

struct SqlParam
{
    enum class Kind
    {
        Text,
        Bare,
        Null
    };
    Kind kind = Kind::Text;
    std::string value; // UTF-8
};

inline SqlParam text(std::string value)
{
    return {SqlParam::Kind::Text, std::move(value)};
}
inline SqlParam bare(std::string value)
{
    return {SqlParam::Kind::Bare, std::move(value)};
}
inline SqlParam null()
{
    return {SqlParam::Kind::Null, {}};
}

class Sql
{
public:
    Sql(const char* text) : m_text(text) {}
    Sql(std::string text) : m_text(std::move(text)) {}
    Sql(std::string text, std::vector<SqlParam> params) : m_text(std::move(text)), m_params(std::move(params))
    {
    }

    const std::string& text() const { return m_text; }
    const std::vector<SqlParam>& params() const { return m_params; }

    // The statement as it would read with its values spliced in.
    std::string display() const;

    // The same statement with blanks and control characters dropped at both
    // ends of its text.
    Sql trimmed() const;

    // Where the text runs with a cast that the spliced statement did not
    // need, the text that the log shows instead (same placeholders).
    Sql& shownAs(std::string displayText)
    {
        m_displayText = std::move(displayText);
        return *this;
    }

private:
    std::string m_text;
    std::vector<SqlParam> m_params;
    std::optional<std::string> m_displayText;
};

// How a bare value binds: as NULL, as a scaled whole number (digits and a
// scale, like NUMERIC(18,s)) or as a double (exponent form or too many digits).
struct BareNumber
{
    enum class Kind
    {
        Null,
        Scaled,
        Double
    };
    Kind kind = Kind::Null;
    std::int64_t scaled = 0;
    int scale = 0; // 0 or negative: value = scaled * 10^scale
    double real = 0;
};

// Throws DbError with a clear message when the text is not a bare value or
// lies beyond what a literal may hold.
BareNumber parseBare(const std::string& value);

// Positions of the '?' placeholders outside quoted literals and comments.
std::vector<size_t> placeholderPositions(const std::string& sqlText);

// Blanks and control characters (code 32 or less) removed at both ends.
std::string trimSql(const std::string& text);

} // namespace quelvor::db
