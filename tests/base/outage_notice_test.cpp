#include "base/OutageNotice.h"

#include "base/OperatorLog.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

using namespace quelvor::base;

namespace {

std::vector<std::string> messages()
{
    std::vector<std::string> out;
    for (const auto& l : OperatorLog::instance().drain())
        out.push_back(l.substr(l.find('-', 10) + 1));
    return out;
}

} // namespace

// Said once, then counted at most once an interval, and once more when the
// database answers again; nothing at all while it answers.
TEST(OutageNotice, OnceThenCountedThenRecovered)
{
    messages();
    OutageNotice aviso("das Coletas", std::chrono::milliseconds(200));
    aviso.respondeu();
    EXPECT_TRUE(messages().empty());

    aviso.falhou("connection refused");
    EXPECT_TRUE(aviso.inacessivel());
    EXPECT_EQ(messages(),
              std::vector<std::string>{"Base de dados das Coletas inacessível: connection refused"});
    for (int i = 0; i < 50; ++i)
        aviso.falhou("connection refused");
    EXPECT_TRUE(messages().empty()) << "not once per request";

    std::this_thread::sleep_for(std::chrono::milliseconds(250));
    aviso.falhou("connection refused");
    EXPECT_EQ(messages(),
              std::vector<std::string>{"Base de dados das Coletas continua inacessível: 51 tentativas "
                                       "falharam desde o último aviso (connection refused)"});

    aviso.respondeu();
    const std::vector<std::string> recovered = messages();
    ASSERT_EQ(recovered.size(), 1u);
    EXPECT_EQ(
        recovered[0].rfind("Base de dados das Coletas respondendo novamente, após 0 s e 52 tentativas", 0),
        0u)
        << recovered[0];
    EXPECT_FALSE(aviso.inacessivel());
    aviso.respondeu();
    EXPECT_TRUE(messages().empty());

    // A new outage is a new first line.
    aviso.falhou("timeout");
    EXPECT_EQ(messages(), std::vector<std::string>{"Base de dados das Coletas inacessível: timeout"});
}
