#include "TestSupport.h"

#include "common/Dates.h"
#include "common/Resource.h"

#include <gtest/gtest.h>

#include <shlwapi.h>

#include <algorithm>
#include <cstdio>

namespace testing_support {

TempDir::TempDir()
{
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    static LONG counter = 0;
    do
        path_ = std::wstring(temp) + L"qtest-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                std::to_wstring(GetTickCount()) + L"-" + std::to_wstring(InterlockedIncrement(&counter));
    while (!CreateDirectoryW(path_.c_str(), nullptr));
}

TempDir::~TempDir()
{
    RemoveFolderTree(path_);
}

std::vector<unsigned char> ReadBytes(const std::wstring& path)
{
    std::vector<unsigned char> bytes;
    unique_file file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                 0, nullptr));
    if (!file)
        return bytes;
    DWORD size = GetFileSize(file.get(), nullptr);
    bytes.resize(size);
    DWORD read = 0;
    if (size && !ReadFile(file.get(), bytes.data(), size, &read, nullptr))
        read = 0;
    bytes.resize(read);
    return bytes;
}

void WriteBytes(const std::wstring& path, const std::vector<unsigned char>& bytes)
{
    unique_file file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    DWORD written = 0;
    if (file && !bytes.empty())
        WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

void WriteText(const std::wstring& path, const std::string& utf8)
{
    WriteBytes(path, std::vector<unsigned char>(utf8.begin(), utf8.end()));
}

std::vector<unsigned char> Utf16Bom(const std::wstring& text)
{
    std::vector<unsigned char> bytes{0xFF, 0xFE};
    for (wchar_t c : text) {
        bytes.push_back(static_cast<unsigned char>(c & 0xFF));
        bytes.push_back(static_cast<unsigned char>((c >> 8) & 0xFF));
    }
    return bytes;
}

void MakeFolders(const std::wstring& base, std::initializer_list<std::wstring> names)
{
    for (const std::wstring& name : names)
        EXPECT_TRUE(CreateDirectoryW((base + name).c_str(), nullptr)) << Narrow(base + name);
}

bool FileExists(const std::wstring& path)
{
    DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool DirectoryExists(const std::wstring& path)
{
    DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::vector<std::wstring> NamesIn(const std::wstring& folder)
{
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW found;
    unique_find search(FindFirstFileW((folder + L"\\*").c_str(), &found));
    for (bool more = static_cast<bool>(search); more; more = FindNextFileW(search.get(), &found)) {
        const std::wstring name = found.cFileName;
        if (name != L"." && name != L"..")
            names.push_back(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY ? name + L"\\" : name);
    }
    std::sort(names.begin(), names.end());
    return names;
}

DWORD HiddenSystemOf(const std::wstring& path)
{
    return GetFileAttributesW(path.c_str()) & kHiddenSystem;
}

DATE LastWriteDate(const std::wstring& path)
{
    WIN32_FILE_ATTRIBUTE_DATA data{};
    DATE date = 0;
    if (GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data))
        FileTimeToDate(data.ftLastWriteTime, date);
    return date;
}

bool SetLastWriteDate(const std::wstring& path, DATE date)
{
    FILETIME time;
    unique_file file(CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                 OPEN_EXISTING, 0, nullptr));
    return file && DateToFileTime(date, time) == S_OK && SetFileTime(file.get(), nullptr, nullptr, &time);
}

std::wstring TestProgramDir()
{
    wchar_t path[MAX_PATH];
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    PathRemoveFileSpecW(path);
    return path;
}

std::wstring ProductDir()
{
    // Test programs live in <build>\tests, the product in <build>\bin.
    std::wstring tests = TestProgramDir();
    return tests.substr(0, tests.find_last_of(L'\\')) + L"\\bin";
}

HANDLE StartProgram(const std::wstring& commandLine, HANDLE output, HANDLE error)
{
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    startup.dwFlags = output ? STARTF_USESTDHANDLES : 0;
    startup.hStdOutput = output, startup.hStdError = error;
    PROCESS_INFORMATION info{};
    std::wstring line = commandLine;
    if (!CreateProcessW(nullptr, &line[0], nullptr, nullptr, output != nullptr, 0, nullptr, nullptr, &startup, &info))
        return nullptr;
    unique_handle thread(info.hThread);
    return info.hProcess;
}

DWORD RunProgram(const std::wstring& commandLine, DWORD timeoutMs, HANDLE output, HANDLE error)
{
    unique_handle process(StartProgram(commandLine, output, error));
    if (!process)
        return static_cast<DWORD>(-1);
    if (WaitForSingleObject(process.get(), timeoutMs) != WAIT_OBJECT_0) {
        TerminateProcess(process.get(), 1);
        return static_cast<DWORD>(-1);
    }
    DWORD code = 0;
    GetExitCodeProcess(process.get(), &code);
    return code;
}

std::string Narrow(const std::wstring& text)
{
    if (text.empty())
        return {};
    int size =
        WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(size, '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), &out[0], size, nullptr, nullptr);
    return out;
}

std::wstring Widen(const std::string& text)
{
    if (text.empty())
        return {};
    int size = MultiByteToWideChar(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring out(size, L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), &out[0], size);
    return out;
}

std::string HexResult(HRESULT hr)
{
    char text[16];
    snprintf(text, sizeof(text), "0x%08lX", static_cast<unsigned long>(hr));
    return text;
}

} // namespace testing_support
