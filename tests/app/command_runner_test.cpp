// The one rule for which command may run inside which, as both front ends
// use it, and the main window core as the synchronisation's host. No
// database: the start-up takes the first-run path and the run is a stand-in.
#include "app/CommandRunner.h"

#include "app/FrmPrincipal.h"
#include "base/OperatorLog.h"
#include "base/ServiceState.h"
#include "sync/Sincronizacao.h"
#include "tests/support/FakeListener.h"

#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

namespace quelvor::app {
namespace {

struct Front : FrontEnd
{
    std::vector<std::string> boxes;
    std::vector<bool> syncBusy;
    std::vector<std::string> panel3;
    std::function<void()> onEvents; // runs once, as a click taken between two steps

    void showMessage(const std::string& t) override { boxes.push_back(t); }
    bool askOkCancel(const std::string& t) override
    {
        boxes.push_back(t);
        return false;
    }
    void showError(const std::string& t) override { boxes.push_back("error: " + t); }
    void openWindow() override {}
    void setIndicator(bool) override {}
    void setRunningCheck(bool) override {}
    void enableMainMenus(bool) override {}
    void liberaopcoes(bool) override {}
    void setEditing(bool) override {}
    void showSettings(const base::Settings&) override {}
    void setSyncBusy(bool busy) override { syncBusy.push_back(busy); }
    void setStatusPanel(int panel, const std::string& text) override
    {
        if (panel == 3)
            panel3.push_back(text);
    }
    void hideTaskbarEntry() override {}
    void processPendingEvents() override
    {
        if (auto events = std::move(onEvents)) {
            onEvents = nullptr;
            events();
        }
    }
};

class CommandRunnerTest : public ::testing::Test
{
protected:
    CommandRunnerTest()
    {
        core.setSecondDuration(std::chrono::milliseconds(1));
        base::setMainThreadEvents([this] { front.processPendingEvents(); });
        messages();
    }
    ~CommandRunnerTest() override { base::setMainThreadEvents({}); }

    CommandRunner::Hooks hooks()
    {
        CommandRunner::Hooks h;
        h.sincronizar = [this] {
            trail.push_back("S2");
            if (duringRun)
                std::exchange(duringRun, nullptr)();
        };
        h.aoSair = [this] { trail.push_back("ended"); };
        return h;
    }

    static std::vector<std::string> messages()
    {
        std::vector<std::string> out;
        for (const auto& l : base::OperatorLog::instance().drain())
            out.push_back(l.substr(l.find('-', 10) + 1));
        return out;
    }

    Front front;
    base::ServiceState state;
    test::FakeListener listener;
    TFrmPrincipal core{front, state, listener};
    std::vector<std::string> trail;
    std::function<void()> duringRun;
};

TEST_F(CommandRunnerTest, DuringARunTheOperatorsCommandsRunAtOnceAndTheRestWaits)
{
    CommandRunner runner(core, front, hooks());
    duringRun = [&] {
        runner.request(Command::S2); // to the run under way
        EXPECT_EQ(trail, (std::vector<std::string>{"S2", "S2"}));
        runner.request(Command::E1); // at once
        EXPECT_TRUE(core.editing());
        EXPECT_EQ(runner.current(), Command::S2) << "the run is still the command under way";
        runner.request(Command::FormCreate); // waits
        runner.request(Command::FormCreate); // once
        EXPECT_EQ(messages(), std::vector<std::string>{"Habilitado para alterar parametros"});
        runner.request(Command::Sair); // gives the run notice, then waits
        EXPECT_TRUE(core.exitRequested());
        EXPECT_FALSE(runner.exited());
        trail.push_back("run ends");
    };
    runner.request(Command::S2);

    EXPECT_EQ(trail, (std::vector<std::string>{"S2", "S2", "run ends", "ended"}));
    EXPECT_TRUE(runner.exited());
    EXPECT_TRUE(runner.idle());
    // The start-up ran after the run, once, and gave up its wait for the exit.
    const std::vector<std::string> after = messages();
    EXPECT_EQ(std::count(after.begin(), after.end(), "Interface criada"), 1);
    runner.request(Command::S2);
    EXPECT_EQ(trail.back(), "ended") << "nothing runs after the exit";
}

TEST_F(CommandRunnerTest, OutsideARunEveryCommandWaitsForTheOneUnderWay)
{
    CommandRunner runner(core, front, hooks());
    // A click taken during the start-up's first log line.
    front.onEvents = [&] {
        runner.request(Command::S2);
        runner.request(Command::E1);
        runner.request(Command::S2);
        EXPECT_TRUE(trail.empty());
        EXPECT_FALSE(core.editing());
    };
    runner.start("/nonexistent/ConfigQuelvorLeite.ini");
    EXPECT_TRUE(core.firstRunTaken());
    EXPECT_EQ(trail, std::vector<std::string>{"S2"});
    EXPECT_TRUE(core.editing());
    EXPECT_FALSE(runner.exited());
}

TEST_F(CommandRunnerTest, WhatACommandLetsEscapeGoesToTheGeneralErrorHandling)
{
    CommandRunner::Hooks h;
    int calls = 0;
    h.sincronizar = [&] {
        if (++calls == 1)
            throw std::runtime_error("Conexão encerrada durante a sincronização.");
        throw 42;
    };
    CommandRunner runner(core, front, h);
    runner.request(Command::S2);
    runner.request(Command::S2);
    EXPECT_EQ(front.boxes, (std::vector<std::string>{"error: Conexão encerrada durante a sincronização.",
                                                     "error: Erro desconhecido"}));
    EXPECT_TRUE(runner.idle());
}

TEST_F(CommandRunnerTest, TheCoreIsTheHostOfTheSynchronisation)
{
    sync::Sincronizacao sincronizacao(core);
    base::Settings s = core.settings();
    s.ch_integratarvell = false;
    core.setSettings(s);
    sincronizacao.S2Click();
    EXPECT_EQ(core.contadorSincronizacao(), 1);
    EXPECT_EQ(messages(), std::vector<std::string>{"Integração com TARVELL não está ativa."});

    s.ch_integratarvell = true;
    core.setSettings(s);
    EXPECT_TRUE(core.integracaoAtiva());
    EXPECT_EQ(&core.conexaoTarvell(), &core.ConexaoTarvell);
    EXPECT_EQ(&core.conexaoTemp(), &core.ConexaoTemp);
    // Not connected: the run fails on its first read and clears its mark.
    EXPECT_THROW(sincronizacao.S2Click(), std::exception);
    EXPECT_EQ(front.syncBusy, (std::vector<bool>{true, false}));
    EXPECT_EQ(core.contadorSincronizacao(), 2);
    core.mostraProgresso("0000000001 (ROTAS)");
    EXPECT_EQ(front.panel3, std::vector<std::string>{"0000000001 (ROTAS)"});
}

} // namespace
} // namespace quelvor::app
