#include "app/StatusWords.h"

#include <gtest/gtest.h>

using namespace quelvor;

TEST(StatusWords, TheServiceStateInTheOperatorsWords)
{
    base::EstadoDaBase desconhecida;
    base::EstadoDaBase respondendo;
    respondendo.verificada = respondendo.respondendo = true;
    base::EstadoDaBase fora;
    fora.verificada = true;
    fora.ultimoErro = "I/O error during \"open\" operation";

    struct Caso
    {
        bool emExecucao;
        base::EstadoDaBase coleta;
        std::size_t dispositivos;
        app::EstadoIndicado estado;
        std::string palavras;
    } const casos[] = {
        {false, desconhecida, 0, app::EstadoIndicado::Parado, "Parado"},
        // The connections are forgotten when the service stops; a count that
        // lags behind does not make a stopped service look alive.
        {false, respondendo, 3, app::EstadoIndicado::Parado, "Parado"},
        {false, fora, 0, app::EstadoIndicado::Parado, "Parado — base de dados indisponível"},
        // Nothing known yet: no request has tried the database.
        {true, desconhecida, 0, app::EstadoIndicado::EmExecucao, "Em execução — 0 dispositivos"},
        {true, respondendo, 1, app::EstadoIndicado::EmExecucao, "Em execução — 1 dispositivo"},
        {true, respondendo, 12, app::EstadoIndicado::EmExecucao, "Em execução — 12 dispositivos"},
        {true, fora, 5, app::EstadoIndicado::BaseIndisponivel, "Base de dados indisponível"},
    };
    for (const Caso& c : casos) {
        EXPECT_EQ(app::estadoIndicado(c.emExecucao, c.coleta), c.estado) << c.palavras;
        EXPECT_EQ(app::estadoEmPalavras(c.emExecucao, c.coleta, c.dispositivos), c.palavras);
    }
}

TEST(StatusWords, TheLatestSynchronisationAsTheStatusBarShowsIt)
{
    EXPECT_EQ(app::sincronizacaoEmPalavras(std::nullopt), "Nenhuma sincronização ainda");

    // Times as the model keeps them: from the status model of a real run.
    base::StatusModel modelo;
    const auto n = modelo.sincronizacaoIniciada();
    modelo.sincronizacaoTabela(n, {"ROTAS", 12, 2});
    auto emAndamento = modelo.ultimaSincronizacao();
    ASSERT_TRUE(emAndamento);
    EXPECT_EQ(app::sincronizacaoEmPalavras(emAndamento),
              "Sincronização em andamento desde " + base::longTime(app::horaLocal(emAndamento->inicio).time));

    modelo.sincronizacaoTabela(n, {"PRODUTORES", 300, 40});
    modelo.sincronizacaoTerminada(n, true);
    const auto concluida = modelo.ultimaSincronizacao();
    EXPECT_EQ(app::sincronizacaoEmPalavras(concluida),
              "Sincronização: " + base::longTime(app::horaLocal(concluida->fim).time) + " concluída");
    const std::string detalhe = app::sincronizacaoDetalhada(concluida);
    EXPECT_NE(detalhe.find(", concluída; lidas 312, gravadas 42"), std::string::npos) << detalhe;
    EXPECT_NE(detalhe.find("\nROTAS: lidas 12, gravadas 2"), std::string::npos) << detalhe;
    EXPECT_NE(detalhe.find("\nPRODUTORES: lidas 300, gravadas 40"), std::string::npos) << detalhe;

    const auto m = modelo.sincronizacaoIniciada();
    modelo.sincronizacaoTerminada(m, false, "connection lost to database");
    const auto falhou = modelo.ultimaSincronizacao();
    EXPECT_EQ(falhou->numero, 2u) << "the latest run, not the first";
    EXPECT_TRUE(app::sincronizacaoEmPalavras(falhou).ends_with(" falhou"));
    EXPECT_NE(app::sincronizacaoDetalhada(falhou).find("\nErro: connection lost to database"),
              std::string::npos);

    // A run of another day shows its date.
    base::ExecucaoDeSincronizacao antiga = *concluida;
    antiga.fim -= std::chrono::hours(48);
    EXPECT_EQ(app::sincronizacaoEmPalavras(antiga),
              "Sincronização: " + base::fullDateTime(app::horaLocal(antiga.fim)) + " concluída");
}

TEST(StatusWords, LocalTimeOfAModelMoment)
{
    std::tm tm{};
    tm.tm_year = 2026 - 1900;
    tm.tm_mon = 11;
    tm.tm_mday = 10;
    tm.tm_hour = 6;
    tm.tm_min = 7;
    tm.tm_sec = 8;
    tm.tm_isdst = -1;
    const auto quando = base::WallClock::from_time_t(std::mktime(&tm)) + std::chrono::milliseconds(999);
    EXPECT_EQ(base::fullDateTime(app::horaLocal(quando)), "10/12/2026 06:07:08");
}
