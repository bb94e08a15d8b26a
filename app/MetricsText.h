#pragma once
// /metrics: a status snapshot in Prometheus' text format, built as
// prometheus-cpp metric families and written by its TextSerializer. Names
// carry the quelvor_ prefix, times are in seconds and counters end in _total.
// Plain functions; any thread.

#include "base/StatusModel.h"

#include <cstddef>
#include <string>
#include <vector>

namespace quelvor::app {

// One database's attachment pool at the moment of the scrape.
struct UsoDoPool
{
    std::string base; // "coleta" or "tarvell"
    std::size_t emUso = 0;
    std::size_t ociosas = 0;
    std::size_t limite = 0;
};

std::string textoDeMetricas(const base::StatusSnapshot& estado, const std::vector<UsoDoPool>& pools);

} // namespace quelvor::app
