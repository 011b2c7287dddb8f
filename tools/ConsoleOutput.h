// Text output of the client. A console gets UTF-16 through WriteConsoleW;
// anything else (a pipe, a file, a terminal outside the console) gets UTF-8 bytes,
// since WriteConsoleW cannot write there and the C runtime would use the ANSI code page.
#pragma once

#include "common/Resource.h"

#include <windows.h>

#include <string>

namespace client {

std::string ToUtf8(const std::wstring& text);

// Writes the text to the standard handle (STD_OUTPUT_HANDLE or STD_ERROR_HANDLE)
// at once, unbuffered, so that a watcher sees each line when it is written.
void WriteText(DWORD standardHandle, const std::wstring& text);

inline void Print(const std::wstring& text)
{
    WriteText(STD_OUTPUT_HANDLE, text);
}

inline void PrintError(const std::wstring& text)
{
    WriteText(STD_ERROR_HANDLE, text);
}

// True when the standard handle is a console or a terminal, not a file or a pipe.
bool IsInteractive(DWORD standardHandle);

// Shows on the error output, when that is a console, that a long call is still
// running: the text after the first second, then a dot each second, and the end
// of the line when it stops. Files and pipes get nothing, so output stays exact.
class WaitingDots
{
public:
    explicit WaitingDots(const std::wstring& text);
    WaitingDots(const WaitingDots&) = delete;
    WaitingDots& operator=(const WaitingDots&) = delete;
    ~WaitingDots() { Stop(); }
    // Ends the dots and their line; later calls do nothing.
    void Stop();

private:
    static DWORD WINAPI Tick(void* self);

    const std::wstring text_;
    bool shown_ = false;
    unique_handle stop_;
    unique_handle thread_;
};

// "error 0x80070057 E_INVALIDARG": how every failure is reported, the number
// first so that scripts can match it, then its name or meaning when known.
std::wstring ErrorText(HRESULT hr);

} // namespace client
