#include "CommandLine.h"

#include <cwchar>

namespace server {

CommandLineAction ScanCommandLine(const wchar_t* commandLine)
{
    if (!commandLine)
        return CommandLineAction::Serve;
    for (const wchar_t* p = wcspbrk(commandLine, L"-/"); p; p = wcspbrk(p, L"-/")) {
        ++p;
        if (_wcsicmp(p, L"UnregServer") == 0)
            return CommandLineAction::Unregister;
        if (_wcsicmp(p, L"RegServer") == 0)
            return CommandLineAction::Register;
    }
    return CommandLineAction::Serve;
}

} // namespace server
