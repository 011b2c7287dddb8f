// The diagnostic trace: lines for the debugger output channel and, when the
// registry names one, a file. The trace switch turns it on when the process
// starts; off, a trace line costs one test.
#pragma once

#include "ContractTexts.h"

#include <windows.h>

namespace trace {

// The switch that turns the trace on and lets the localised error box also name
// the code it shows.
using contract::kTraceKey;
using contract::kTraceValue;
// Beside the switch: a file the trace lines are appended to as well.
constexpr wchar_t kTraceFileValue[] = L"TraceFile";

// Reads the switch and the trace file's name once, at the start of a process.
void Initialise(const wchar_t* moduleName);
bool Enabled();
// `function` prefixes lines that begin with "(": the rest name their own.
void Write(const char* function, const wchar_t* format, ...);
// Always written, whatever the switch: the listener's exception messages.
void Debugger(const wchar_t* text);
// The trace switch below HKEY_CURRENT_USER: set and not "0".
bool IsTraceOn();
} // namespace trace

#define QTRACE(...)                                                                                                   \
    do {                                                                                                              \
        if (::trace::Enabled())                                                                                       \
            ::trace::Write(__func__, __VA_ARGS__);                                                                    \
    } while (0)
