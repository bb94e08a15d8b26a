// The headless front end's own rules: boxes become log lines, and a start that
// failed is tried again, since nobody can click "Inicializado".
#include "app/FrmPrincipal.h"
#include "app/HeadlessFrontEnd.h"
#include "base/OperatorLog.h"
#include "tests/support/FakeListener.h"
#include "tests/support/TestDatabase.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <thread>

using namespace quelvor;
using quelvor::test::TestDatabase;

TEST(HeadlessFrontEnd, AFailedStartIsTriedAgainUntilItSucceeds)
{
    TestDatabase coleta(TestDatabase::Kind::Coleta);
    std::FILE* out = std::tmpfile();
    {
        app::HeadlessFrontEnd front(out);
        base::ServiceState state;
        test::FakeListener listener;
        app::TFrmPrincipal core(front, state, listener);
        // Long enough that the first, failing start (slow under the
        // sanitizers) ends before a retry is due.
        front.startRetry = std::chrono::milliseconds(300);
        front.attach(core, nullptr);

        base::Settings s;
        s.edtPorta = 7100;
        s.EdtBaseColeta = coleta.connectionString();
        s.EdtUsuarioColeta = coleta.user();
        s.EdtSenhaColeta = "not yet"; // as if the database were not up yet
        core.setSettings(s);
        core.I1Click();
        ASSERT_TRUE(core.startFailed());

        // Not before its time, and not inside another operation.
        front.processPendingEvents();
        EXPECT_EQ(listener.activations, 0);
        std::this_thread::sleep_for(std::chrono::milliseconds(350));
        EXPECT_TRUE(front.tick());
        EXPECT_FALSE(core.running()) << "still failing";

        s.EdtSenhaColeta = coleta.password();
        core.setSettings(s);
        std::this_thread::sleep_for(std::chrono::milliseconds(350));
        EXPECT_TRUE(front.tick());
        EXPECT_TRUE(core.running());
        EXPECT_FALSE(core.startFailed());
        EXPECT_EQ(listener.activations, 1);
        core.FechaAplicacao();
    }
    std::rewind(out);
    std::string printed;
    char buf[4096];
    for (size_t n; (n = std::fread(buf, 1, sizeof buf, out)) > 0;)
        printed.append(buf, n);
    std::fclose(out);

    size_t attempts = 0;
    for (size_t at = printed.find("-Iniciando tentativa de inicialização...."); at != std::string::npos;
         at = printed.find("-Iniciando tentativa de inicialização....", at + 1))
        ++attempts;
    EXPECT_EQ(attempts, 3u) << printed;
    EXPECT_NE(printed.find("-Falha na conexão da base de dados das Coletas (Temp)"), std::string::npos);
    EXPECT_NE(printed.find("-Servidor socket inicializado na porta 7100"), std::string::npos);
    EXPECT_NE(printed.find("-Serviços encerrados"), std::string::npos);
}

TEST(HeadlessFrontEnd, BoxesBecomeLogLinesAndTheRestartPromptIsDeclined)
{
    std::FILE* out = std::tmpfile();
    {
        app::HeadlessFrontEnd front(out);
        front.showMessage("Necessário informar versão do cliente");
        EXPECT_FALSE(front.askOkCancel("Alterções exigem que o serviço seja Reiniciado."));
    }
    std::rewind(out);
    char buf[4096];
    const size_t n = std::fread(buf, 1, sizeof buf, out);
    std::fclose(out);
    const std::string printed(buf, n);
    EXPECT_NE(printed.find("-Necessário informar versão do cliente\n"), std::string::npos) << printed;
    EXPECT_NE(printed.find("-Alterções exigem que o serviço seja Reiniciado.\n"), std::string::npos)
        << printed;
}

TEST(HeadlessFrontEnd, ASynchronisationDueDuringARunGoesToTheRunInsteadOfFollowingIt)
{
    std::FILE* out = std::tmpfile();
    {
        app::HeadlessFrontEnd front(out);
        base::ServiceState state;
        test::FakeListener listener;
        app::TFrmPrincipal core(front, state, listener);
        front.timer2 = std::chrono::milliseconds(40);
        int starts = 0;
        int startsDuringTheRun = 0;
        front.attach(core, [&] {
            ++starts;
            if (starts > 1) {
                ++startsDuringTheRun; // the run's busy mark would turn this one away
                return;
            }
            front.setSyncBusy(true);
            std::this_thread::sleep_for(std::chrono::milliseconds(60)); // a long row
            front.processPendingEvents();
            front.setSyncBusy(false);
        });
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        EXPECT_TRUE(front.tick());
        EXPECT_EQ(starts, 2);
        EXPECT_EQ(startsDuringTheRun, 1);
        EXPECT_TRUE(front.tick());
        EXPECT_EQ(starts, 2) << "no second run right after the first";
    }
    std::fclose(out);
}
