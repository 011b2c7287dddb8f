// The diagnostic trace: lines for the debugger output channel. Shipped builds
// compile it out; QUELVAR_TRACE builds keep it.
#pragma once

#include "ContractTexts.h"

#include <windows.h>

namespace trace {

// The switch that lets the localised error box also name the code it shows.
using contract::kTraceKey;
using contract::kTraceValue;

void Initialise(const wchar_t* moduleName);
void Write(const char* function, const wchar_t* format, ...);
// Always written, whatever the build: the listener's exception messages.
void Debugger(const wchar_t* text);
// The trace switch below HKEY_CURRENT_USER: set and not "0".
bool IsTraceOn();
} // namespace trace

#ifdef QUELVAR_TRACE
#define QTRACE(...) ::trace::Write(__func__, __VA_ARGS__)
#else
#define QTRACE(...) ((void)0)
#endif
