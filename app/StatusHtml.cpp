#include "app/StatusHtml.h"

#include "app/StatusWords.h"

#include "base/RegionalFormat.h"

#include <ctime>
#include <optional>

namespace quelvor::app {
namespace {

using base::StatusSnapshot;
using base::WallClock;

constexpr std::string_view kEstilo = R"(
*{box-sizing:border-box}
body{margin:0;font:15px/1.4 system-ui,-apple-system,"Segoe UI",Roboto,"DejaVu Sans",sans-serif;background:#f2f4f5;color:#1d2528}
header{background:#174a5c;color:#fff;padding:14px 18px}
header h1{margin:0;font-size:20px;font-weight:600}
header p{margin:4px 0 0;font-size:13px;opacity:.85}
main{max-width:1180px;margin:0 auto;padding:12px;display:grid;grid-template-columns:1fr 1fr;gap:12px}
section{background:#fff;border-radius:8px;padding:12px 14px;box-shadow:0 1px 2px rgba(0,0,0,.08);min-width:0}
section.largo{grid-column:1/-1}
h2{margin:0 0 8px;font-size:16px;color:#174a5c}
.estado{display:inline-block;margin-top:8px;padding:5px 12px;border-radius:14px;font-weight:600;font-size:15px}
.ok{background:#d5f2dc;color:#145c2a}.falha{background:#fbdcdc;color:#8a1c1c}.parado{background:#e2e5e7;color:#40484c}
.tabela{overflow-x:auto}
table{border-collapse:collapse;width:100%;font-size:14px}
th,td{text-align:left;padding:5px 8px;border-bottom:1px solid #e5e8ea;vertical-align:top}
th{font-weight:600;color:#52606a;font-size:13px;white-space:nowrap}
td.n,th.n{text-align:right;font-variant-numeric:tabular-nums}
tr.total td{font-weight:600;border-top:2px solid #cfd6da}
.vazio{color:#6b777e;margin:4px 0}
.erro{color:#8a1c1c}
.sim{color:#145c2a;font-weight:600}.nao{color:#8a1c1c;font-weight:600}
@media (max-width:760px){main{grid-template-columns:1fr;padding:8px}section.largo{grid-column:auto}}
)";

// The latest alerts and errors shown; the model keeps more, /metrics counts all.
constexpr size_t kMostrados = 10;

std::string numero(std::uint64_t n)
{
    return std::to_string(n);
}

std::string celula(std::string_view texto, std::string_view classe = {})
{
    std::string out = classe.empty() ? "<td>" : "<td class=\"" + std::string(classe) + "\">";
    out += escapaHtml(texto);
    out += "</td>";
    return out;
}

std::string cabecalho(std::initializer_list<std::string_view> colunas,
                      std::initializer_list<size_t> numericas = {})
{
    std::string out = "<thead><tr>";
    size_t i = 0;
    for (std::string_view c : colunas) {
        bool n = false;
        for (size_t k : numericas)
            n = n || k == i;
        out += n ? "<th class=\"n\">" : "<th>";
        out += escapaHtml(c);
        out += "</th>";
        ++i;
    }
    out += "</tr></thead>";
    return out;
}

std::string vazio(std::string_view texto)
{
    return "<p class=\"vazio\">" + escapaHtml(texto) + "</p>";
}

bool coletaRespondendo(const StatusSnapshot& estado, const LeituraDaBase& leitura)
{
    if (leitura.tentada)
        return leitura.respondeu;
    return !estado.coleta.verificada || estado.coleta.respondendo;
}

std::string linhaDaBase(std::string_view nome, const base::EstadoDaBase& base, std::optional<bool> agora,
                        std::string_view erroAgora)
{
    std::string out = "<tr><td>" + escapaHtml(nome) + "</td>";
    const bool sabido = agora.has_value() || base.verificada;
    const bool responde = agora.value_or(base.respondendo);
    if (!sabido)
        out += "<td>não verificada</td>";
    else if (responde)
        out += "<td class=\"sim\">respondendo</td>";
    else
        out += "<td class=\"nao\">sem resposta</td>";
    out += celula(base.verificada ? momento(base.desde) : "—");
    std::string erro = base.ultimoErro;
    if (agora.has_value() && !*agora && !erroAgora.empty())
        erro = std::string(erroAgora);
    else if (!erro.empty())
        erro = momento(base.ultimoErroEm) + ": " + erro;
    out += erro.empty() ? "<td>—</td>" : "<td class=\"erro\">" + escapaHtml(erro) + "</td>";
    out += "</tr>";
    return out;
}

std::string secaoBases(const StatusSnapshot& estado, const LeituraDaBase& leitura)
{
    std::string out = "<section><h2>Bases de dados</h2><div class=\"tabela\"><table>";
    out += cabecalho({"Base", "Situação", "Desde", "Último erro"});
    out += "<tbody>";
    out += linhaDaBase("Coletas", estado.coleta,
                       leitura.tentada ? std::optional<bool>(leitura.respondeu) : std::nullopt, leitura.erro);
    out += linhaDaBase("Tarvell", estado.tarvell, std::nullopt, {});
    out += "</tbody></table></div></section>";
    return out;
}

std::string secaoConexoes(const StatusSnapshot& estado)
{
    std::string out =
        "<section class=\"largo\"><h2>Dispositivos conectados (" + numero(estado.conexoes.size()) + ")</h2>";
    if (estado.conexoes.empty())
        return out + vazio("Nenhum dispositivo conectado.") + "</section>";
    out += "<div class=\"tabela\"><table>";
    out += cabecalho(
        {"Dispositivo", "Versão", "Endereço", "Conectado desde", "Último pedido", "Pedidos", "Envios"},
        {5, 6});
    out += "<tbody>";
    for (const base::ConexaoAtiva& c : estado.conexoes) {
        out += "<tr>";
        out += celula(c.dispositivo.empty() ? "(sem identificação)" : c.dispositivo);
        out += celula(c.versao.empty() ? "—" : c.versao);
        out += celula(c.endereco);
        out += celula(momento(c.conectadoDesde));
        std::string ultimo = momento(c.ultimoPedido);
        if (!c.ultimoCodigo.empty())
            ultimo += " (" + c.ultimoCodigo + ")";
        out += celula(ultimo);
        out += celula(numero(c.pedidos), "n");
        out += celula(numero(c.enviosConfirmados), "n");
        out += "</tr>";
    }
    out += "</tbody></table></div></section>";
    return out;
}

std::string naoLido(const LeituraDaBase& leitura)
{
    if (!leitura.tentada)
        return vazio("Não lido: o serviço está parado.");
    return "<p class=\"erro\">" + escapaHtml("Não lido: " + leitura.erro) + "</p>";
}

std::string secaoAguardando(const LeituraDaBase& leitura)
{
    std::string out = "<section><h2>Aguardando liberação</h2>";
    if (!leitura.respondeu)
        return out + naoLido(leitura) + "</section>";
    if (leitura.aguardando.empty())
        return out + vazio("Nenhum dispositivo aguarda liberação.") + "</section>";
    out += "<div class=\"tabela\"><table>";
    out += cabecalho({"Dispositivo", "Última conexão", "Versão"});
    out += "<tbody>";
    for (const DispositivoAguardando& d : leitura.aguardando) {
        out += "<tr>" + celula(d.id) + celula(d.ultimaConexao.empty() ? "—" : d.ultimaConexao) +
               celula(d.versao.empty() ? "—" : d.versao) + "</tr>";
    }
    out += "</tbody></table></div></section>";
    return out;
}

std::string secaoColetas(const LeituraDaBase& leitura)
{
    std::string out = "<section><h2>Coletas de hoje";
    if (!leitura.dia.empty())
        out += " (" + escapaHtml(leitura.dia) + ")";
    out += "</h2>";
    if (!leitura.respondeu)
        return out + naoLido(leitura) + "</section>";
    if (leitura.coletasDeHoje.empty())
        return out + vazio("Nenhuma coleta hoje.") + "</section>";
    out += "<div class=\"tabela\"><table>";
    out += cabecalho({"Rota", "Coletas", "Litros"}, {1, 2});
    out += "<tbody>";
    std::uint64_t total = 0;
    for (const ColetasDaRota& r : leitura.coletasDeHoje) {
        std::string rota = r.rota.empty() ? "(sem rota)" : r.rota;
        if (!r.descricao.empty())
            rota += " — " + r.descricao;
        out += "<tr>" + celula(rota) + celula(numero(r.coletas), "n") + celula(r.litros, "n") + "</tr>";
        total += r.coletas;
    }
    if (leitura.coletasDeHoje.size() > 1)
        out += "<tr class=\"total\"><td>Total</td>" + celula(numero(total), "n") +
               celula(leitura.litrosDeHoje, "n") + "</tr>";
    out += "</tbody></table></div></section>";
    return out;
}

std::string secaoSincronizacoes(const StatusSnapshot& estado)
{
    std::string out = "<section class=\"largo\"><h2>Últimas sincronizações</h2>";
    if (estado.sincronizacoes.empty())
        return out + vazio("Nenhuma sincronização desde o início do serviço.") + "</section>";
    out += "<div class=\"tabela\"><table>";
    out += cabecalho({"Nº", "Início", "Fim", "Resultado", "Tabelas (lidas / gravadas)", "Erro"}, {0});
    out += "<tbody>";
    for (auto it = estado.sincronizacoes.rbegin(); it != estado.sincronizacoes.rend(); ++it) {
        const base::ExecucaoDeSincronizacao& s = *it;
        out += "<tr>";
        out += celula(numero(s.numero), "n");
        out += celula(momento(s.inicio));
        out += celula(s.emAndamento ? "—" : momento(s.fim));
        if (s.emAndamento)
            out += "<td>em andamento</td>";
        else if (s.sucesso)
            out += "<td class=\"sim\">concluída</td>";
        else
            out += "<td class=\"nao\">falhou</td>";
        std::string tabelas;
        for (const base::TabelaSincronizada& t : s.tabelas) {
            if (!tabelas.empty())
                tabelas += "<br>";
            tabelas += escapaHtml(t.tabela) + " " + numero(t.lidas) + " / " + numero(t.gravadas);
        }
        out += "<td>" + (tabelas.empty() ? std::string("—") : tabelas) + "</td>";
        out += s.erro.empty() ? "<td>—</td>" : "<td class=\"erro\">" + escapaHtml(s.erro) + "</td>";
        out += "</tr>";
    }
    out += "</tbody></table></div></section>";
    return out;
}

std::string secaoAlertas(const StatusSnapshot& estado)
{
    std::string out = "<section class=\"largo\"><h2>Alertas de qualidade";
    if (!estado.alertas.empty())
        out += " (" + numero(estado.alertas.size()) + ")";
    out += "</h2>";
    if (estado.alertas.empty())
        return out + vazio("Nenhum alerta de qualidade.") + "</section>";
    out += "<div class=\"tabela\"><table>";
    out += cabecalho({"Quando", "Tipo", "Carga", "Produtor", "Rota", "Valor", "Dispositivo"});
    out += "<tbody>";
    size_t mostrados = 0;
    for (auto it = estado.alertas.rbegin(); it != estado.alertas.rend() && mostrados < kMostrados;
         ++it, ++mostrados) {
        const base::AlertaDeQualidade& a = *it;
        out += "<tr>" + celula(momento(a.quando)) + celula(a.tipo) + celula(a.carga) + celula(a.produtor) +
               celula(a.rota.empty() ? "—" : a.rota) + celula(a.valor) + celula(a.dispositivo) + "</tr>";
    }
    out += "</tbody></table></div></section>";
    return out;
}

std::string secaoErros(const StatusSnapshot& estado)
{
    std::string out = "<section class=\"largo\"><h2>Erros recentes</h2>";
    if (estado.erros.empty())
        return out + vazio("Nenhum erro.") + "</section>";
    out += "<div class=\"tabela\"><table>";
    out += cabecalho({"Quando", "Erro"});
    out += "<tbody>";
    size_t mostrados = 0;
    for (auto it = estado.erros.rbegin(); it != estado.erros.rend() && mostrados < kMostrados;
         ++it, ++mostrados)
        out += "<tr>" + celula(momento(it->quando)) + celula(it->texto, "erro") + "</tr>";
    out += "</tbody></table></div></section>";
    return out;
}

} // namespace

std::string estadoEmPalavras(const StatusSnapshot& estado, const LeituraDaBase& leitura)
{
    // The window's words, with the page's own read deciding when it was made.
    base::EstadoDaBase coleta = estado.coleta;
    if (leitura.tentada) {
        coleta.verificada = true;
        coleta.respondendo = leitura.respondeu;
    }
    return app::estadoEmPalavras(estado.servico == base::EstadoDoServico::EmExecucao, coleta,
                                 estado.conexoes.size());
}

std::string escapaHtml(std::string_view texto)
{
    std::string out;
    out.reserve(texto.size());
    for (char c : texto) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        case '\'':
            out += "&#39;";
            break;
        default:
            out += c;
        }
    }
    return out;
}

std::string momento(WallClock::time_point quando)
{
    if (quando == WallClock::time_point{})
        return "—";
    const std::time_t t = WallClock::to_time_t(quando);
    std::tm tm{};
    localtime_r(&t, &tm);
    return base::fullDateTime(
        {{tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday}, {tm.tm_hour, tm.tm_min, tm.tm_sec, 0}});
}

std::string paginaDeStatus(const StatusSnapshot& estado, const LeituraDaBase& leitura,
                           WallClock::time_point agora)
{
    const std::string palavras = estadoEmPalavras(estado, leitura);
    const char* classe = estado.servico != base::EstadoDoServico::EmExecucao ? "parado"
                         : coletaRespondendo(estado, leitura)                ? "ok"
                                                                             : "falha";
    std::string out;
    out.reserve(16384);
    out += "<!DOCTYPE html>\n<html lang=\"pt-BR\"><head><meta charset=\"utf-8\">"
           "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">"
           "<meta http-equiv=\"refresh\" content=\"5\">"
           "<title>Quelvor — ";
    out += escapaHtml(palavras);
    out += "</title><style>";
    out += kEstilo;
    out += "</style></head><body><header><h1>Quelvor — servidor de coletas</h1><p>Atualizado em ";
    out += escapaHtml(momento(agora));
    if (estado.servico == base::EstadoDoServico::EmExecucao) {
        out += " · porta " + std::to_string(estado.porta);
        out += " · em execução desde " + escapaHtml(momento(estado.servicoDesde));
    }
    out += "</p><div class=\"estado ";
    out += classe;
    out += "\" id=\"estado\">";
    out += escapaHtml(palavras);
    out += "</div></header><main>";
    out += secaoConexoes(estado);
    out += secaoBases(estado, leitura);
    out += secaoAguardando(leitura);
    out += secaoColetas(leitura);
    out += secaoSincronizacoes(estado);
    out += secaoAlertas(estado);
    out += secaoErros(estado);
    out += "</main></body></html>\n";
    return out;
}

} // namespace quelvor::app
