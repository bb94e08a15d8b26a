// quelvord's command line: what each line asks for, and which lines are refused.
#include "app/CommandLine.h"

#include <gtest/gtest.h>

using quelvor::app::CommandLine;
using quelvor::app::parseCommandLine;

TEST(CommandLine, ActionsAndTheConfigurationPath)
{
    struct Case
    {
        std::vector<std::string_view> args;
        CommandLine::Action action;
        std::string config;
    };
    const std::vector<Case> cases = {
        {{}, CommandLine::Action::Run, ""},
        {{"--config", "/etc/quelvor/ConfigQuelvorLeite.ini"},
         CommandLine::Action::Run,
         "/etc/quelvor/ConfigQuelvorLeite.ini"},
        {{"--config=/srv/q.ini"}, CommandLine::Action::Run, "/srv/q.ini"},
        {{"--check-config", "--config", "a.ini"}, CommandLine::Action::CheckConfig, "a.ini"},
        {{"--help"}, CommandLine::Action::Help, ""},
        {{"-h"}, CommandLine::Action::Help, ""},
        {{"--version"}, CommandLine::Action::Version, ""},
        {{"--config", "b.ini", "--set-credentials", "tarvell", "ERP"},
         CommandLine::Action::SetCredentials,
         "b.ini"},
    };
    for (const Case& c : cases) {
        const CommandLine line = parseCommandLine(c.args);
        EXPECT_EQ(line.error, "") << (c.args.empty() ? "(none)" : c.args[0]);
        EXPECT_EQ(line.action, c.action) << (c.args.empty() ? "(none)" : c.args[0]);
        EXPECT_EQ(line.config, c.config);
    }
    const CommandLine credentials = parseCommandLine({"--set-credentials", "coleta", "KORVA"});
    EXPECT_EQ(credentials.credentialBase, "coleta");
    EXPECT_EQ(credentials.credentialUser, "KORVA");
}

TEST(CommandLine, RefusedLines)
{
    const std::vector<std::vector<std::string_view>> refused = {
        {"--bogus"},
        {"start"},
        {"--config"},
        {"--config="},
        {"--config", ""},
        {"--set-credentials", "coleta"},
        {"--set-credentials", "erp", "X"},
        {"--help", "--version"},
        {"--check-config", "--set-credentials", "coleta", "U"},
    };
    for (const auto& args : refused)
        EXPECT_NE(parseCommandLine(args).error, "") << args[0] << " " << args.size();
}
