#include "ClientCommands.h"

namespace client {

const wchar_t kUsageText[] = L"Usage: quelvar [-k] COMMAND [ARGUMENTS] [+ COMMAND [ARGUMENTS]]...\n"
                             L"\n"
                             L"Commands:\n"
                             L"  imei ALIAS                 print the IMEI of the phone with that alias\n"
                             L"  refresh PCFOLDER [--files] [--recursive]\n"
                             L"                             rebuild a mirror folder from the phone; with --files\n"
                             L"                             the shortcut files are written anew too, with\n"
                             L"                             --recursive every folder below it afterwards\n"
                             L"  tree PCFOLDER              print a mirror folder as a tree, read from the disk\n"
                             L"  phone-refresh [ALIAS]      ask the phone component to re-read one phone, or all\n"
                             L"  product-name               print the product name of the current language\n"
                             L"  terminate                  disconnect the server's main object from all phones\n"
                             L"  wait SECONDS               pause (at most 3600 s) before the next command\n"
                             L"\n"
                             L"Commands joined by \"+\" run in order and share one main object of the server.\n"
                             L"The first failure ends the run; with -k the remaining commands still run.\n"
                             L"\n"
                             L"The main object keeps listening for phones after this program ends, and so\n"
                             L"keeps the server running, until it is told to stop: end the last run with\n"
                             L"\"terminate\" to let the server exit.\n"
                             L"\n"
                             L"Exit code: 0 success, 1 a command failed (\"error 0x........\"), 2 usage error.\n";

namespace {

struct CommandSyntax {
    const wchar_t* name;
    CommandKind kind;
    size_t minArguments;
    size_t maxArguments;
};

const CommandSyntax kCommands[] = {
    {L"imei", CommandKind::Imei, 1, 1},
    {L"refresh", CommandKind::Refresh, 1, 3},
    {L"tree", CommandKind::Tree, 1, 1},
    {L"phone-refresh", CommandKind::PhoneRefresh, 0, 1},
    {L"product-name", CommandKind::ProductName, 0, 0},
    {L"terminate", CommandKind::Terminate, 0, 0},
    {L"wait", CommandKind::Wait, 1, 1},
};

constexpr wchar_t kSeparator[] = L"+";
constexpr wchar_t kFilesOption[] = L"--files";
constexpr wchar_t kRecursiveOption[] = L"--recursive";

bool ParseSeconds(const std::wstring& text, unsigned long& seconds)
{
    if (text.empty() || text.size() > 4)
        return false;
    unsigned long value = 0;
    for (wchar_t c : text) {
        if (c < L'0' || c > L'9')
            return false;
        value = value * 10 + static_cast<unsigned long>(c - L'0');
    }
    if (value > kMaxWaitSeconds)
        return false;
    seconds = value;
    return true;
}

bool ParseOne(const std::vector<std::wstring>& words, Command& command, std::wstring& problem)
{
    const CommandSyntax* syntax = nullptr;
    for (const CommandSyntax& candidate : kCommands) {
        if (words[0] == candidate.name)
            syntax = &candidate;
    }
    if (!syntax) {
        problem = L"unknown command \"" + words[0] + L"\"";
        return false;
    }
    size_t count = words.size() - 1;
    if (count < syntax->minArguments || count > syntax->maxArguments) {
        problem = L"wrong number of arguments for \"" + words[0] + L"\"";
        return false;
    }
    command = Command{syntax->kind, count > 0 ? words[1] : std::wstring()};
    switch (syntax->kind) {
    case CommandKind::Refresh:
        for (size_t i = 2; i < words.size(); ++i) {
            bool* flag = words[i] == kFilesOption       ? &command.withFiles
                         : words[i] == kRecursiveOption ? &command.recursive
                                                        : nullptr;
            if (!flag) {
                problem = L"unknown option \"" + words[i] + L"\" for \"refresh\"";
                return false;
            }
            if (*flag) {
                problem = L"option \"" + words[i] + L"\" given twice";
                return false;
            }
            *flag = true;
        }
        break;
    case CommandKind::Wait:
        if (!ParseSeconds(words[1], command.seconds)) {
            problem = L"\"wait\" takes a whole number of seconds from 0 to 3600";
            return false;
        }
        command.argument.clear();
        break;
    default:
        break;
    }
    if ((syntax->kind == CommandKind::Imei || syntax->kind == CommandKind::Refresh ||
         syntax->kind == CommandKind::Tree) &&
        command.argument.empty()) {
        problem = L"\"" + words[0] + L"\" needs a non-empty argument";
        return false;
    }
    return true;
}

} // namespace

bool ParseCommandLine(const std::vector<std::wstring>& args, CommandLine& result, std::wstring& problem)
{
    result = CommandLine{};
    size_t first = 0;
    if (!args.empty() && args[0] == L"-k") {
        result.keepGoing = true;
        first = 1;
    }
    std::vector<std::wstring> words;
    for (size_t i = first; i <= args.size(); ++i) {
        if (i < args.size() && args[i] != kSeparator) {
            words.push_back(args[i]);
            continue;
        }
        if (words.empty()) {
            problem = i == first && i == args.size() ? L"no command given" : L"empty command next to \"+\"";
            return false;
        }
        Command command{};
        if (!ParseOne(words, command, problem))
            return false;
        result.commands.push_back(command);
        words.clear();
    }
    return true;
}

bool NeedsServer(CommandKind kind)
{
    switch (kind) {
    case CommandKind::Imei:
    case CommandKind::Refresh:
    case CommandKind::PhoneRefresh:
    case CommandKind::Terminate:
        return true;
    default:
        return false;
    }
}

} // namespace client
