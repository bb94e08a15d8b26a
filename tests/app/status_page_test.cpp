// The status page in this process: the HTML as a unit, then the HTTP server
// on a real socket with a status model fed by hand, the token, the methods
// and paths it refuses, /metrics through promtool, /healthz against a
// scratch database that is taken offline and brought back, and a change of
// the published settings.
#include "app/MetricsText.h"
#include "app/StatusHtml.h"
#include "app/StatusPage.h"
#include "tests/support/QuelvordProcess.h"
#include "tests/support/TestDatabase.h"
#include "tests/support/TestDevice.h"

#include <gtest/gtest.h>
#include <httplib.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

using namespace quelvor;
using namespace std::chrono_literals;
using quelvor::test::TestDatabase;
using quelvor::test::waitUntil;

namespace {

std::string contagem(const std::string& texto, const std::string& parte)
{
    size_t n = 0;
    for (size_t at = texto.find(parte); at != std::string::npos; at = texto.find(parte, at + 1))
        ++n;
    return std::to_string(n);
}

base::StatusSnapshot modeloComUmDispositivo()
{
    base::StatusModel m;
    m.servicoIniciado(7010);
    m.conectou("1", "10.0.0.7");
    m.identificou("1", "HH<script>alert(1)</script>", "2.0 & \"beta\"");
    m.pedido("1", "1000", 3ms, false);
    m.envio("1", "6001", true);
    m.alerta({base::WallClock::now(), "temperatura", "42", "7", "3", "9,5", "HH<b>"});
    m.erro("Erro na query: <falhou> & 'parou'");
    return m.snapshot();
}

} // namespace

TEST(StatusHtml, StateInWordsFromTheModelAndThePagesOwnRead)
{
    app::LeituraDaBase naoLida;
    app::LeituraDaBase respondeu;
    respondeu.tentada = respondeu.respondeu = true;
    app::LeituraDaBase falhou;
    falhou.tentada = true;
    falhou.erro = "unavailable database";

    base::StatusModel m;
    EXPECT_EQ(app::estadoEmPalavras(m.snapshot(), respondeu), "Parado");
    m.servicoIniciado(7010);
    EXPECT_EQ(app::estadoEmPalavras(m.snapshot(), naoLida), "Em execução — 0 dispositivos");
    m.conectou("1", "10.0.0.1");
    m.conectou("2", "10.0.0.2");
    EXPECT_EQ(app::estadoEmPalavras(m.snapshot(), respondeu), "Em execução — 2 dispositivos");
    EXPECT_EQ(app::estadoEmPalavras(m.snapshot(), falhou), "Base de dados indisponível");
    // Without a read of its own, the model's last word on the database.
    m.baseFalhou(base::StatusModel::Base::Coleta, "connection lost");
    EXPECT_EQ(app::estadoEmPalavras(m.snapshot(), naoLida), "Base de dados indisponível");
    EXPECT_EQ(app::estadoEmPalavras(m.snapshot(), respondeu), "Em execução — 2 dispositivos");
    // Stopped: the window's words, which still tell a database that failed.
    m.servicoParado();
    EXPECT_EQ(app::estadoEmPalavras(m.snapshot(), naoLida), "Parado — base de dados indisponível");
}

TEST(StatusHtml, EscapesWhatCameFromHandheldsAndDatabases)
{
    EXPECT_EQ(app::escapaHtml("a<b>&\"c\"'d'"), "a&lt;b&gt;&amp;&quot;c&quot;&#39;d&#39;");
    EXPECT_EQ(app::escapaHtml("Coleta São João"), "Coleta São João");

    app::LeituraDaBase leitura;
    leitura.tentada = leitura.respondeu = true;
    leitura.dia = "10/12/2026";
    leitura.aguardando.push_back({"NOVO<i>", "09/12/2026 08:00:00", "1.9"});
    leitura.coletasDeHoje.push_back({"3", "Rota <Norte>", 4, "1234,5"});
    const std::string html = app::paginaDeStatus(modeloComUmDispositivo(), leitura, base::WallClock::now());

    EXPECT_EQ(html.find("<script"), std::string::npos);
    EXPECT_EQ(html.find("<b>"), std::string::npos);
    EXPECT_EQ(html.find("<i>"), std::string::npos);
    EXPECT_NE(html.find("HH&lt;script&gt;alert(1)&lt;/script&gt;"), std::string::npos);
    EXPECT_NE(html.find("2.0 &amp; &quot;beta&quot;"), std::string::npos);
    EXPECT_NE(html.find("NOVO&lt;i&gt;"), std::string::npos);
    EXPECT_NE(html.find("Rota &lt;Norte&gt;"), std::string::npos);
    EXPECT_NE(html.find("Erro na query: &lt;falhou&gt; &amp; &#39;parou&#39;"), std::string::npos);
    EXPECT_NE(html.find("1234,5"), std::string::npos);
    EXPECT_NE(html.find("10.0.0.7"), std::string::npos);
    EXPECT_NE(html.find("Em execução — 1 dispositivo"), std::string::npos);
    // It reloads itself, reads on a phone, and loads nothing from outside.
    EXPECT_NE(html.find("<meta http-equiv=\"refresh\" content=\"5\">"), std::string::npos);
    EXPECT_NE(html.find("name=\"viewport\""), std::string::npos);
    EXPECT_EQ(html.find("src="), std::string::npos);
    EXPECT_EQ(html.find("href="), std::string::npos);
}

TEST(StatusHtml, AnEmptyModelSaysSoInEverySection)
{
    const std::string html =
        app::paginaDeStatus(base::StatusSnapshot{}, app::LeituraDaBase{}, base::WallClock::now());
    EXPECT_NE(html.find(">Parado<"), std::string::npos);
    for (const char* frase : {"Nenhum dispositivo conectado.", "Não lido: o serviço está parado.",
                              "Nenhuma sincronização desde o início do serviço.",
                              "Nenhum alerta de qualidade.", "Nenhum erro.", "não verificada"})
        EXPECT_NE(html.find(frase), std::string::npos) << frase;
    EXPECT_EQ(contagem(html, "<table>"), "1"); // only the databases' table
    EXPECT_NE(html.rfind("</html>"), std::string::npos);
}

TEST(MetricsText, HistogramsAreCumulativeAndCountersCarryTheirLabels)
{
    base::StatusModel m;
    m.servicoIniciado(7010);
    m.conectou("1", "10.0.0.7");
    m.pedido("1", "1000", 500us, false); // first bucket
    m.pedido("1", "1000", 30ms, false);  // 0.05
    m.pedido("1", "1000", 20s, true);    // above the last bound
    m.pedido("1", "9876", 1ms, false);   // counted as outro
    m.envio("1", "6001", true);
    m.envio("1", "6001", false);
    const std::string t = app::textoDeMetricas(m.snapshot(), {{"coleta", 2, 3, 32}});

    for (const char* linha : {
             "quelvor_requests_total{code=\"1000\"} 3\n",
             "quelvor_requests_total{code=\"outro\"} 1\n",
             "quelvor_request_failures_total{code=\"1000\"} 1\n",
             "quelvor_request_duration_seconds_bucket{code=\"1000\",le=\"0.001\"} 1\n",
             "quelvor_request_duration_seconds_bucket{code=\"1000\",le=\"0.025\"} 1\n",
             "quelvor_request_duration_seconds_bucket{code=\"1000\",le=\"0.05\"} 2\n",
             "quelvor_request_duration_seconds_bucket{code=\"1000\",le=\"10\"} 2\n",
             "quelvor_request_duration_seconds_bucket{code=\"1000\",le=\"+Inf\"} 3\n",
             "quelvor_request_duration_seconds_count{code=\"1000\"} 3\n",
             "quelvor_uploads_acknowledged_total{code=\"6001\"} 1\n",
             "quelvor_uploads_not_acknowledged_total{code=\"6001\"} 1\n",
             "quelvor_connected_handhelds 1\n",
             "quelvor_connections_accepted_total 1\n",
             "quelvor_pool_attachments{database=\"coleta\",state=\"in_use\"} 2\n",
             "quelvor_pool_attachments{database=\"coleta\",state=\"idle\"} 3\n",
             "quelvor_pool_attachments_limit{database=\"coleta\"} 32\n",
             "quelvor_service_running 1\n",
         })
        EXPECT_NE(t.find(linha), std::string::npos) << linha << t;
}

// ---------------------------------------------------------------------------

namespace {

// A page in this process on a free port, with settings and a model the test
// changes at will.
struct PaginaNesteProcesso
{
    base::ServiceState state;
    app::StatusPage page{state, [] { return std::vector<app::UsoDoPool>{{"coleta", 0, 1, 32}}; }};

    int liga(base::Settings s)
    {
        s.statusPorta = test::freeLoopbackPort();
        state.settings.set(s);
        if (!waitUntil([&] { return page.portaAtiva() == s.statusPorta; }))
            ADD_FAILURE() << "the page did not start on " << s.statusEndereco << ":" << s.statusPorta;
        return s.statusPorta;
    }
};

bool contem(test::LogMessages& log, const std::string& parte)
{
    for (const std::string& m : log.collect())
        if (m.find(parte) != std::string::npos)
            return true;
    return false;
}

int status(const httplib::Result& r)
{
    return r ? r->status : -1;
}

// Runs a command line through the shell; its output and exit status.
std::pair<std::string, int> roda(const std::string& comando)
{
    std::string saida;
    FILE* p = ::popen((comando + " 2>&1").c_str(), "r");
    if (!p)
        return {"popen failed", -1};
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, p)) > 0)
        saida.append(buffer, n);
    const int rc = ::pclose(p);
    return {saida, WIFEXITED(rc) ? WEXITSTATUS(rc) : -1};
}

} // namespace

TEST(StatusPage, OffTheLoopbackEveryRequestNeedsTheToken)
{
    PaginaNesteProcesso p;
    base::Settings s;
    s.statusEndereco = "0.0.0.0";
    s.statusToken = "s3gredo-da-usina";
    const int porta = p.liga(s);
    p.state.status.servicoIniciado(7010);
    httplib::Client c("127.0.0.1", porta);

    struct Caso
    {
        const char* autorizacao;
        int esperado;
    };
    for (const Caso& k : {Caso{nullptr, 401}, Caso{"Bearer errado", 401}, Caso{"Bearer s3gredo-da-usin", 401},
                          Caso{"Bearer s3gredo-da-usinaX", 401}, Caso{"bearer s3gredo-da-usina", 401},
                          Caso{"s3gredo-da-usina", 401}, Caso{"Bearer s3gredo-da-usina", 200}}) {
        httplib::Headers h;
        if (k.autorizacao)
            h.emplace("Authorization", k.autorizacao);
        for (const char* caminho : {"/", "/metrics", "/healthz"}) {
            if (k.esperado == 200 && std::string(caminho) == "/healthz")
                continue; // no database here: 503, seen below
            EXPECT_EQ(status(c.Get(caminho, h)), k.esperado)
                << caminho << " " << (k.autorizacao ? k.autorizacao : "");
        }
    }
    // Even a path that does not exist says nothing without the token.
    EXPECT_EQ(status(c.Get("/nada")), 401);

    const httplib::Headers comToken{{"Authorization", "Bearer s3gredo-da-usina"}};
    EXPECT_EQ(status(c.Get("/nada", comToken)), 404);
    EXPECT_EQ(status(c.Post("/", comToken, "x", "text/plain")), 405);
    EXPECT_EQ(status(c.Delete("/metrics", comToken)), 405);
    EXPECT_EQ(status(c.Put("/healthz", comToken, "x", "text/plain")), 405);
    EXPECT_EQ(status(c.Head("/", comToken)), 200);
    EXPECT_EQ(status(c.Get("/healthz", comToken)), 503);

    EXPECT_TRUE(app::tokenConfere("Bearer abc", "abc"));
    EXPECT_FALSE(app::tokenConfere("Bearer ", ""));
    EXPECT_FALSE(app::tokenConfere("", ""));
}

TEST(StatusPage, WithoutATokenItStartsOnlyOnTheLoopbackAndFollowsTheSettings)
{
    test::LogMessages log;
    PaginaNesteProcesso p;
    base::Settings s;
    s.statusEndereco = "0.0.0.0";
    s.statusPorta = test::freeLoopbackPort();
    p.state.settings.set(s);
    ASSERT_TRUE(waitUntil([&] { return contem(log, "não é de loopback e [Status] Token está vazio"); }));
    EXPECT_EQ(p.page.portaAtiva(), 0);

    // On the loopback no token is needed; a new port is taken up as soon as
    // it is published, and the old one is let go.
    s.statusEndereco = "127.0.0.1";
    const int primeira = p.liga(s);
    EXPECT_EQ(status(httplib::Client("127.0.0.1", primeira).Get("/metrics")), 200);
    const int segunda = p.liga(s);
    EXPECT_EQ(status(httplib::Client("127.0.0.1", segunda).Get("/metrics")), 200);
    EXPECT_EQ(status(httplib::Client("127.0.0.1", primeira).Get("/metrics")), -1);
    EXPECT_TRUE(contem(log, "Página de status em http://127.0.0.1:" + std::to_string(segunda) + "/"));

    s.statusPorta = 0;
    p.state.settings.set(s);
    ASSERT_TRUE(waitUntil([&] { return p.page.portaAtiva() == 0; }));
    EXPECT_EQ(status(httplib::Client("127.0.0.1", segunda).Get("/metrics")), -1);

    EXPECT_TRUE(app::enderecoDeLoopback("127.0.0.1"));
    EXPECT_TRUE(app::enderecoDeLoopback("127.1.2.3"));
    EXPECT_TRUE(app::enderecoDeLoopback("::1"));
    EXPECT_TRUE(app::enderecoDeLoopback("localhost"));
    EXPECT_FALSE(app::enderecoDeLoopback("0.0.0.0"));
    EXPECT_FALSE(app::enderecoDeLoopback("::"));
    EXPECT_FALSE(app::enderecoDeLoopback("192.168.0.10"));
}

TEST(StatusPage, MetricsPassPromtool)
{
    PaginaNesteProcesso p;
    const int porta = p.liga(base::Settings{});
    base::StatusModel& m = p.state.status;
    m.servicoIniciado(7010);
    m.conectou("1", "10.0.0.7");
    m.identificou("1", "HH", "2.0");
    for (const char* codigo : {"1000", "1001", "6001", "6002", "xyz"})
        m.pedido("1", codigo, 4ms, false);
    m.pedido("1", "6001", 2s, true);
    m.envio("1", "6001", true);
    m.envio("1", "6002", false);
    m.baseRespondeu(base::StatusModel::Base::Coleta);
    m.baseFalhou(base::StatusModel::Base::Tarvell, "no route");
    const auto n = m.sincronizacaoIniciada();
    m.sincronizacaoTabela(n, {"PRODUTORES", 10, 9});
    m.sincronizacaoTerminada(n, false, "lost");
    m.alerta({base::WallClock::now(), "acidez", "1", "2", "", "ACIDO", "HH"});

    const auto r = httplib::Client("127.0.0.1", porta).Get("/metrics");
    ASSERT_EQ(status(r), 200);
    EXPECT_NE(r->get_header_value("Content-Type").find("text/plain; version=0.0.4"), std::string::npos);
    for (const char* parte : {"quelvor_last_sync_success 0", "quelvor_database_up{database=\"tarvell\"} 0",
                              "quelvor_quality_alerts_total{type=\"acidez\"} 1", "code=\"outro\""})
        EXPECT_NE(r->body.find(parte), std::string::npos) << parte;

    const std::string arquivo = testing::TempDir() + "quelvor_metrics.txt";
    std::ofstream(arquivo, std::ios::binary) << r->body;
    const auto [saida, rc] = roda("promtool check metrics < " + arquivo);
    ASSERT_NE(rc, 127) << "promtool is missing (Debian's prometheus package; scripts/test.sh installs it)";
    EXPECT_EQ(rc, 0) << saida << r->body;
    std::filesystem::remove(arquivo);
}

TEST(StatusPage, HealthzFollowsTheCollectionDatabaseGoingOfflineAndBack)
{
    TestDatabase db(TestDatabase::Kind::Coleta);
    db.execScript(
        "INSERT INTO DISPOSITIVOS (DIS_ID, DIS_LIBERADO, DIS_VERSAOAPK) VALUES ('NOVO-1', 'N', '2.0');"
        "INSERT INTO ROTAS (ROT_CODIGO, ROT_DESCRICAO) VALUES (3, 'Linha do Vale');"
        "INSERT INTO CARGAS (CAR_CODIGO, CAR_ROTA) VALUES (1, 3);"
        "INSERT INTO COLETAS (CAR_CODIGO, COL_IDORIGINAL, COL_DATAHORA, COL_QTDE) "
        "VALUES (1, 1, CURRENT_TIMESTAMP, 120.5);"
        "INSERT INTO COLETAS (CAR_CODIGO, COL_IDORIGINAL, COL_DATAHORA, COL_QTDE) "
        "VALUES (1, 2, CURRENT_TIMESTAMP, 80);"
        "INSERT INTO COLETAS (CAR_CODIGO, COL_IDORIGINAL, COL_DATAHORA, COL_QTDE) "
        "VALUES (1, 3, DATEADD(-1 DAY TO CURRENT_TIMESTAMP), 999);");
    PaginaNesteProcesso p;
    const int porta = p.liga(test::settingsForServer(db));
    httplib::Client c("127.0.0.1", porta);

    auto r = c.Get("/healthz");
    EXPECT_EQ(status(r), 503);
    EXPECT_EQ(r ? r->body : "", "serviço parado\n");

    p.state.status.servicoIniciado(7010);
    r = c.Get("/healthz");
    EXPECT_EQ(status(r), 200);
    EXPECT_EQ(r ? r->body : "", "ok\n");
    // The page's own read: the handheld waiting for release, today's
    // collections of the route (yesterday's left out).
    r = c.Get("/");
    ASSERT_EQ(status(r), 200);
    EXPECT_NE(r->body.find("NOVO-1"), std::string::npos);
    EXPECT_NE(r->body.find("3 — Linha do Vale</td><td class=\"n\">2</td><td class=\"n\">200,5</td>"),
              std::string::npos)
        << r->body;

    const std::string acesso =
        "-user " + db.user() + " -password '" + db.password() + "' " + db.connectionString();
    auto [saida, rc] = roda("gfix -shut full -force 0 " + acesso);
    ASSERT_EQ(rc, 0) << saida;
    std::string corpo;
    EXPECT_TRUE(waitUntil(
        [&] {
            r = c.Get("/healthz");
            corpo = r ? r->body : "";
            return status(r) == 503;
        },
        10s));
    EXPECT_NE(corpo.find("base de dados das coletas não responde: "), std::string::npos) << corpo;
    r = c.Get("/");
    ASSERT_EQ(status(r), 200);
    EXPECT_NE(r->body.find("Base de dados indisponível"), std::string::npos);

    std::tie(saida, rc) = roda("gfix -online " + acesso);
    ASSERT_EQ(rc, 0) << saida;
    EXPECT_TRUE(waitUntil([&] { return status(c.Get("/healthz")) == 200; }, 10s));
}
