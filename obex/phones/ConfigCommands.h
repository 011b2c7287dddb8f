// The configuration commands of ObexPhones.exe:
//   add ALIAS ADDRESS [--imei TEXT] [--model TEXT]
//   list
//   remove ALIAS
#pragma once

#include "PhoneConfig.h"

#include <string>
#include <vector>

namespace obex {

enum ExitCode {
    kExitOk = 0,
    kExitUsage = 1,    // unknown command, missing or bad argument
    kExitConflict = 2, // the alias exists already (add) or does not (remove)
    kExitRegistry = 3, // the configuration could not be read or written
};

// True when the arguments name one of the commands (and not a server switch).
bool IsConfigCommand(const std::vector<std::wstring>& arguments);

// Runs a command; what it reports goes to `out`, what failed to `error`.
int RunConfigCommand(const std::vector<std::wstring>& arguments, const PhoneConfig& config, std::wstring& out,
                     std::wstring& error);

} // namespace obex
