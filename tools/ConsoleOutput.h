// Text output of the client. A console gets UTF-16 through WriteConsoleW;
// anything else (a pipe, a file, a terminal outside the console) gets UTF-8 bytes,
// since WriteConsoleW cannot write there and the C runtime would use the ANSI code page.
#pragma once

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

// "error 0x80070057 E_INVALIDARG": how every failure is reported, the number
// first so that scripts can match it, then its name or meaning when known.
std::wstring ErrorText(HRESULT hr);

} // namespace client
