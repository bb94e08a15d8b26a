#include "app/StatusWords.h"

#include <ctime>

namespace quelvor::app {

namespace {

const char* const kTraco = " \u2014 ";

struct Totais
{
    std::uint64_t lidas = 0;
    std::uint64_t gravadas = 0;
};

Totais totais(const base::ExecucaoDeSincronizacao& e)
{
    Totais t;
    for (const auto& tabela : e.tabelas) {
        t.lidas += tabela.lidas;
        t.gravadas += tabela.gravadas;
    }
    return t;
}

} // namespace

base::Timestamp horaLocal(base::WallClock::time_point quando)
{
    const std::time_t t = base::WallClock::to_time_t(quando);
    std::tm tm{};
    localtime_r(&t, &tm);
    return {{tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday}, {tm.tm_hour, tm.tm_min, tm.tm_sec, 0}};
}

EstadoIndicado estadoIndicado(bool emExecucao, const base::EstadoDaBase& coleta)
{
    if (!emExecucao)
        return EstadoIndicado::Parado;
    if (coleta.verificada && !coleta.respondendo)
        return EstadoIndicado::BaseIndisponivel;
    return EstadoIndicado::EmExecucao;
}

std::string estadoEmPalavras(bool emExecucao, const base::EstadoDaBase& coleta, std::size_t dispositivos)
{
    const bool baseFora = coleta.verificada && !coleta.respondendo;
    switch (estadoIndicado(emExecucao, coleta)) {
    case EstadoIndicado::Parado:
        return baseFora ? std::string("Parado") + kTraco + "base de dados indisponível" : "Parado";
    case EstadoIndicado::BaseIndisponivel:
        return "Base de dados indisponível";
    case EstadoIndicado::EmExecucao:
        break;
    }
    return std::string("Em execução") + kTraco + std::to_string(dispositivos) +
           (dispositivos == 1 ? " dispositivo" : " dispositivos");
}

std::string momentoEmPalavras(base::WallClock::time_point quando)
{
    const base::Timestamp ts = horaLocal(quando);
    if (ts.date == base::localNow().date)
        return base::longTime(ts.time);
    return base::fullDateTime(ts);
}

std::string sincronizacaoEmPalavras(const std::optional<base::ExecucaoDeSincronizacao>& execucao)
{
    if (!execucao)
        return "Nenhuma sincronização ainda";
    const base::ExecucaoDeSincronizacao& e = *execucao;
    if (e.emAndamento)
        return "Sincronização em andamento desde " + momentoEmPalavras(e.inicio);
    return "Sincronização: " + momentoEmPalavras(e.fim) + (e.sucesso ? " concluída" : " falhou");
}

std::string sincronizacaoDetalhada(const std::optional<base::ExecucaoDeSincronizacao>& execucao)
{
    if (!execucao)
        return sincronizacaoEmPalavras(execucao);
    const base::ExecucaoDeSincronizacao& e = *execucao;
    std::string texto =
        "Sincronização " + std::to_string(e.numero) + ": início " + base::fullDateTime(horaLocal(e.inicio));
    if (!e.emAndamento) {
        const Totais t = totais(e);
        texto += ", fim " + base::fullDateTime(horaLocal(e.fim)) + (e.sucesso ? ", concluída" : ", falhou") +
                 "; lidas " + std::to_string(t.lidas) + ", gravadas " + std::to_string(t.gravadas);
    }
    for (const auto& tabela : e.tabelas)
        texto += "\n" + tabela.tabela + ": lidas " + std::to_string(tabela.lidas) + ", gravadas " +
                 std::to_string(tabela.gravadas);
    if (!e.erro.empty())
        texto += "\nErro: " + e.erro;
    return texto;
}

} // namespace quelvor::app
