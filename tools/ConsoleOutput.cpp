#include "ConsoleOutput.h"

#include "ErrorNames.h"

#include <cwchar>

namespace client {

std::string ToUtf8(const std::wstring& text)
{
    if (text.empty())
        return {};
    int size =
        WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    if (size <= 0)
        return {};
    std::string out(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &out[0], size, nullptr, nullptr);
    return out;
}

void WriteText(DWORD standardHandle, const std::wstring& text)
{
    HANDLE handle = GetStdHandle(standardHandle);
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE || text.empty())
        return;
    DWORD mode = 0;
    DWORD written = 0;
    if (GetConsoleMode(handle, &mode)) {
        WriteConsoleW(handle, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
        return;
    }
    std::string bytes = ToUtf8(text);
    size_t done = 0;
    while (done < bytes.size()) {
        if (!WriteFile(handle, bytes.data() + done, static_cast<DWORD>(bytes.size() - done), &written, nullptr) ||
            written == 0)
            return;
        done += written;
    }
}

std::wstring ErrorText(HRESULT hr)
{
    wchar_t text[32];
    _snwprintf(text, 32, L"error 0x%08lX", static_cast<unsigned long>(hr));
    text[31] = L'\0';
    const wchar_t* name = ErrorName(hr);
    return name ? std::wstring(text) + L" " + name : std::wstring(text);
}

} // namespace client
