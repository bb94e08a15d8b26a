#include "protocol/TConexao.h"

#include <gtest/gtest.h>

using quelvor::protocol::TConexao;
using V = std::vector<std::string>;

TEST(Split, FieldsAsTheHandheldsSendThem)
{
    const std::string s(1, '\x02');
    struct Case
    {
        std::string text;
        V fields;
    };
    const Case cases[] = {
        {"", {}},
        {"1001", {"1001"}},
        {"1001" + s, {"1001", ""}},
        {s, {"", ""}},
        {"1000" + s + "A" + s + s + "C", {"1000", "A", "", "C"}},
        {"1002" + s + " x " + s + "57" + s, {"1002", " x ", "57", ""}},
        {s + s, {"", "", ""}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(TConexao::Split(c.text, s), c.fields) << c.text;
    EXPECT_EQ(TConexao::Split("a;;b", ";"), (V{"a", "", "b"}));
}
