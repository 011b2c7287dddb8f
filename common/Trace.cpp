#include "Trace.h"

#include "Registry.h"
#include "Resource.h"

#include <cstdarg>
#include <cstdio>
#include <cwchar>
#include <mutex>
#include <string>

namespace trace {
namespace {
// Written once by Initialise, before the process starts any other thread.
wchar_t g_moduleName[MAX_PATH];
bool g_enabled = false;

// The trace file, shared by every thread of the process; other processes may
// append to the same file, so every line goes out in one write.
class TraceFile
{
public:
    void Open(const std::wstring& path)
    {
        std::lock_guard<std::mutex> lock(mutex_);
        file_.reset(CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    }

    void Append(const wchar_t* line)
    {
        SYSTEMTIME now;
        GetLocalTime(&now);
        char stamp[64];
        const int stampLength =
            std::snprintf(stamp, sizeof(stamp), "%04u-%02u-%02u %02u:%02u:%02u.%03u %lu/%lu ", now.wYear, now.wMonth,
                          now.wDay, now.wHour, now.wMinute, now.wSecond, now.wMilliseconds, GetCurrentProcessId(),
                          GetCurrentThreadId());
        const int textLength = WideCharToMultiByte(CP_UTF8, 0, line, -1, nullptr, 0, nullptr, nullptr);
        if (stampLength <= 0 || textLength <= 1)
            return;
        std::string bytes(stamp, static_cast<size_t>(stampLength));
        bytes.resize(bytes.size() + static_cast<size_t>(textLength));
        WideCharToMultiByte(CP_UTF8, 0, line, -1, &bytes[static_cast<size_t>(stampLength)], textLength, nullptr,
                            nullptr);
        bytes.pop_back(); // the terminator
        if (bytes.back() != '\n')
            bytes.push_back('\n');
        std::lock_guard<std::mutex> lock(mutex_);
        if (!file_)
            return;
        DWORD written = 0;
        WriteFile(file_.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    }

private:
    std::mutex mutex_;
    unique_file file_;
};

TraceFile& File()
{
    static TraceFile file;
    return file;
}

std::wstring TraceFileName()
{
    unique_hkey key;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, kTraceKey, 0, KEY_READ, key.put()) != ERROR_SUCCESS)
        return {};
    DWORD bytes = 0;
    if (RegGetValueW(key.get(), nullptr, kTraceFileValue, RRF_RT_REG_SZ, nullptr, nullptr, &bytes) != ERROR_SUCCESS ||
        bytes < sizeof(wchar_t))
        return {};
    std::wstring name(bytes / sizeof(wchar_t), L'\0');
    if (RegGetValueW(key.get(), nullptr, kTraceFileValue, RRF_RT_REG_SZ, nullptr, &name[0], &bytes) != ERROR_SUCCESS)
        return {};
    name.resize(wcsnlen(name.c_str(), name.size()));
    return name;
}
} // namespace

void Initialise(const wchar_t* moduleName)
{
    if (moduleName)
        wcsncpy(g_moduleName, moduleName, MAX_PATH - 1);
    g_enabled = IsTraceOn();
    if (!g_enabled)
        return;
    const std::wstring fileName = TraceFileName();
    if (!fileName.empty())
        File().Open(fileName);
}

bool Enabled()
{
    return g_enabled;
}

void Write(const char* function, const wchar_t* format, ...)
{
    wchar_t line[2048];
    const size_t capacity = sizeof(line) / sizeof(line[0]);
    int used = _snwprintf(line, 512, L"%ls: %hs", g_moduleName, format[0] == L'(' ? function : "");
    if (used < 0)
        used = 0;
    va_list args;
    va_start(args, format);
    _vsnwprintf(line + used, capacity - used - 1, format, args);
    va_end(args);
    line[capacity - 1] = L'\0';
    OutputDebugStringW(line);
    File().Append(line);
}

void Debugger(const wchar_t* text)
{
    OutputDebugStringW(text);
    if (g_enabled)
        File().Append(text);
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
