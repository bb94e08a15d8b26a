// SIGTERM and SIGINT in the window build: the exit of "Sair", whatever the
// window is doing when the signal comes, in the test process and in the
// quelvor executable itself.
#include "tests/support/QuelvordProcess.h"
#include "tests/support/TestDevice.h"
#include "tests/ui/WindowFixture.h"
#include "ui/ExitSignals.h"

#include <QMessageBox>

#include <pthread.h>
#include <signal.h>

#include <csignal>

using namespace quelvor;
using namespace quelvor::test;

namespace {

class ExitSignalTest : public WindowTest
{
protected:
    ExitSignalTest()
    {
        useDatabase();
        writeConfig(7010, 0);
        start();
    }

    ui::ExitSignals exitSignals{[this] { window->exitSignalled(); }};
};

// The exit runs at once when nothing else does; during a synchronisation it
// waits for the run, which is told to give up; an open box is cancelled.
TEST_F(ExitSignalTest, RunsTheExitWhateverTheWindowIsDoing)
{
    struct Case
    {
        const char* what;
        int signo;
        const char* during; // nullptr, "sync" or "box"
    };
    const Case cases[] = {
        {"SIGTERM, idle", SIGTERM, nullptr},
        {"SIGINT, idle", SIGINT, nullptr},
        {"SIGTERM during a synchronisation", SIGTERM, "sync"},
        {"SIGINT with the restart prompt open", SIGINT, "box"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        build(true);
        start();
        ASSERT_TRUE(core->running());
        exitCode.reset();
        const std::string during = c.during ? c.during : "";

        if (during == "sync") {
            bool exitedDuringRun = true;
            duringSync = [&] {
                std::raise(c.signo);
                pumpFor(100);
                exitedDuringRun = window->exited();
                EXPECT_TRUE(core->exitRequested()) << "the run is told to give up";
            };
            action("S2")->trigger();
            EXPECT_FALSE(exitedDuringRun) << "the exit waits for the run under way";
        } else if (during == "box") {
            window->setBoxHook({});
            QTimer::singleShot(100, [&] {
                EXPECT_NE(QApplication::activeModalWidget(), nullptr) << "the prompt is open";
                std::raise(c.signo);
            });
            action("E1")->trigger();
            action("S1")->trigger(); // returns once the prompt is cancelled
        } else {
            std::raise(c.signo);
        }

        ASSERT_TRUE(pumpUntil([&] { return window->exited(); }, 5000));
        EXPECT_EQ(exitCode, 0);
        EXPECT_FALSE(listener.isActive);
        const QStringList log = logMessages();
        EXPECT_EQ(log.count("Serviços encerrados"), 1) << "the prompt's restart did not run";
        EXPECT_EQ(log.back(), "Serviços encerrados");
    }
}

// The executable as an operator runs it: the signal ends it with status 0,
// from the start-up wait and from a running service alike.
TEST(QuelvorProcess, EndsWithZeroOnSigtermAndSigint)
{
    qtApp(); // the child inherits the offscreen platform
    // And it starts as from an operator's shell, with no signal blocked,
    // whatever an earlier test of this process left blocked here.
    sigset_t exitSet;
    sigemptyset(&exitSet);
    sigaddset(&exitSet, SIGTERM);
    sigaddset(&exitSet, SIGINT);
    pthread_sigmask(SIG_UNBLOCK, &exitSet, nullptr);
    TestDatabase db(TestDatabase::Kind::Coleta);
    db.execScript("INSERT INTO PARAMETROS (PAR_ID, PAR_EMPRESA, PAR_VERSAOAPK) VALUES (1, '5', '2.0');");
    struct Case
    {
        const char* what;
        int signo;
        int wait;
    };
    const Case cases[] = {
        {"SIGTERM while serving", SIGTERM, 0},
        {"SIGINT during the start-up wait", SIGINT, 30},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        base::Settings s;
        s.edtPorta = freeLoopbackPort();
        s.edtTempoInicializacao = c.wait;
        s.EdtBaseColeta = db.connectionString();
        s.EdtUsuarioColeta = db.user();
        s.EdtSenhaColeta = db.password();
        QuelvordProcess quelvor(QUELVOR_PATH, &s, QuelvordProcess::NoWait{});
        if (c.wait == 0) {
            // Serving once a handheld's connection is taken.
            ASSERT_TRUE(pumpUntil(
                [&] {
                    try {
                        TestDevice probe("127.0.0.1", s.edtPorta);
                        return true;
                    } catch (const std::exception&) {
                        return false;
                    }
                },
                20000));
        } else {
            pumpFor(1500); // well inside the wait
        }
        quelvor.signal(c.signo);
        EXPECT_EQ(quelvor.wait(std::chrono::seconds(10)), 0) << quelvor.errors();
    }
}

} // namespace
