// The client's command line: every usage error, refused with its reason before anything runs.
#include "ClientCommands.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

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
        {{L"wait", L"5", L"--until-gone"}, L"\"wait\" takes SECONDS and, after --until-gone, one folder"},
        {{L"wait", L"5", L"--until", L"C:\\M"}, L"\"wait\" takes SECONDS and, after --until-gone, one folder"},
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
