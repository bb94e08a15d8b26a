#include "base/OperatorLog.h"

#include <gtest/gtest.h>

#include <atomic>
#include <map>
#include <string>
#include <thread>
#include <vector>

using namespace quelvor::base;

TEST(OperatorLog, LineForm)
{
    EXPECT_EQ(OperatorLog::formatLine({{2026, 12, 9}, {14, 5, 3, 0}}, "Serviços encerrados"),
              "09/12/2026 14:05:03-Serviços encerrados");
    EXPECT_EQ(OperatorLog::formatLine({{2026, 12, 9}, {0, 0, 0, 0}}, "x"), "09/12/2026-x");
    EXPECT_EQ(OperatorLog::formatLine({{2026, 12, 9}, {0, 0, 0, 0}}, "1001\x02"
                                                                     "a\x02"),
              "09/12/2026-1001\x02"
              "a\x02");
    // A database error in several lines stays one line of the log.
    EXPECT_EQ(
        OperatorLog::formatLine({{2026, 12, 9}, {0, 0, 0, 0}},
                                "Erro na query: SELECT X\r\nDynamic SQL Error\n-SQL error code = -303\r-x"),
        "09/12/2026-Erro na query: SELECT X Dynamic SQL Error -SQL error code = -303 -x");
    EXPECT_EQ(OperatorLog::formatLine({{2026, 12, 9}, {0, 0, 0, 0}}, "\n\n"), "09/12/2026-  ");
}

// A batch whose messages lend their room to their lines gives the lines that
// formatLine gives, with and without room reserved, line breaks or not.
TEST(OperatorLog, BatchesGiveTheLinesOfFormatLine)
{
    std::string reservado = "Devolvendo:3001\x02"
                            "20\x02";
    reservado.reserve(reservado.size() + OperatorLog::kLineOverhead);
    const std::vector<std::string> mensagens = {reservado, "Devolvendo:3003\x02JOAO\x02***\x02",
                                                "Erro na query: SELECT X\r\nDynamic SQL Error\n-x\r", "",
                                                "\r\n\n"};
    OperatorLog log;
    log.appendAll(mensagens);
    std::vector<std::string> emprestadas = mensagens;
    emprestadas[0].reserve(reservado.capacity());
    log.appendAll(std::move(emprestadas));
    EXPECT_TRUE(emprestadas.empty());

    const std::vector<std::string> linhas = log.drain();
    ASSERT_EQ(linhas.size(), 2 * mensagens.size());
    for (size_t i = 0; i < mensagens.size(); ++i) {
        SCOPED_TRACE(i);
        // "date time-": the date and time hold no '-'.
        const std::string esperado = OperatorLog::formatLine({{2026, 12, 9}, {14, 5, 3, 0}}, mensagens[i]);
        const std::string corpo = esperado.substr(esperado.find('-'));
        for (const std::string& linha : {linhas[i], linhas[mensagens.size() + i]}) {
            ASSERT_NE(linha.find('-'), std::string::npos);
            EXPECT_EQ(linha.substr(linha.find('-')), corpo);
            // dd/mm/yyyy hh:mm:ss, or the date alone at exactly midnight
            EXPECT_TRUE(linha.find('-') == 19u || linha.find('-') == 10u) << linha;
        }
    }
}

TEST(OperatorLog, ThreadsAppendWholeLinesInTheirOwnOrderWithoutWaiting)
{
    OperatorLog log;
    std::atomic<int> wakeUps{0};
    log.setWakeUp([&] { ++wakeUps; });
    constexpr int kThreads = 8;
    constexpr int kLines = 2000;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([&log, t] {
            for (int i = 0; i < kLines; ++i)
                log.append("t" + std::to_string(t) + ":" + std::to_string(i) + std::string(50, 'x'));
        });
    // The main thread drains while the others write, as the window does.
    std::vector<std::string> lines;
    for (int rounds = 0; rounds < 1000 && lines.size() < kThreads * kLines; ++rounds) {
        auto batch = log.drain();
        lines.insert(lines.end(), batch.begin(), batch.end());
        std::this_thread::yield();
    }
    for (auto& t : threads)
        t.join();
    auto rest = log.drain();
    lines.insert(lines.end(), rest.begin(), rest.end());

    ASSERT_EQ(lines.size(), size_t(kThreads * kLines));
    EXPECT_EQ(wakeUps.load(), kThreads * kLines);
    std::map<int, int> next;
    for (const std::string& line : lines) {
        const size_t dash = line.find("-t");
        ASSERT_NE(dash, std::string::npos) << line;
        const size_t colon = line.find(':', dash);
        const int thread = std::stoi(line.substr(dash + 2, colon - dash - 2));
        const int index = std::stoi(line.substr(colon + 1));
        EXPECT_EQ(index, next[thread]++) << "lines of one thread out of order";
        EXPECT_EQ(line.substr(line.size() - 50), std::string(50, 'x')) << "a line was cut or mixed";
    }
}

TEST(OperatorLog, MainWindowLogLetsPendingEventsRunOnlyOnTheMainThread)
{
    int processed = 0;
    setMainThreadEvents([&] { ++processed; });
    log("no main thread");
    EXPECT_EQ(processed, 1);
    std::thread([] { log("from a connection"); }).join();
    EXPECT_EQ(processed, 1);
    const auto lines = OperatorLog::instance().drain();
    ASSERT_GE(lines.size(), 2u);
    EXPECT_NE(lines[lines.size() - 1].find("-from a connection"), std::string::npos);
    setMainThreadEvents(nullptr);
}
