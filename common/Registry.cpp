#include "Registry.h"

#include <cwchar>
#include <vector>

LSTATUS ReadRegistryString(HKEY key, const wchar_t* name, wchar_t* buffer, DWORD length)
{
    if (!buffer || length == 0)
        return ERROR_INVALID_PARAMETER;
    buffer[0] = L'\0';
    std::vector<wchar_t> data(length + 1, L'\0');
    DWORD type = 0;
    DWORD bytes = length * sizeof(wchar_t);
    LSTATUS result = RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &bytes);
    if (result != ERROR_SUCCESS)
        return result;
    if (type != REG_SZ && type != REG_EXPAND_SZ)
        return ERROR_INVALID_DATATYPE;
    size_t characters = bytes / sizeof(wchar_t);
    // Stored without its terminator, a value of `length` characters still does not fit.
    if (characters == length && data[length - 1] != L'\0')
        return ERROR_MORE_DATA;
    wcsncpy(buffer, data.data(), length - 1);
    buffer[length - 1] = L'\0';
    return ERROR_SUCCESS;
}
