// The client's command line: chains, arguments and every usage error.
#include "ClientCommands.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using client::CommandKind;

namespace {

struct Accepted {
    std::vector<std::wstring> args;
    bool keepGoing;
    std::vector<client::Command> commands;
};

TEST(ClientCommandLine, AcceptsCommandsAndChains)
{
    const Accepted cases[] = {
        {{L"imei", L"Phone1"}, false, {{CommandKind::Imei, L"Phone1"}}},
        {{L"refresh", L"C:\\Mirror\\Phone1"}, false, {{CommandKind::Refresh, L"C:\\Mirror\\Phone1", false}}},
        {{L"refresh", L"C:\\Mirror\\Phone1", L"--files"}, false, {{CommandKind::Refresh, L"C:\\Mirror\\Phone1", true}}},
        {{L"refresh", L"C:\\M", L"--recursive"}, false, {{CommandKind::Refresh, L"C:\\M", false, true}}},
        {{L"refresh", L"C:\\M", L"--recursive", L"--files"}, false, {{CommandKind::Refresh, L"C:\\M", true, true}}},
        {{L"tree", L"C:\\Mirror"}, false, {{CommandKind::Tree, L"C:\\Mirror"}}},
        {{L"phone-refresh"}, false, {{CommandKind::PhoneRefresh, L""}}},
        {{L"phone-refresh", L"Phone1"}, false, {{CommandKind::PhoneRefresh, L"Phone1"}}},
        {{L"product-name"}, false, {{CommandKind::ProductName, L""}}},
        {{L"terminate"}, false, {{CommandKind::Terminate, L""}}},
        {{L"wait", L"0"}, false, {{CommandKind::Wait, L"", false, false, 0}}},
        {{L"wait", L"3600"}, false, {{CommandKind::Wait, L"", false, false, 3600}}},
        {{L"-k", L"imei", L"P1", L"+", L"wait", L"2", L"+", L"refresh", L"C:\\M\\P1", L"--files", L"+", L"terminate"},
         true,
         {{CommandKind::Imei, L"P1"},
          {CommandKind::Wait, L"", false, false, 2},
          {CommandKind::Refresh, L"C:\\M\\P1", true},
          {CommandKind::Terminate, L""}}},
    };
    for (const Accepted& c : cases) {
        client::CommandLine line;
        std::wstring problem;
        ASSERT_TRUE(client::ParseCommandLine(c.args, line, problem)) << c.args[0];
        EXPECT_EQ(c.keepGoing, line.keepGoing);
        ASSERT_EQ(c.commands.size(), line.commands.size()) << c.args[0];
        for (size_t i = 0; i < c.commands.size(); ++i) {
            EXPECT_EQ(c.commands[i].kind, line.commands[i].kind) << c.args[0] << " #" << i;
            EXPECT_EQ(c.commands[i].argument, line.commands[i].argument) << c.args[0] << " #" << i;
            EXPECT_EQ(c.commands[i].withFiles, line.commands[i].withFiles) << c.args[0] << " #" << i;
            EXPECT_EQ(c.commands[i].recursive, line.commands[i].recursive) << c.args[0] << " #" << i;
            EXPECT_EQ(c.commands[i].seconds, line.commands[i].seconds) << c.args[0] << " #" << i;
        }
    }
}

struct Refused {
    std::vector<std::wstring> args;
    std::wstring problem;
};

TEST(ClientCommandLine, RefusesUsageErrorsWithTheReason)
{
    const Refused cases[] = {
        {{}, L"no command given"},
        {{L"-k"}, L"no command given"},
        {{L"frobnicate"}, L"unknown command \"frobnicate\""},
        {{L"Imei", L"P1"}, L"unknown command \"Imei\""},
        {{L"imei"}, L"wrong number of arguments for \"imei\""},
        {{L"imei", L"P1", L"P2"}, L"wrong number of arguments for \"imei\""},
        {{L"imei", L""}, L"\"imei\" needs a non-empty argument"},
        {{L"tree", L""}, L"\"tree\" needs a non-empty argument"},
        {{L"refresh", L"C:\\M", L"--all"}, L"unknown option \"--all\" for \"refresh\""},
        {{L"refresh", L"C:\\M", L"--files", L"--files"}, L"option \"--files\" given twice"},
        {{L"refresh", L"C:\\M", L"--files", L"--recursive", L"x"}, L"wrong number of arguments for \"refresh\""},
        {{L"product-name", L"x"}, L"wrong number of arguments for \"product-name\""},
        {{L"wait", L"abc"}, L"\"wait\" takes a whole number of seconds from 0 to 3600"},
        {{L"wait", L"-1"}, L"\"wait\" takes a whole number of seconds from 0 to 3600"},
        {{L"wait", L"3601"}, L"\"wait\" takes a whole number of seconds from 0 to 3600"},
        {{L"wait", L"99999999999"}, L"\"wait\" takes a whole number of seconds from 0 to 3600"},
        {{L"imei", L"P1", L"+"}, L"empty command next to \"+\""},
        {{L"+", L"imei", L"P1"}, L"empty command next to \"+\""},
        {{L"imei", L"P1", L"+", L"+", L"terminate"}, L"empty command next to \"+\""},
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
