// quelvord: the server without a window. The configuration file is the one
// beside the executable, or the one --config names; log lines go to standard
// output (with their priorities when that is the journal). SIGTERM and SIGINT
// end it cleanly, SIGHUP reads the configuration again, SIGUSR1 runs a
// synchronisation. Under systemd it reports readiness, status and the
// watchdog through NOTIFY_SOCKET.
#include "app/CommandLine.h"
#include "app/ConfigCommands.h"
#include "app/ConfigFile.h"
#include "app/HeadlessFrontEnd.h"
#include "app/InstanceLock.h"
#include "app/JournalLog.h"
#include "app/Notify.h"
#include "app/Service.h"
#include "base/OperatorLog.h"

#include <csignal>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <iostream>
#include <optional>
#include <termios.h>
#include <unistd.h>

int main(int argc, char** argv)
{
    using namespace quelvor;
    // A closed reader of standard output (quelvord | head) must not end the
    // server: the write fails and the server goes on.
    std::signal(SIGPIPE, SIG_IGN);
    std::setvbuf(stdout, nullptr, _IOLBF, 0);

    const app::CommandLine line = app::parseCommandLine(std::vector<std::string_view>(argv + 1, argv + argc));
    if (!line.error.empty()) {
        std::fprintf(stderr, "quelvord: %s\nTry 'quelvord --help'.\n", line.error.c_str());
        return 2;
    }
    // Absolute, so that the log and a reload name the same file whatever the
    // working directory.
    const std::string config = line.config.empty()
                                   ? app::configPath()
                                   : std::filesystem::absolute(line.config).lexically_normal().string();
    switch (line.action) {
    case app::CommandLine::Action::Help:
        std::fputs(app::usageText().c_str(), stdout);
        return 0;
    case app::CommandLine::Action::Version:
        std::printf("quelvord %s\n", std::string(app::programVersion()).c_str());
        return 0;
    case app::CommandLine::Action::CheckConfig:
        return app::checkConfig(config, stdout, stderr);
    case app::CommandLine::Action::SetCredentials: {
        // Typed at a terminal, the password is not shown; piped in, it is read as it comes.
        termios saved{};
        const bool terminal = isatty(STDIN_FILENO) && tcgetattr(STDIN_FILENO, &saved) == 0;
        if (terminal) {
            termios quiet = saved;
            quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
            tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet);
            std::fprintf(stderr, "Password for %s: ", line.credentialUser.c_str());
        }
        const int status =
            app::setCredentials(config, line.credentialBase, line.credentialUser, std::cin, stdout, stderr);
        if (terminal) {
            tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved);
            std::fputc('\n', stderr);
        }
        return status;
    }
    case app::CommandLine::Action::Run:
        break;
    }

    // Before any other thread exists, so that they all inherit the signal mask.
    std::optional<app::HeadlessFrontEnd> front;
    try {
        front.emplace();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "quelvord: %s\n", e.what());
        return 1;
    }
    front->setJournalPriorities(app::standardOutputIsJournal());

    const app::InstanceLock lock(config);
    if (lock.takenByOther()) {
        base::log(app::kServidorJaEmExecucao);
        front->processPendingEvents();
        return 1;
    }

    app::SystemdNotifier notifier;
    front->setNotifier(&notifier);
    app::Service service(*front);
    app::TFrmPrincipal& core = service.core();
    front->attach(core, [&service] { service.sincronizacao().S2Click(); });
    if (!lock.problem().empty())
        core.log("Sem proteção contra um segundo servidor com esta configuração: " + lock.problem());

    front->start(config);
    if (core.exitRequested())
        return front->run();
    if (core.firstRunTaken()) {
        // Nobody can configure a headless server: say where the file goes and stop.
        core.log("Configure " + config + " e inicie novamente.");
        front->processPendingEvents();
        core.FormDestroy();
        return 1;
    }
    return front->run();
}
