#include "app/MetricsText.h"

#include <prometheus/client_metric.h>
#include <prometheus/metric_family.h>
#include <prometheus/text_serializer.h>

#include <chrono>
#include <limits>

namespace quelvor::app {
namespace {

using prometheus::ClientMetric;
using prometheus::MetricFamily;
using prometheus::MetricType;

MetricFamily familia(std::string nome, std::string ajuda, MetricType tipo)
{
    MetricFamily f;
    f.name = std::move(nome);
    f.help = std::move(ajuda);
    f.type = tipo;
    return f;
}

ClientMetric contador(double valor, std::vector<ClientMetric::Label> rotulos = {})
{
    ClientMetric m;
    m.label = std::move(rotulos);
    m.counter.value = valor;
    return m;
}

ClientMetric medidor(double valor, std::vector<ClientMetric::Label> rotulos = {})
{
    ClientMetric m;
    m.label = std::move(rotulos);
    m.gauge.value = valor;
    return m;
}

// The model counts per bucket; Prometheus wants each bucket to hold every
// observation up to its bound, the last one (+Inf) all of them.
ClientMetric histograma(const base::Histograma& h, std::vector<ClientMetric::Label> rotulos)
{
    ClientMetric m;
    m.label = std::move(rotulos);
    m.histogram.sample_count = h.total;
    m.histogram.sample_sum = h.somaSegundos;
    std::uint64_t acumulado = 0;
    for (size_t i = 0; i < base::Histograma::kLimites.size(); ++i) {
        acumulado += h.contagens[i];
        m.histogram.bucket.push_back({acumulado, base::Histograma::kLimites[i]});
    }
    acumulado += h.contagens.back();
    m.histogram.bucket.push_back({acumulado, std::numeric_limits<double>::infinity()});
    return m;
}

double segundos(base::WallClock::time_point t)
{
    return std::chrono::duration<double>(t.time_since_epoch()).count();
}

} // namespace

std::string textoDeMetricas(const base::StatusSnapshot& estado, const std::vector<UsoDoPool>& pools)
{
    std::vector<MetricFamily> familias;

    auto servico =
        familia("quelvor_service_running", "1 while the handhelds' listener runs.", MetricType::Gauge);
    servico.metric.push_back(medidor(estado.servico == base::EstadoDoServico::EmExecucao ? 1 : 0));
    familias.push_back(std::move(servico));

    auto pedidos = familia("quelvor_requests_total", "Request lines from the handhelds, by request code.",
                           MetricType::Counter);
    auto falhas =
        familia("quelvor_request_failures_total",
                "Requests abandoned because an error ended them or their connection, by request code.",
                MetricType::Counter);
    auto latencia = familia("quelvor_request_duration_seconds",
                            "Time from a request line's arrival to the end of its answer, by request code.",
                            MetricType::Histogram);
    for (const auto& [codigo, e] : estado.pedidos) {
        pedidos.metric.push_back(contador(static_cast<double>(e.pedidos), {{"code", codigo}}));
        falhas.metric.push_back(contador(static_cast<double>(e.falhas), {{"code", codigo}}));
        latencia.metric.push_back(histograma(e.latencia, {{"code", codigo}}));
    }
    familias.push_back(std::move(pedidos));
    familias.push_back(std::move(falhas));
    familias.push_back(std::move(latencia));

    auto confirmados = familia("quelvor_uploads_acknowledged_total", "Uploads acknowledged, by upload code.",
                               MetricType::Counter);
    auto naoConfirmados =
        familia("quelvor_uploads_not_acknowledged_total",
                "Uploads whose statement failed and that got no acknowledgement, by upload code.",
                MetricType::Counter);
    for (const auto& [codigo, e] : estado.envios) {
        confirmados.metric.push_back(contador(static_cast<double>(e.confirmados), {{"code", codigo}}));
        naoConfirmados.metric.push_back(contador(static_cast<double>(e.naoConfirmados), {{"code", codigo}}));
    }
    familias.push_back(std::move(confirmados));
    familias.push_back(std::move(naoConfirmados));

    auto conectados = familia("quelvor_connected_handhelds", "Handhelds connected now.", MetricType::Gauge);
    conectados.metric.push_back(medidor(static_cast<double>(estado.conexoes.size())));
    familias.push_back(std::move(conectados));

    auto aceitas =
        familia("quelvor_connections_accepted_total", "Handheld connections accepted.", MetricType::Counter);
    aceitas.metric.push_back(contador(static_cast<double>(estado.conexoesAceitas)));
    familias.push_back(std::move(aceitas));
    auto recusadas = familia("quelvor_connections_refused_total",
                             "Handheld connections turned away by the connection cap.", MetricType::Counter);
    recusadas.metric.push_back(contador(static_cast<double>(estado.recusadasPeloLimite)));
    familias.push_back(std::move(recusadas));

    if (!pools.empty()) {
        auto uso = familia("quelvor_pool_attachments", "Attachments of the pool, by database and state.",
                           MetricType::Gauge);
        auto limite = familia("quelvor_pool_attachments_limit",
                              "Most attachments the pool holds, by database.", MetricType::Gauge);
        for (const UsoDoPool& p : pools) {
            uso.metric.push_back(
                medidor(static_cast<double>(p.emUso), {{"database", p.base}, {"state", "in_use"}}));
            uso.metric.push_back(
                medidor(static_cast<double>(p.ociosas), {{"database", p.base}, {"state", "idle"}}));
            limite.metric.push_back(medidor(static_cast<double>(p.limite), {{"database", p.base}}));
        }
        familias.push_back(std::move(uso));
        familias.push_back(std::move(limite));
    }

    auto bases =
        familia("quelvor_database_up",
                "1 when the database answered the last attempt to reach it, by database.", MetricType::Gauge);
    const std::pair<const char*, const base::EstadoDaBase*> estados[] = {{"coleta", &estado.coleta},
                                                                         {"tarvell", &estado.tarvell}};
    for (const auto& [nome, b] : estados)
        if (b->verificada)
            bases.metric.push_back(medidor(b->respondendo ? 1 : 0, {{"database", nome}}));
    familias.push_back(std::move(bases));

    // The last synchronisation that ended.
    const base::ExecucaoDeSincronizacao* ultima = nullptr;
    for (const base::ExecucaoDeSincronizacao& s : estado.sincronizacoes)
        if (!s.emAndamento)
            ultima = &s;
    auto execucoes =
        familia("quelvor_sync_runs", "Synchronisation runs since the process began.", MetricType::Gauge);
    execucoes.metric.push_back(medidor(
        estado.sincronizacoes.empty() ? 0 : static_cast<double>(estado.sincronizacoes.back().numero)));
    familias.push_back(std::move(execucoes));
    if (ultima) {
        auto quando = familia("quelvor_last_sync_end_timestamp_seconds",
                              "When the last synchronisation that ended did, in seconds since the epoch.",
                              MetricType::Gauge);
        quando.metric.push_back(medidor(segundos(ultima->fim)));
        familias.push_back(std::move(quando));
        auto resultado = familia("quelvor_last_sync_success",
                                 "1 when the last synchronisation that ended succeeded.", MetricType::Gauge);
        resultado.metric.push_back(medidor(ultima->sucesso ? 1 : 0));
        familias.push_back(std::move(resultado));
    }

    auto alertas =
        familia("quelvor_quality_alerts_total", "Quality alerts raised, by kind.", MetricType::Counter);
    for (const auto& [tipo, n] : estado.alertasPorTipo)
        alertas.metric.push_back(contador(static_cast<double>(n), {{"type", tipo}}));
    familias.push_back(std::move(alertas));

    return prometheus::TextSerializer().Serialize(familias);
}

} // namespace quelvor::app
