#include "MirrorFolders.h"

#include "Configuration.h"
#include "DeviceMapping.h"
#include "common/ErrorFlow.h"
#include "common/Paths.h"
#include "common/Resource.h"
#include "common/Trace.h"
#include "shortcut/ShortcutFiles.h"

#include <cerrno>
#include <cwchar>
#include <direct.h>
#include <new>

namespace mirror {

namespace {

constexpr int kRemoveAttempts = 5;
constexpr DWORD kRemoveRetryMs = 20;

bool IsDotEntry(const wchar_t* name)
{
    return wcscmp(name, L".") == 0 || wcscmp(name, L"..") == 0;
}

bool HoldsFile(const std::wstring& folder, const wchar_t* name)
{
    const DWORD attributes = GetFileAttributesW((folder + L"\\" + name).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

void DeleteFileEvenReadOnly(const std::wstring& path, DWORD attributes)
{
    if (attributes & FILE_ATTRIBUTE_READONLY)
        SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    if (!DeleteFileW(path.c_str()))
        QTRACE(L"(): deleting %ls failed: %lu\n", path.c_str(), GetLastError());
}

} // namespace

bool EmptyDirectory(const wchar_t* folder, unsigned flags)
{
    if (!folder || !*folder)
        return false;
    std::wstring base = folder;
    paths::TrimTrailingBackslashes(base);
    if (HoldsFile(base, kImeiFileName))
        flags |= kEmptyAllFiles;
    const bool recursive = flags & kEmptyRecursive;
    const bool folderShortcuts = recursive && (flags & kEmptyFolderShortcuts);
    const bool allFiles = flags & kEmptyAllFiles;
    const bool singleAttempt = flags & kEmptySingleAttempt;

    WIN32_FIND_DATAW found;
    unique_find find(FindFirstFileW((base + L"\\*.*").c_str(), &found));
    if (!find)
        return false;
    do {
        if (IsDotEntry(found.cFileName))
            continue;
        const std::wstring path = base + L"\\" + found.cFileName;
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
            bool remove;
            if (shortcut::IsShortcutFile(found.cFileName))
                remove = true;
            else if (shortcut::IsFolderShortcut(found.cFileName) && folderShortcuts)
                remove = true;
            else
                remove = allFiles && _wcsicmp(found.cFileName, kImeiFileName) != 0;
            if (remove)
                DeleteFileEvenReadOnly(path, found.dwFileAttributes);
            continue;
        }
        if (!recursive)
            continue;
        if (HoldsFile(path, kFolderDescriptionFile)) {
            // Synchronisation folders belong to another program: they stay, hidden.
            if (path.size() > wcslen(MirrorRoot()) && !singleAttempt)
                SetFolderAttributesRecursively(path.c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
            continue;
        }
        const unsigned inner = kEmptyRecursive | kEmptyFolderShortcuts | (allFiles ? kEmptyAllFiles : 0) |
                               (singleAttempt ? kEmptySingleAttempt : 0);
        for (int attempt = 1; attempt <= kRemoveAttempts; ++attempt) {
            EmptyDirectory(path.c_str(), inner);
            if (_wrmdir(path.c_str()) == 0 || singleAttempt)
                break;
            QTRACE(L"\nEmptyDirectory(): Remove directory '%ls' failed: 0x%X\n", path.c_str(), errno);
            if (attempt < kRemoveAttempts)
                Sleep(kRemoveRetryMs);
        }
    } while (FindNextFileW(find.get(), &found));
    return true;
}

void GetPcFolderContents(const wchar_t* folder, std::vector<std::wstring>& files, std::vector<std::wstring>& folders)
{
    files.clear();
    folders.clear();
    if (!folder || !*folder)
        return;
    const std::wstring pattern = paths::Join(folder, L"*.*");
    WIN32_FIND_DATAW found;
    unique_find find(FindFirstFileW(pattern.c_str(), &found));
    if (!find)
        return;
    do {
        if (IsDotEntry(found.cFileName))
            continue;
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            folders.emplace_back(found.cFileName);
        else
            files.emplace_back(found.cFileName);
    } while (FindNextFileW(find.get(), &found));
}

} // namespace mirror
