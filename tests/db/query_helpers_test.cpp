#include "db/QueryHelpers.h"

#include <gtest/gtest.h>

using namespace quelvor::db;

TEST(Lpad, PadsOnTheLeftAndNeverCuts)
{
    struct Case
    {
        const char* text;
        int size;
        const char* fill;
        const char* expected;
    };
    const Case cases[] = {
        {"620", 10, "0", "0000000620"},
        {"12345678901", 10, "0", "12345678901"},
        {"", 3, "0", "000"},
        {"1", 4, "ab", "abab1"},  // a two-letter fill can overshoot
        {"ção", 5, "0", "00ção"}, // counted in characters, not bytes
        {"x", 0, "0", "x"},
        {"x", -3, "0", "x"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Lpad(c.text, c.size, c.fill), c.expected) << c.text;
}

TEST(QueryHelpers, SelectIsRecognisedByItsFirstSixLetters)
{
    for (const char* s : {"SELECT 1", "select x", "SeLeCt*", "SELECT"})
        EXPECT_TRUE(isSelectStatement(s)) << s;
    for (const char* s :
         {"WITH A AS (SELECT 1) SELECT * FROM A", "SELEC", "UPDATE X", "EXECUTE BLOCK", "ÇELECT"})
        EXPECT_FALSE(isSelectStatement(s)) << s;
}
