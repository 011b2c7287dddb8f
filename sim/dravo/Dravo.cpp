// The maker's name library of the simulated product family. The name comes from
// HKEY_LOCAL_MACHINE "Software\Marlith\Dravo" value "Vendor", else "Zentrel".
#include "common/Resource.h"

#include <windows.h>

#include <cwchar>

namespace {
constexpr wchar_t kKey[] = L"Software\\Marlith\\Dravo";
constexpr wchar_t kValue[] = L"Vendor";
constexpr wchar_t kDefaultName[] = L"Zentrel";
constexpr DWORD kNameLength = 128;

wchar_t g_name[kNameLength];
} // namespace

// No arguments, so stdcall and cdecl callers both work; exported undecorated.
extern "C" __declspec(dllexport) const wchar_t* WINAPI GetDravo()
{
    wchar_t name[kNameLength + 1] = {};
    DWORD bytes = kNameLength * sizeof(wchar_t);
    DWORD type = 0;
    HKEY key = nullptr;
    bool found = false;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kKey, 0, KEY_READ, &key) == ERROR_SUCCESS) {
        found = RegQueryValueExW(key, kValue, nullptr, &type, reinterpret_cast<BYTE*>(name), &bytes) == ERROR_SUCCESS &&
                type == REG_SZ && name[0];
        RegCloseKey(key);
    }
    wcsncpy(g_name, found ? name : kDefaultName, kNameLength - 1);
    g_name[kNameLength - 1] = L'\0';
    return g_name;
}
