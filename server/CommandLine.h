// The server's command line: "RegServer" and "UnregServer" after "-" or "/".
#pragma once

namespace server {

enum class CommandLineAction { Serve, Register, Unregister };

// The token after each "-" or "/" is the whole rest of the line, so a switch
// matches only when nothing follows it.
CommandLineAction ScanCommandLine(const wchar_t* commandLine);

} // namespace server
