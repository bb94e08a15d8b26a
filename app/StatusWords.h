#pragma once
// The service's state in the operator's words, for the window's indicator, the
// tray icon's tooltip and the status bar: plain functions of what the status
// model holds, so that both front ends and their tests say the same thing.
// No state, any thread.

#include "base/RegionalFormat.h"
#include "base/StatusModel.h"

#include <cstddef>
#include <optional>
#include <string>

namespace quelvor::app {

enum class EstadoIndicado
{
    Parado,
    EmExecucao,
    BaseIndisponivel, // running, but the collection database does not answer
};

// The collection database counts as unavailable only once an attempt failed
// and none has succeeded since: before the first request nothing is known.
EstadoIndicado estadoIndicado(bool emExecucao, const base::EstadoDaBase& coleta);

// "Em execução — N dispositivos" (one: "1 dispositivo"), "Parado" or "Base
// de dados indisponível". Stopped after the collection database failed:
// "Parado — base de dados indisponível".
std::string estadoEmPalavras(bool emExecucao, const base::EstadoDaBase& coleta, std::size_t dispositivos);

// The latest synchronisation run for the status bar, its time and result:
// "Sincronização: hh:mm:ss concluída" or "... falhou" (the date before the
// time when it was not today), "Sincronização em andamento desde hh:mm:ss",
// or "Nenhuma sincronização ainda" before the first.
std::string sincronizacaoEmPalavras(const std::optional<base::ExecucaoDeSincronizacao>& execucao);
// The same run in full: its start and end, its totals, each table's rows
// read and written, its error text. The panel's tooltip.
std::string sincronizacaoDetalhada(const std::optional<base::ExecucaoDeSincronizacao>& execucao);

// A moment of the model in local time.
base::Timestamp horaLocal(base::WallClock::time_point quando);
// The same as the operator reads it: "hh:mm:ss" today, "dd/mm/yyyy hh:mm:ss"
// on another day.
std::string momentoEmPalavras(base::WallClock::time_point quando);

} // namespace quelvor::app
