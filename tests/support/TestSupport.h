// Test rig helpers shared by every test program.
#pragma once

#include "common/FileTree.h"

#include <windows.h>
#include <oaidl.h>

#include <string>
#include <vector>

namespace testing_support {

// A fresh folder below the temporary folder, removed with everything in it.
class TempDir
{
public:
    TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    ~TempDir();
    const std::wstring& path() const { return path_; }
    std::wstring operator/(const std::wstring& name) const { return path_ + L"\\" + name; }

private:
    std::wstring path_;
};

std::vector<unsigned char> ReadBytes(const std::wstring& path);
void WriteBytes(const std::wstring& path, const std::vector<unsigned char>& bytes);
void WriteText(const std::wstring& path, const std::string& utf8);
// UTF-16LE bytes with a byte-order mark.
std::vector<unsigned char> Utf16Bom(const std::wstring& text);
// Makes base + name for each name in turn ("" for base itself).
void MakeFolders(const std::wstring& base, std::initializer_list<std::wstring> names);
bool FileExists(const std::wstring& path);
bool DirectoryExists(const std::wstring& path);
// Sorted names in a folder, subfolders with a trailing backslash.
std::vector<std::wstring> NamesIn(const std::wstring& folder);
constexpr DWORD kHiddenSystem = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
// The hidden and system bits of an item (both when it does not exist).
DWORD HiddenSystemOf(const std::wstring& path);
// A file's last-write time as a date (0 when it cannot be read), and setting it.
DATE LastWriteDate(const std::wstring& path);
bool SetLastWriteDate(const std::wstring& path, DATE date);

// Folder of the running test program, and of the built product.
std::wstring TestProgramDir();
std::wstring ProductDir();

// Starts a program without waiting, its output into the given inheritable handles if any;
// returns its process handle (caller closes).
HANDLE StartProgram(const std::wstring& commandLine, HANDLE output = nullptr, HANDLE error = nullptr);

// Starts a program and waits for it; returns its exit code, or -1 when it could
// not be started or did not end within the time-out.
DWORD RunProgram(const std::wstring& commandLine, DWORD timeoutMs = 60000, HANDLE output = nullptr,
                 HANDLE error = nullptr);

std::string Narrow(const std::wstring& text);
std::wstring Widen(const std::string& text);
std::string HexResult(HRESULT hr);

} // namespace testing_support
