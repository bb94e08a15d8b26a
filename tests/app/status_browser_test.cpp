// The status page of a running quelvord as a person sees it: Debian's
// chromium, headless, loads it while a handheld is connected, its DOM must
// show that handheld, and the screenshot stays in the build folder
// (status_page.png) for a person to look at.
#include "tests/support/QuelvordProcess.h"
#include "tests/support/TestDatabase.h"
#include "tests/support/TestDevice.h"

#include <gtest/gtest.h>
#include <httplib.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>

using namespace quelvor;
using namespace std::chrono_literals;
using quelvor::test::QuelvordProcess;
using quelvor::test::TestDatabase;
using quelvor::test::TestDevice;

namespace {

const std::string S(1, '\x02');

std::pair<std::string, int> roda(const std::string& comando)
{
    std::string saida;
    // chromium's own chatter on standard error stays out of the DOM.
    FILE* p = ::popen(
        (comando.find("2>&1") == std::string::npos ? comando + " 2>/dev/null" : comando).c_str(), "r");
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

TEST(StatusPageInABrowser, ShowsTheConnectedHandheld)
{
    TestDatabase db(TestDatabase::Kind::Coleta, true);
    db.execScript("INSERT INTO CARGAS (CAR_CODIGO, CAR_ROTA, CAR_ID_APARELHO) VALUES (900001, 1, 'DEMO-01');"
                  "INSERT INTO CARGAS (CAR_CODIGO, CAR_ROTA, CAR_ID_APARELHO) VALUES (900002, 2, 'DEMO-01');"
                  "INSERT INTO COLETAS (CAR_CODIGO, COL_IDORIGINAL, COL_PRODUTOR, COL_DATAHORA, COL_QTDE) "
                  "VALUES (900001, 1, 1, CURRENT_TIMESTAMP, 312.5);"
                  "INSERT INTO COLETAS (CAR_CODIGO, COL_IDORIGINAL, COL_PRODUTOR, COL_DATAHORA, COL_QTDE) "
                  "VALUES (900001, 2, 2, CURRENT_TIMESTAMP, 187);"
                  "INSERT INTO COLETAS (CAR_CODIGO, COL_IDORIGINAL, COL_PRODUTOR, COL_DATAHORA, COL_QTDE) "
                  "VALUES (900002, 3, 3, CURRENT_TIMESTAMP, 95.25);");
    const base::Settings s = test::settingsForServer(db);
    const int porta = test::freeLoopbackPort();
    QuelvordProcess::Options options;
    options.iniExtra = "[Status]\nPorta=" + std::to_string(porta) + "\n";
    QuelvordProcess daemon(QUELVORD_PATH, s, options);
    ASSERT_TRUE(daemon.waitForOutput("-Página de status em http://127.0.0.1:" + std::to_string(porta) + "/"))
        << daemon.output();

    TestDevice handheld("127.0.0.1", s.edtPorta);
    handheld.send("1000" + S + "DEMO-01" + S + "1" + S + "2" + S + "1" + S + "1.0.0" + S + "\r\n");
    const std::string reply = handheld.receiveUntil("9999" + S + "\r\n");
    ASSERT_EQ(reply.substr(0, 5), "2000" + S) << reply; // released

    // The model hears of the handshake on the handheld's own thread.
    httplib::Client c("127.0.0.1", porta);
    std::string pagina;
    EXPECT_TRUE(test::waitUntil(
        [&] {
            const auto r = c.Get("/");
            pagina = r ? r->body : "";
            return pagina.find("<td>DEMO-01</td>") != std::string::npos;
        },
        10s))
        << pagina;

    // The handshake's own counters, as Prometheus would scrape them.
    const auto metricas = c.Get("/metrics");
    ASSERT_TRUE(metricas);
    EXPECT_NE(metricas->body.find("quelvor_requests_total{code=\"1000\"} 1\n"), std::string::npos)
        << metricas->body;
    EXPECT_NE(metricas->body.find("quelvor_request_duration_seconds_bucket{code=\"1000\",le=\"+Inf\"} 1\n"),
              std::string::npos);
    EXPECT_NE(metricas->body.find("quelvor_connected_handhelds 1\n"), std::string::npos);
    const std::string arquivo = testing::TempDir() + "quelvord_metrics.txt";
    std::ofstream(arquivo, std::ios::binary) << metricas->body;
    const auto [verificacao, rcPromtool] = roda("promtool check metrics < " + arquivo + " 2>&1");
    ASSERT_NE(rcPromtool, 127)
        << "promtool is missing (Debian's prometheus package; scripts/test.sh installs it)";
    EXPECT_EQ(rcPromtool, 0) << verificacao;
    std::filesystem::remove(arquivo);

    const std::string url = "http://127.0.0.1:" + std::to_string(porta) + "/";
    const std::filesystem::path perfil =
        std::filesystem::temp_directory_path() / ("quelvor-chromium-" + std::to_string(::getpid()));
    const std::string chromium = "chromium --headless --no-sandbox --disable-gpu --hide-scrollbars "
                                 "--no-first-run --user-data-dir=" +
                                 perfil.string() + " ";
    const auto [dom, rc] = roda(chromium + "--dump-dom " + url);
    ASSERT_NE(rc, 127) << "chromium is missing (Debian's chromium package; scripts/test.sh installs it)";
    EXPECT_EQ(rc, 0);
    EXPECT_NE(dom.find("<td>DEMO-01</td>"), std::string::npos) << dom;
    EXPECT_NE(dom.find("Em execução — 1 dispositivo"), std::string::npos) << dom;
    EXPECT_NE(dom.find("DEMO-02"), std::string::npos) << "the handheld waiting for release";
    EXPECT_NE(dom.find("LINHA 01 - ARROIO DO MEIO"), std::string::npos) << "today's collections of route 1";
    EXPECT_NE(dom.find("<td class=\"n\">3</td><td class=\"n\">594,75</td>"), std::string::npos)
        << "today's total";

    const std::filesystem::path imagem = std::filesystem::path(QUELVOR_BUILD_DIR) / "status_page.png";
    std::filesystem::remove(imagem);
    const auto [saida, rcImagem] =
        roda(chromium + "--window-size=1100,1300 --screenshot=" + imagem.string() + " " + url);
    EXPECT_EQ(rcImagem, 0) << saida;
    EXPECT_TRUE(std::filesystem::exists(imagem));
    EXPECT_GT(std::filesystem::file_size(imagem), 10000u);
    std::error_code ignorado;
    std::filesystem::remove_all(perfil, ignorado);
}

TEST(StatusPageInABrowser, AReloadMovesThePageWithoutRestartingTheService)
{
    TestDatabase db(TestDatabase::Kind::Coleta);
    const base::Settings s = test::settingsForServer(db);
    const int antes = test::freeLoopbackPort();
    QuelvordProcess::Options options;
    options.iniExtra = "[Status]\nPorta=" + std::to_string(antes) + "\n";
    QuelvordProcess daemon(QUELVORD_PATH, s, options);
    ASSERT_TRUE(daemon.waitForOutput("-Página de status em http://127.0.0.1:" + std::to_string(antes) + "/"));

    // The file as the operator edits it: the [Status] port changed.
    std::string ini;
    {
        std::ifstream in(daemon.configFile(), std::ios::binary);
        ini.assign(std::istreambuf_iterator<char>(in), {});
    }
    int depois = test::freeLoopbackPort();
    while (depois == antes)
        depois = test::freeLoopbackPort();
    const std::string velha = "[Status]\nPorta=" + std::to_string(antes);
    ASSERT_NE(ini.find(velha), std::string::npos);
    ini.replace(ini.find(velha), velha.size(), "[Status]\nPorta=" + std::to_string(depois));
    std::ofstream(daemon.configFile(), std::ios::binary | std::ios::trunc) << ini;
    daemon.signal(SIGHUP);

    EXPECT_TRUE(daemon.waitForOutput("-Página de status em http://127.0.0.1:" + std::to_string(depois) + "/"))
        << daemon.output();
    EXPECT_NE(daemon.output().find("Status Porta " + std::to_string(antes) + " -> " + std::to_string(depois)),
              std::string::npos);
    EXPECT_EQ(httplib::Client("127.0.0.1", depois).Get("/healthz")->status, 200);
    EXPECT_FALSE(httplib::Client("127.0.0.1", antes).Get("/healthz"));
    // The handhelds' service went on: one start in the log, no stop.
    EXPECT_EQ(daemon.output().find("-Serviços encerrados"), std::string::npos) << daemon.output();
}
