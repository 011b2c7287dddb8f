// The client's command line: chains, arguments and every usage error.
#include "ClientCommands.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

using client::CommandKind;

namespace {

struct Accepted {
    std::vector<std::wstring> args;
    bool keepGoing;
    std::vector<client::Command> commands;
    bool shared = false;
};

// A command's parsed fields side by side, to compare in one go.
auto Fields(const client::Command& c)
{
    return std::tuple(c.kind, c.argument, c.withFiles, c.recursive, c.seconds, c.paths);
}

// Every command runs end to end in the client's tests; these are the options and chains.
TEST(ClientCommandLine, AcceptsCommandsAndChains)
{
    const Accepted cases[] = {
        {{L"wait", L"0"}, false, {{CommandKind::Wait, L"", false, false, 0}}},
        {{L"wait", L"3600"}, false, {{CommandKind::Wait, L"", false, false, 3600}}},
        {{L"download-series", L"C:\\T", L"a", L"b"},
         false,
         {{CommandKind::DownloadSeries, L"C:\\T", {}, {}, {}, {L"a", L"b"}}}},
        {{L"update", L"C:\\M\\P1\\Text Messages", L"30"},
         false,
         {{CommandKind::UpdateFolder, L"C:\\M\\P1\\Text Messages", false, false, 30}}},
        {{L"--shared", L"-k", L"imei", L"P1", L"+", L"wait", L"2", L"+", L"refresh", L"C:\\M\\P1", L"--files", L"+",
          L"terminate"},
         true,
         {{CommandKind::Imei, L"P1"},
          {CommandKind::Wait, L"", false, false, 2},
          {CommandKind::Refresh, L"C:\\M\\P1", true},
          {CommandKind::Terminate, L""}},
         true},
    };
    for (const Accepted& c : cases) {
        client::CommandLine line;
        std::wstring problem;
        ASSERT_TRUE(client::ParseCommandLine(c.args, line, problem)) << c.args[0];
        EXPECT_EQ(c.keepGoing, line.keepGoing);
        EXPECT_EQ(c.shared, line.shared);
        ASSERT_EQ(c.commands.size(), line.commands.size()) << c.args[0];
        for (size_t i = 0; i < c.commands.size(); ++i)
            EXPECT_EQ(Fields(c.commands[i]), Fields(line.commands[i])) << c.args[0] << " #" << i;
    }
}

struct Refused {
    std::vector<std::wstring> args;
    std::wstring problem;
};

TEST(ClientCommandLine, RefusesUsageErrorsWithTheReason)
{
    const std::wstring wait = L"\"wait\" takes a whole number of seconds from 0 to 3600";
    const Refused cases[] = {
        {{}, L"no command given"},
        {{L"-k", L"-k", L"phones"}, L"option \"-k\" given twice"},
        {{L"Imei", L"P1"}, L"unknown command \"Imei\""},
        {{L"imei", L"P1", L"P2"}, L"wrong number of arguments for \"imei\""},
        {{L"imei", L""}, L"\"imei\" needs a non-empty argument"},
        {{L"refresh", L"C:\\M", L"--all"}, L"unknown option \"--all\" for \"refresh\""},
        {{L"refresh", L"C:\\M", L"--files", L"--files"}, L"option \"--files\" given twice"},
        {{L"upload", L"a.txt", L""}, L"\"upload\" needs non-empty paths"},
        {{L"rename", L"C:\\M\\a", L"x\\b"}, L"\"rename\" takes a new name without a folder"},
        {{L"update", L"C:\\M", L"0"}, L"\"update\" listens for a whole number of seconds from 1 to 3600"},
        {{L"wait", L"-1"}, wait},
        {{L"wait", L"3601"}, wait},
        {{L"wait", L"99999999999"}, wait},
        {{L"+", L"imei", L"P1"}, L"empty command next to \"+\""},
        {{L"fileop", L"2", L"0", L"C:\\a", L"--to"}, L"option \"--to\" needs a value"},
        {{L"convert", L"m", L"32768", L"1"},
         L"\"convert\" takes two format numbers from -32768 to 32767 (or 0x hex up to 0xFFFF)"},
        {{L"help", L"a.chm", L"1", L"-1"}, L"\"help\" takes a command and data in decimal or 0x hex"},
        // Nothing runs when a later command is wrong.
        {{L"imei", L"P1", L"+", L"terminat"}, L"unknown command \"terminat\""},
    };
    for (const Refused& c : cases) {
        client::CommandLine line;
        std::wstring problem;
        EXPECT_FALSE(client::ParseCommandLine(c.args, line, problem)) << c.problem;
        EXPECT_EQ(c.problem, problem);
    }
}

} // namespace
