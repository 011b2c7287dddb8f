// The server's command-line scan.
#include "server/CommandLine.h"

#include <gtest/gtest.h>

using server::CommandLineAction;
using server::ScanCommandLine;

TEST(CommandLine, SwitchesMatchOnlyAtTheEndInAnyCase)
{
    const struct {
        const wchar_t* line;
        CommandLineAction action;
    } cases[] = {
        {L"\"C:\\my-bin\\ZentrelQuelvar.exe\" -UnregServer", CommandLineAction::Unregister},
        {L"C:\\my-bin\\ZentrelQuelvar.exe", CommandLineAction::Serve},
        // Only the last switch of a line can match.
        {L"x.exe /UnregServer /RegServer", CommandLineAction::Register},
        {L"x.exe /RegServer /Embedding", CommandLineAction::Serve},
        {L"", CommandLineAction::Serve},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.action, ScanCommandLine(c.line)) << testing::PrintToString(std::wstring(c.line));
    EXPECT_EQ(CommandLineAction::Serve, ScanCommandLine(nullptr));
}
