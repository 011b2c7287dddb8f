// A stand-in HTML Help control: its entry at ordinal 15 appends
// "HWND|FILE|COMMAND|DATA" and a line break to the file named like the DLL plus
// ".calls" and answers the window 0x00ABC123.
#include "common/Resource.h"

#include <windows.h>

#include <string>

extern "C" HWND WINAPI HelpEntry(HWND window, const wchar_t* file, UINT command, DWORD_PTR data)
{
    HMODULE self = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<const wchar_t*>(&HelpEntry), &self);
    wchar_t path[MAX_PATH], line[2 * MAX_PATH];
    GetModuleFileNameW(self, path, MAX_PATH);
    wsprintfW(line, L"0x%X|%s|%u|%u\n", static_cast<unsigned>(reinterpret_cast<UINT_PTR>(window)), file ? file : L"",
              command, static_cast<unsigned>(data));
    const std::string utf8(line, line + lstrlenW(line)); // the tests write ASCII only
    unique_file calls(CreateFileW((std::wstring(path) + L".calls").c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr,
                                  OPEN_ALWAYS, 0, nullptr));
    DWORD written = 0;
    WriteFile(calls.get(), utf8.data(), static_cast<DWORD>(utf8.size()), &written, nullptr);
    return reinterpret_cast<HWND>(0x00ABC123);
}
