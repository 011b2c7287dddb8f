// The client's command line: chains, arguments and every usage error; the usage
// text's groups; the names of the results it reports, and its one-line VARIANT summary.
#include "ClientCommands.h"
#include "ConsoleOutput.h"
#include "VariantSummary.h"
#include "common/ByteArray.h"
#include "common/Resource.h"

#include <gtest/gtest.h>

#include <map>
#include <sstream>
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

// Each command once, every command the parser knows; a command's line starts with two blanks and its name.
TEST(ClientUsageText, ListsEveryCommandOnce)
{
    std::wistringstream text(client::UsageText());
    std::wstring line;
    std::getline(text, line);
    EXPECT_EQ(L"Usage: quelvar [-k] [--shared] COMMAND [ARGUMENTS] [+ COMMAND [ARGUMENTS]]...", line);
    std::map<std::wstring, int> listed;
    while (std::getline(text, line)) {
        if (line.size() > 2 && line.compare(0, 2, L"  ") == 0 && line[2] != L' ') {
            const std::wstring name = line.substr(2, line.find(L' ', 2) - 2);
            client::CommandLine ignored;
            std::wstring problem;
            client::ParseCommandLine({name}, ignored, problem);
            EXPECT_EQ(std::wstring::npos, problem.find(L"unknown command")) << client::ToUtf8(name);
            EXPECT_EQ(1, ++listed[name]) << client::ToUtf8(name);
        }
    }
    EXPECT_EQ(23u, listed.size()); // every CommandKind
}

TEST(ClientErrorText, NumberFirstThenNameOrPhoneMeaning)
{
    const std::pair<uint32_t, const wchar_t*> cases[] = {
        {0x80070057, L"error 0x80070057 E_INVALIDARG"},
        {0x80004004, L"error 0x80004004 E_ABORT (cancelled by the user)"},
        {0x80004006, L"error 0x80004006"},
        {0x80040000, L"error 0x80040000 phone: failure"},
        {0x80044360, L"error 0x80044360 phone: memory full"},
        {0x80044361, L"error 0x80044361 phone: failure"},
        {0x80046017, L"error 0x80046017 phone: memory full"},
        {0x8004FFFF, L"error 0x8004FFFF phone: failure"},
        {0x80050000, L"error 0x80050000"},
        {0x00044360, L"error 0x00044360"},
    };
    for (const auto& [hr, text] : cases)
        EXPECT_EQ(text, client::ErrorText(static_cast<HRESULT>(hr)));
}

TEST(ClientVariantSummary, TypeThenLengthAndFirstCharactersOrBytes)
{
    unique_variant empty, text, longText, bytes, longBytes;
    text.get()->vt = VT_BSTR;
    text.get()->bstrVal = SysAllocString(L"a\"\\\r\n\x01");
    longText.get()->vt = VT_BSTR;
    longText.get()->bstrVal = SysAllocString(std::wstring(49, L'x').c_str());
    ASSERT_EQ(S_OK, MakeByteArray({0x3C, 0x00}, bytes.get()));
    ASSERT_EQ(S_OK, MakeByteArray(std::vector<unsigned char>(17, 0xAB), longBytes.get()));
    EXPECT_EQ(L"VT_EMPTY", client::SummariseVariant(*empty.get()));
    EXPECT_EQ(L"VT_BSTR, 6 characters: \"a\\\"\\\\\\r\\n\\x01\"", client::SummariseVariant(*text.get()));
    EXPECT_EQ(L"VT_BSTR, 49 characters: \"" + std::wstring(48, L'x') + L"\"...",
              client::SummariseVariant(*longText.get()));
    EXPECT_EQ(L"VT_ARRAY|VT_UI1, 2 bytes: 3C 00", client::SummariseVariant(*bytes.get()));
    EXPECT_EQ(L"VT_ARRAY|VT_UI1, 17 bytes: AB AB AB AB AB AB AB AB AB AB AB AB AB AB AB AB ...",
              client::SummariseVariant(*longBytes.get()));
    EXPECT_EQ(L"VT_BYREF|VT_VARIANT", client::VariantTypeName(VT_BYREF | VT_VARIANT));
    EXPECT_EQ(L"vt 0x0049", client::VariantTypeName(0x49));
}

} // namespace
