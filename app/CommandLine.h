#pragma once
// The command line of quelvord. The window build takes no options; the
// headless server takes a few, so that a packaged server can be pointed at
// its configuration under /etc, checked before it is started, and given its
// database credentials without the window. Parsing has no side effects: it
// only says what to do, and the caller does it. Any thread.

#include <string>
#include <string_view>
#include <vector>

namespace quelvor::app {

struct CommandLine
{
    enum class Action
    {
        Run,            // serve the handhelds
        Help,           // --help
        Version,        // --version
        CheckConfig,    // --check-config
        SetCredentials, // --set-credentials coleta|tarvell USER
    };

    Action action = Action::Run;
    std::string config;         // --config PATH; empty: beside the executable
    std::string credentialBase; // "coleta" or "tarvell"
    std::string credentialUser;
    std::string error; // not empty: the line was refused, exit status 2
};

// Reads the arguments after the program's name. "--config=PATH" is taken as
// well as "--config PATH". One action at most; an option it does not know, a
// missing value or a second action fill `error`.
CommandLine parseCommandLine(const std::vector<std::string_view>& args);

// The text of --help.
std::string usageText();

// The program's version, as the package carries it.
std::string_view programVersion();

} // namespace quelvor::app
