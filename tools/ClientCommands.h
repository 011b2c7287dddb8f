// The command line of quelvar.exe: commands separated by "+", checked in full
// before anything runs so that a typo never leaves half a run done.
#pragma once

#include <string>
#include <vector>

namespace client {

enum class CommandKind {
    Imei,
    Refresh,
    ItemRefresh,
    Tree,
    PhoneRefresh,
    Capability,
    Phones,
    ProductName,
    Release,
    Terminate,
    Wait,
    Delete,
    FileOperation,
    Download,
    DownloadSeries,
    Upload,
    MakeFolder,
    Rename,
    Copy,
    Move,
    Convert,
    Help,
    UpdateFolder
};

// The groups of the usage text.
enum class CommandGroup { Phones, Folders, Files, Transfers, Services, Run };

struct Command {
    CommandKind kind;
    std::wstring argument;             // alias, folder or empty; wait: the folder it waits on
    bool withFiles = false;            // refresh --files
    bool recursive = false;            // refresh --recursive
    unsigned long seconds = 0;         // wait; update: how long to listen (0: until the first end)
    std::vector<std::wstring> paths{}; // download, download-series, upload, rename: the words after the first
    // delete, fileop: the request handed to the server's SHFileOperation.
    std::vector<std::wstring> sources{};
    std::vector<std::wstring> targets{}; // fileop --to, in order
    std::wstring title{};                // fileop --title
    bool ownWindow = false;              // fileop --window
    unsigned long operation = 0;         // fileop CODE
    unsigned short flags = 0;            // fileop FLAGS
    int answer = 0;                      // copy, move --answer: IDYES, IDNO or 0 (the user answers)
    short targetFormat = 0;              // convert
    short sourceFormat = 0;              // convert
    unsigned long helpCommand = 0;       // help: the HTML Help command number
    unsigned long helpData = 0;          // help
};

struct CommandLine {
    bool keepGoing = false; // -k: run the remaining commands after a failure
    bool shared = false;    // --shared: the one main object of the singleton class
    std::vector<Command> commands;
};

// Longest pause "wait" accepts, in seconds.
constexpr unsigned long kMaxWaitSeconds = 3600;

// Parses the arguments after the program name. On a usage error returns false
// and says why in `problem`.
bool ParseCommandLine(const std::vector<std::wstring>& args, CommandLine& result, std::wstring& problem);

// True when the command talks to the server's main object.
bool NeedsServer(CommandKind kind);

// The command's word on the command line.
const wchar_t* CommandName(CommandKind kind);

// The usage text: the commands by group, each with its arguments and what it does.
std::wstring UsageText();

} // namespace client
