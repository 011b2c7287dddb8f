#include "ClientCommands.h"

#include <windows.h>

namespace client {

namespace {

constexpr size_t kMaxListArguments = 1000;

struct CommandSyntax {
    const wchar_t* name;
    CommandKind kind;
    size_t minArguments;
    size_t maxArguments;
    bool needsServer;
    CommandGroup group;
    const wchar_t* synopsis; // the arguments after the name
    const wchar_t* help;     // filled into lines by the usage text
};

// In the order the usage text lists them within their group.
const CommandSyntax kCommands[] = {
    {L"phones", CommandKind::Phones, 0, 0, false, CommandGroup::Phones, L"",
     L"list the mapped phones: the folders below the mirror root that hold an \"IMEI\" file and are not hidden"},
    {L"imei", CommandKind::Imei, 1, 1, true, CommandGroup::Phones, L"ALIAS",
     L"print the IMEI of the phone with that alias"},
    {L"phone-refresh", CommandKind::PhoneRefresh, 0, 1, true, CommandGroup::Phones, L"[ALIAS]",
     L"ask the phone component to re-read one phone, or all"},
    {L"terminate", CommandKind::Terminate, 0, 0, true, CommandGroup::Phones, L"",
     L"the main object stops listening for phones and hides and empties every mapped phone's mirror folder; with "
     L"--shared the server ends too"},
    {L"refresh", CommandKind::Refresh, 1, 3, true, CommandGroup::Folders, L"PCFOLDER [--files] [--recursive]",
     L"rebuild a mirror folder from the phone; with --files the shortcut files are written anew too, with --recursive "
     L"every folder below it afterwards, a line for each"},
    {L"item-refresh", CommandKind::ItemRefresh, 1, 1, true, CommandGroup::Folders, L"PCPATH",
     L"ask the phone component to re-read the phone item behind a mirror folder or shortcut file"},
    {L"tree", CommandKind::Tree, 1, 1, false, CommandGroup::Folders, L"PCFOLDER",
     L"print a mirror folder as a tree, read from the disk"},
    {L"mkdir", CommandKind::MakeFolder, 1, 1, true, CommandGroup::Folders, L"MIRRORFOLDER",
     L"make the phone folder a new mirror folder stands for"},
    {L"delete", CommandKind::Delete, 1, kMaxListArguments, true, CommandGroup::Files, L"PATH...",
     L"delete mirror items, with the phone items behind them, or PC files; nothing is asked"},
    {L"rename", CommandKind::Rename, 2, 2, true, CommandGroup::Files, L"MIRRORPATH NAME",
     L"rename the phone file or empty phone folder behind a mirror item (a shortcut file or folder)"},
    {L"fileop", CommandKind::FileOperation, 2, kMaxListArguments, true, CommandGroup::Files,
     L"CODE FLAGS [SOURCE]... [--to TARGET]... [--title TITLE] [--window]",
     L"hand a shell file operation to the server: CODE 0 open, 1 move, 2 copy, 3 delete, 4 rename, 12 copy, 13 delete; "
     L"FLAGS the FOF_ bits; numbers in decimal or 0x hex. Moves, copies and 13 go on in the server after the command, "
     L"which reports only that they started; with --window the request names a window of this client, and the command "
     L"waits until the server's progress dialog over it has come and gone"},
    {L"download", CommandKind::Download, 2, 2, true, CommandGroup::Transfers, L"MIRRORFILE PCFILE",
     L"read the phone file behind a mirror file (its shortcut file) into a PC file"},
    {L"download-series", CommandKind::DownloadSeries, 2, static_cast<size_t>(-1), true, CommandGroup::Transfers,
     L"PCFOLDER MIRRORFILE...",
     L"read several phone files into a PC folder under one progress dialog, a line for each"},
    {L"upload", CommandKind::Upload, 2, 2, true, CommandGroup::Transfers, L"PCFILE MIRRORPATH",
     L"write a PC file to the phone as the file a mirror path names (into a mirror folder: under the PC file's name)"},
    {L"copy", CommandKind::Copy, 3, kMaxListArguments, true, CommandGroup::Transfers,
     L"SOURCE... --to FOLDER [--answer yes|no]",
     L"copy PC items into a mirror folder, mirror items to a PC folder or into another mirror folder; waits for the "
     L"end. --answer answers the questions on the screen (free memory, replacing a file) and prints them"},
    {L"move", CommandKind::Move, 3, kMaxListArguments, true, CommandGroup::Transfers,
     L"SOURCE... --to FOLDER [--answer yes|no]",
     L"move PC items into a mirror folder, mirror items to a PC folder or into another mirror folder, on the server's "
     L"worker; waits until its progress dialog and its message have gone. Within the phone the items are copied and "
     L"kept: the phone cannot delete them"},
    {L"capability", CommandKind::Capability, 1, 1, true, CommandGroup::Services, L"PCFOLDER",
     L"print the type and a summary of the capability object of the phone behind a mirror folder"},
    {L"convert", CommandKind::Convert, 3, 3, true, CommandGroup::Services, L"MIRRORFILE TARGET SOURCE",
     L"convert the phone file behind a mirror file into the format numbered TARGET (from SOURCE) and print the mirror "
     L"file of the new file"},
    {L"update", CommandKind::UpdateFolder, 1, 2, false, CommandGroup::Services, L"FOLDER [SECONDS]",
     L"bring a synchronisation folder (Contacts, Text or Multimedia Messages) up to date from the phone, or "
     L"\"ALIAS:name\\Contacts\"; prints each end message, until the first (at most 60 s) or for SECONDS"},
    {L"help", CommandKind::Help, 1, 3, true, CommandGroup::Services, L"FILE [COMMAND [DATA]]",
     L"open HTML help (command 0 shows a topic) and print the help window's handle"},
    {L"product-name", CommandKind::ProductName, 0, 0, false, CommandGroup::Services, L"",
     L"print the product name of the current language"},
    {L"wait", CommandKind::Wait, 1, 3, false, CommandGroup::Run, L"SECONDS [--until-gone FOLDER]",
     L"pause (at most 3600 s) before the next command; with --until-gone only until the phone of the mirror "
     L"folder FOLDER has gone (the folder hidden and emptied)"},
    {L"release", CommandKind::Release, 0, 0, false, CommandGroup::Run, L"",
     L"let go of this client's main object only"},
};

struct GroupHeading {
    CommandGroup group;
    const wchar_t* heading;
};

const GroupHeading kGroups[] = {
    {CommandGroup::Phones, L"Phones"},     {CommandGroup::Folders, L"Mirror folders"},
    {CommandGroup::Files, L"Files"},       {CommandGroup::Transfers, L"Transfers between the PC and the phone"},
    {CommandGroup::Services, L"Services"}, {CommandGroup::Run, L"The run"},
};

constexpr size_t kHelpColumn = 29;
constexpr size_t kUsageWidth = 79;

const CommandSyntax& SyntaxOf(CommandKind kind)
{
    for (const CommandSyntax& syntax : kCommands) {
        if (syntax.kind == kind)
            return syntax;
    }
    return kCommands[0]; // every kind has its row
}

constexpr wchar_t kSeparator[] = L"+";
constexpr wchar_t kKeepGoingOption[] = L"-k";
constexpr wchar_t kSharedOption[] = L"--shared";
constexpr wchar_t kFilesOption[] = L"--files";
constexpr wchar_t kRecursiveOption[] = L"--recursive";
constexpr wchar_t kUntilGoneOption[] = L"--until-gone";
constexpr wchar_t kTargetOption[] = L"--to";
constexpr wchar_t kTitleOption[] = L"--title";
constexpr wchar_t kWindowOption[] = L"--window";
constexpr wchar_t kAnswerOption[] = L"--answer";

// Decimal, or hexadecimal after "0x"; nothing else, and at most `limit`.
bool ParseNumber(const std::wstring& text, unsigned long limit, unsigned long& value)
{
    const bool hex = text.size() > 2 && text[0] == L'0' && (text[1] == L'x' || text[1] == L'X');
    const std::wstring digits = hex ? text.substr(2) : text;
    if (digits.empty() || digits.size() > 8 ||
        digits.find_first_not_of(hex ? L"0123456789abcdefABCDEF" : L"0123456789") != std::wstring::npos)
        return false;
    value = wcstoul(digits.c_str(), nullptr, hex ? 16 : 10);
    return value <= limit;
}

// fileop CODE FLAGS [SOURCE]... [--to TARGET]... [--title TITLE] [--window]
bool ParseFileOperation(const std::vector<std::wstring>& words, Command& command, std::wstring& problem)
{
    unsigned long flags = 0;
    if (!ParseNumber(words[1], 0xFFFFFFFFul, command.operation) || !ParseNumber(words[2], 0xFFFF, flags)) {
        problem = L"\"fileop\" takes a code and flags, each in decimal or 0x hex (flags at most 0xFFFF)";
        return false;
    }
    command.flags = static_cast<unsigned short>(flags);
    command.argument = words[1] + L" " + words[2];
    bool titled = false;
    for (size_t i = 3; i < words.size(); ++i) {
        if (words[i] == kWindowOption) {
            command.ownWindow = true;
            continue;
        }
        const bool target = words[i] == kTargetOption;
        if (!target && words[i] != kTitleOption) {
            command.sources.push_back(words[i]);
            continue;
        }
        if (i + 1 == words.size() || (!target && titled)) {
            problem = L"option \"" + words[i] + (titled ? L"\" given twice" : L"\" needs a value");
            return false;
        }
        if (target)
            command.targets.push_back(words[++i]);
        else
            command.title = words[++i];
        titled = titled || !target;
    }
    return true;
}

// copy|move SOURCE... --to FOLDER [--answer yes|no]
bool ParseCopy(const std::vector<std::wstring>& words, Command& command, std::wstring& problem)
{
    for (size_t i = 1; i < words.size(); ++i) {
        const bool target = words[i] == kTargetOption, answer = words[i] == kAnswerOption;
        if (!target && !answer) {
            command.sources.push_back(words[i]);
            continue;
        }
        const bool twice = target ? !command.targets.empty() : command.answer != 0;
        if (i + 1 == words.size() || twice) {
            problem = L"option \"" + words[i] + (twice ? L"\" given twice" : L"\" needs a value");
            return false;
        }
        const std::wstring& value = words[++i];
        if (target) {
            command.targets.push_back(value);
        } else if (value == L"yes" || value == L"no") {
            command.answer = value == L"yes" ? IDYES : IDNO;
        } else {
            problem = L"\"--answer\" takes yes or no";
            return false;
        }
    }
    if (command.sources.empty() || command.targets.empty() || command.targets.front().empty()) {
        problem = L"\"" + words[0] + L"\" takes sources and \"--to\" with a folder";
        return false;
    }
    command.argument = command.sources.front() + L" --to " + command.targets.front();
    return true;
}

// A format number: -32768 to 32767, or 0x0 to 0xFFFF for its 16 bits.
bool ParseFormat(const std::wstring& text, short& format)
{
    const bool negative = !text.empty() && text[0] == L'-';
    const bool hex = text.size() > 2 && text[0] == L'0' && (text[1] == L'x' || text[1] == L'X');
    unsigned long value = 0;
    if (!ParseNumber(negative ? text.substr(1) : text, hex ? 0xFFFF : negative ? 0x8000 : 0x7FFF, value))
        return false;
    format = static_cast<short>(negative ? -static_cast<long>(value) : static_cast<long>(value));
    return true;
}

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
    case CommandKind::Delete:
        command.sources.assign(words.begin() + 1, words.end());
        break;
    case CommandKind::FileOperation:
        if (!ParseFileOperation(words, command, problem))
            return false;
        break;
    case CommandKind::Copy:
    case CommandKind::Move:
        if (!ParseCopy(words, command, problem))
            return false;
        break;
    case CommandKind::UpdateFolder:
        if (words.size() > 2 && (!ParseSeconds(words[2], command.seconds) || command.seconds == 0)) {
            problem = L"\"update\" listens for a whole number of seconds from 1 to 3600";
            return false;
        }
        break;
    case CommandKind::Wait:
        if (!ParseSeconds(words[1], command.seconds)) {
            problem = L"\"wait\" takes a whole number of seconds from 0 to 3600";
            return false;
        }
        command.argument.clear();
        if (words.size() > 2 && (words[2] != kUntilGoneOption || words.size() != 4 || words[3].empty())) {
            problem = L"\"wait\" takes SECONDS and, after --until-gone, one folder";
            return false;
        }
        if (words.size() == 4)
            command.argument = words[3];
        break;
    case CommandKind::Rename:
        if (words[2].empty() || words[2].find(L'\\') != std::wstring::npos) {
            problem = L"\"rename\" takes a new name without a folder";
            return false;
        }
        command.paths.assign(words.begin() + 2, words.end());
        break;
    case CommandKind::Convert:
        if (!ParseFormat(words[2], command.targetFormat) || !ParseFormat(words[3], command.sourceFormat)) {
            problem = L"\"convert\" takes two format numbers from -32768 to 32767 (or 0x hex up to 0xFFFF)";
            return false;
        }
        break;
    case CommandKind::Help:
        if ((words.size() > 2 && !ParseNumber(words[2], 0xFFFFFFFFul, command.helpCommand)) ||
            (words.size() > 3 && !ParseNumber(words[3], 0xFFFFFFFFul, command.helpData))) {
            problem = L"\"help\" takes a command and data in decimal or 0x hex";
            return false;
        }
        break;
    case CommandKind::Download:
    case CommandKind::DownloadSeries:
    case CommandKind::Upload:
        command.paths.assign(words.begin() + 2, words.end());
        for (const std::wstring& path : command.paths) {
            if (path.empty()) {
                problem = L"\"" + words[0] + L"\" needs non-empty paths";
                return false;
            }
        }
        break;
    default:
        break;
    }
    // An empty alias or path names nothing; "phone-refresh" without one means every phone.
    if (syntax->minArguments > 0 && syntax->kind != CommandKind::Wait && command.argument.empty()) {
        problem = L"\"" + words[0] + L"\" needs a non-empty argument";
        return false;
    }
    return true;
}

} // namespace

std::wstring UsageText()
{
    std::wstring text = L"Usage: quelvar [-k] [--shared] COMMAND [ARGUMENTS] [+ COMMAND [ARGUMENTS]]...\n";
    const std::wstring indent(kHelpColumn, L' ');
    for (const GroupHeading& group : kGroups) {
        text += L"\n" + std::wstring(group.heading) + L":\n";
        for (const CommandSyntax& command : kCommands) {
            if (command.group != group.group)
                continue;
            std::wstring line = L"  " + std::wstring(command.name);
            if (*command.synopsis)
                line += L" " + std::wstring(command.synopsis);
            // The help starts beside a short synopsis, below a long one, and is
            // filled into lines of the usage text's width.
            if (line.size() < kHelpColumn) {
                line.resize(kHelpColumn, L' ');
            } else {
                text += line + L"\n";
                line = indent;
            }
            const std::wstring help = command.help;
            for (size_t start = 0; start < help.size();) {
                size_t end = help.find(L' ', start);
                end = end == std::wstring::npos ? help.size() : end;
                const std::wstring word = help.substr(start, end - start);
                if (line.size() > kHelpColumn && line.size() + 1 + word.size() > kUsageWidth) {
                    text += line + L"\n";
                    line = indent;
                }
                line += (line.size() > kHelpColumn ? L" " : L"") + word;
                start = end + 1;
            }
            text += line + L"\n";
        }
    }
    text += L"\n"
            L"Commands joined by \"+\" run in order and share one main object of the server.\n"
            L"The first failure ends the run; with -k the remaining commands still run.\n"
            L"With --shared the commands use the main object that the server shares among\n"
            L"all clients of the class QuelvarSingleton, instead of one of their own.\n"
            L"On a console, copy, move and update print a dot for each second they wait.\n"
            L"\n"
            L"The main object keeps listening for phones after this program ends or releases\n"
            L"it, and so keeps the server running, until it is told to stop: end the last run\n"
            L"with \"terminate\" to let the server exit.\n"
            L"\n"
            L"Exit code: 0 success, 1 a command failed (\"error 0x... NAME\"), 2 usage error.\n";
    return text;
}

bool ParseCommandLine(const std::vector<std::wstring>& args, CommandLine& result, std::wstring& problem)
{
    result = CommandLine{};
    size_t first = 0;
    for (; first < args.size(); ++first) {
        bool* flag = args[first] == kKeepGoingOption ? &result.keepGoing
                     : args[first] == kSharedOption  ? &result.shared
                                                     : nullptr;
        if (!flag)
            break;
        if (*flag) {
            problem = L"option \"" + args[first] + L"\" given twice";
            return false;
        }
        *flag = true;
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
    return SyntaxOf(kind).needsServer;
}

const wchar_t* CommandName(CommandKind kind)
{
    return SyntaxOf(kind).name;
}

} // namespace client
