#include "Trace.h"

#include "Registry.h"
#include "Resource.h"

#include <cstdarg>
#include <cstdlib>
#include <cwchar>

namespace trace {
namespace {
wchar_t g_moduleName[MAX_PATH];
}

void Initialise(const wchar_t* moduleName)
{
    if (moduleName)
        wcsncpy(g_moduleName, moduleName, MAX_PATH - 1);
}

void Write(const char* function, const wchar_t* format, ...)
{
    wchar_t line[2048];
    int used = _snwprintf(line, 512, L"%ls: %hs", g_moduleName, function);
    if (used < 0)
        used = 0;
    va_list args;
    va_start(args, format);
    _vsnwprintf(line + used, (sizeof(line) / sizeof(line[0])) - used - 1, format, args);
    va_end(args);
    line[(sizeof(line) / sizeof(line[0])) - 1] = L'\0';
    OutputDebugStringW(line);
}

void Debugger(const wchar_t* text)
{
    OutputDebugStringW(text);
}

bool IsTraceOn()
{
    unique_hkey key;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, kTraceKey, 0, KEY_READ, key.put()) != ERROR_SUCCESS)
        return false;
    // Three characters with the terminator: a longer value does not fit and is off.
    wchar_t text[3] = {};
    if (ReadRegistryString(key.get(), kTraceValue, text, 3) != ERROR_SUCCESS)
        return false;
    return text[0] && wcscmp(text, L"0") != 0;
}
} // namespace trace
