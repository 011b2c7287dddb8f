// The PC side of the client's transfers: whole files read into and written
// from byte arrays, and the PC names of mirror files.
#pragma once

#include <windows.h>
#include <oleauto.h>

#include <string>

namespace client {

// Largest file the interface's 32-bit sizes can carry.
constexpr ULONGLONG kMaxTransferSize = 0x7FFFFFFF;

// The file's bytes as a byte array, its size and its last write time in local
// time (as the phone keeps times).
HRESULT ReadPcFile(const std::wstring& path, VARIANT* data, LONG& size, DATE& modified);
// Writes the bytes of a byte array into a new or replaced file.
HRESULT WritePcFile(const std::wstring& path, const VARIANT& data, ULONG& size);

// The PC name of a mirror file: its name without ".vfslnk".
std::wstring MirrorFileName(const std::wstring& mirrorFile);
// The size a mirror file's shortcut records; 0 when it cannot be read.
LONG MirrorFileSize(const std::wstring& mirrorFile);

} // namespace client
