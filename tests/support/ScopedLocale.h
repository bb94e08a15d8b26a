#pragma once
// Switches the whole process to a locale for one scope, as the window
// toolkit does at start with the environment's, and back at the end.
// pt_BR.UTF-8, the locale of the people who run the server, writes a decimal
// comma; scripts/setup.sh generates it where it is missing.

#include <gtest/gtest.h>

#include <clocale>
#include <string>

namespace quelvor::test {

inline constexpr const char* kPtBr = "pt_BR.UTF-8";

class ScopedLocale
{
public:
    explicit ScopedLocale(const char* name) : m_previous(std::setlocale(LC_ALL, nullptr))
    {
        m_active = std::setlocale(LC_ALL, name) != nullptr;
    }
    ~ScopedLocale() { std::setlocale(LC_ALL, m_previous.c_str()); }
    ScopedLocale(const ScopedLocale&) = delete;
    ScopedLocale& operator=(const ScopedLocale&) = delete;

    // The locale took, and it writes numbers with a decimal comma.
    ::testing::AssertionResult writesDecimalComma() const
    {
        if (!m_active)
            return ::testing::AssertionFailure() << "the locale is not installed; run scripts/setup.sh";
        const char* point = std::localeconv()->decimal_point;
        if (std::string(point) != ",")
            return ::testing::AssertionFailure() << "its decimal point is \"" << point << "\"";
        return ::testing::AssertionSuccess();
    }

private:
    std::string m_previous;
    bool m_active = false;
};

} // namespace quelvor::test
