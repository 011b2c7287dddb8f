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

bool IsInteractive(DWORD standardHandle)
{
    HANDLE handle = GetStdHandle(standardHandle);
    DWORD mode = 0;
    return handle && handle != INVALID_HANDLE_VALUE &&
           (GetConsoleMode(handle, &mode) || GetFileType(handle) == FILE_TYPE_CHAR);
}

namespace {
constexpr DWORD kDotEveryMs = 1000;
} // namespace

WaitingDots::WaitingDots(const std::wstring& text) : text_(text)
{
    if (!IsInteractive(STD_ERROR_HANDLE))
        return;
    stop_.reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (stop_)
        thread_.reset(CreateThread(nullptr, 0, Tick, this, 0, nullptr));
}

void WaitingDots::Stop()
{
    if (!thread_)
        return;
    SetEvent(stop_.get());
    WaitForSingleObject(thread_.get(), INFINITE);
    thread_.reset();
    if (shown_)
        PrintError(L"\n");
}

DWORD WINAPI WaitingDots::Tick(void* self)
{
    auto* dots = static_cast<WaitingDots*>(self);
    while (WaitForSingleObject(dots->stop_.get(), kDotEveryMs) == WAIT_TIMEOUT) {
        PrintError(dots->shown_ ? std::wstring(L".") : dots->text_ + L" .");
        dots->shown_ = true;
    }
    return 0;
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
