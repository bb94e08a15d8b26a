#include "app/CommandLine.h"

#ifndef QUELVOR_VERSION
#define QUELVOR_VERSION "unknown"
#endif

namespace quelvor::app {

CommandLine parseCommandLine(const std::vector<std::string_view>& args)
{
    CommandLine line;
    bool actionGiven = false;
    auto setAction = [&](CommandLine::Action action, std::string_view name) {
        if (actionGiven && line.error.empty())
            line.error =
                "only one of --help, --version, --check-config and --set-credentials may be given (" +
                std::string(name) + ")";
        actionGiven = true;
        line.action = action;
    };
    for (size_t i = 0; i < args.size() && line.error.empty(); ++i) {
        const std::string_view arg = args[i];
        if (arg == "--config") {
            if (i + 1 >= args.size() || args[i + 1].empty()) {
                line.error = "--config needs the path of the configuration file";
                break;
            }
            line.config = args[++i];
        } else if (arg.starts_with("--config=")) {
            line.config = arg.substr(9);
            if (line.config.empty())
                line.error = "--config needs the path of the configuration file";
        } else if (arg == "--help" || arg == "-h") {
            setAction(CommandLine::Action::Help, arg);
        } else if (arg == "--version") {
            setAction(CommandLine::Action::Version, arg);
        } else if (arg == "--check-config") {
            setAction(CommandLine::Action::CheckConfig, arg);
        } else if (arg == "--set-credentials") {
            setAction(CommandLine::Action::SetCredentials, arg);
            if (i + 2 >= args.size()) {
                line.error = "--set-credentials needs the database (coleta or tarvell) and the user";
                break;
            }
            line.credentialBase = args[++i];
            line.credentialUser = args[++i];
            if (line.credentialBase != "coleta" && line.credentialBase != "tarvell")
                line.error =
                    "--set-credentials: the database is coleta or tarvell, not '" + line.credentialBase + "'";
        } else {
            line.error = "unknown option '" + std::string(arg) + "'";
        }
    }
    return line;
}

std::string usageText()
{
    return "Usage: quelvord [--config PATH] [--check-config | --set-credentials coleta|tarvell USER]\n"
           "       quelvord --help | --version\n"
           "\n"
           "The server of the milk-collection handhelds, without a window. It logs on\n"
           "standard output; SIGTERM or SIGINT stops it, SIGHUP reads the configuration\n"
           "file again, SIGUSR1 runs a synchronisation with the ERP at once.\n"
           "\n"
           "  --config PATH        the configuration file (default: ConfigQuelvorLeite.ini\n"
           "                       beside the executable)\n"
           "  --check-config       print the settings in use (passwords masked), try both\n"
           "                       databases and exit: 0 when the server can start, 1 when not\n"
           "  --set-credentials coleta|tarvell USER\n"
           "                       store USER and the password read from standard input\n"
           "                       for the collection (coleta) or the ERP (tarvell)\n"
           "                       database, scrambled as the window saves them\n"
           "  --help               this text\n"
           "  --version            the program's version\n"
           "\n"
           "Exit status: 0 stopped cleanly or done; 1 not configured, a failed check, or\n"
           "another server already runs with this configuration; 2 a wrong command line.\n";
}

std::string_view programVersion()
{
    return QUELVOR_VERSION;
}

} // namespace quelvor::app
