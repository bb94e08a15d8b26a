// Priorities of the log lines on the journal, and when standard output is
// taken for the journal.
#include "app/HeadlessFrontEnd.h"
#include "app/JournalLog.h"
#include "base/OperatorLog.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

using namespace quelvor;

TEST(JournalLog, PriorityOfTheLogsMessages)
{
    const std::vector<std::pair<std::string, int>> cases = {
        {"Falha na conexão da base de dados das Coletas (Temp)", app::kPriorityError},
        {"Falha na inicialização do Socket na porta 7010", app::kPriorityError},
        {"Erro na query: SELECT 1 Unable to complete network request", app::kPriorityError},
        {"erro PTAB:PARAMETROS", app::kPriorityError},
        {"Já existe um servidor em execução com esta configuração", app::kPriorityError},
        {"Necessário efetuar a configuração do sistema", app::kPriorityError},
        {"Cliente com versão incorreta.", app::kPriorityWarning},
        {"--->> SEM PERMISSÃO <<---", app::kPriorityWarning},
        {"Porta inválida no arquivo de configuração: \"x\"", app::kPriorityWarning},
        {"Configuração não recarregada (x); seguem as configurações em uso.", app::kPriorityWarning},
        {"Processo de busca por novos dados interrompido: Connection lost", app::kPriorityError},
        {"ALERTA DE QUALIDADE: temperatura 9.5 acima de 7 na carga 5001, produtor 101",
         app::kPriorityWarning},
        {"Servidor socket inicializado na porta 7010", app::kPriorityInfo},
        {"Conectou: 12", app::kPriorityInfo},
        // Only the message's beginning counts, not a word inside it.
        {"Sql:UPDATE X SET Y='Falha na coisa'", app::kPriorityInfo},
    };
    for (const auto& [message, priority] : cases) {
        const std::string line = base::OperatorLog::formatLine({{2026, 12, 10}, {14, 5, 6}}, message);
        EXPECT_EQ(app::journalPriority(line), priority) << message;
        EXPECT_EQ(app::withPriority(line), "<" + std::to_string(priority) + ">" + line);
    }
    // A line at midnight has no time in it.
    EXPECT_EQ(app::journalPriority(base::OperatorLog::formatLine({{2026, 12, 10}, {}}, "Erro na query: x")),
              app::kPriorityError);
}

TEST(JournalLog, StandardOutputIsTheJournalOnlyWhenJournalStreamNamesIt)
{
    struct stat st;
    ASSERT_EQ(fstat(STDOUT_FILENO, &st), 0);
    const std::string self = std::to_string(st.st_dev) + ":" + std::to_string(st.st_ino);
    const std::vector<std::pair<std::string, bool>> cases = {
        {self, true},        {std::to_string(st.st_dev) + ":" + std::to_string(st.st_ino + 1), false},
        {"", false},         {"garbage", false},
        {self + "x", false},
    };
    for (const auto& [value, expected] : cases) {
        setenv("JOURNAL_STREAM", value.c_str(), 1);
        EXPECT_EQ(app::standardOutputIsJournal(), expected) << value;
    }
    unsetenv("JOURNAL_STREAM");
    EXPECT_FALSE(app::standardOutputIsJournal());
}

TEST(JournalLog, TheHeadlessFrontEndPrefixesEachLine)
{
    std::FILE* out = std::tmpfile();
    {
        app::HeadlessFrontEnd front(out);
        front.setJournalPriorities(true);
        base::log("Falha na conexão da base de dados das Coletas");
        base::log("Cliente com versão incorreta.");
        base::log("Conectou: 5");
    }
    std::rewind(out);
    char buf[4096];
    const std::string printed(buf, std::fread(buf, 1, sizeof buf, out));
    std::fclose(out);
    std::vector<std::string> lines;
    for (size_t at = 0, end; (end = printed.find('\n', at)) != std::string::npos; at = end + 1)
        lines.push_back(printed.substr(at, end - at));
    ASSERT_EQ(lines.size(), 3u) << printed;
    EXPECT_TRUE(lines[0].starts_with("<3>")) << lines[0];
    EXPECT_TRUE(lines[1].starts_with("<4>")) << lines[1];
    EXPECT_TRUE(lines[2].starts_with("<6>")) << lines[2];
    EXPECT_TRUE(lines[2].ends_with("-Conectou: 5"));
}
