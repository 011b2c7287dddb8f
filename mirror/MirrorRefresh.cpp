#include "MirrorRefresh.h"

#include "RefreshPlan.h"
#include "common/ErrorFlow.h"
#include "common/Paths.h"
#include "common/Resource.h"
#include "common/Trace.h"
#include "mirror/Listing.h"
#include "mirror/MirrorFolders.h"
#include "shortcut/ShortcutFiles.h"
#include "shortcut/VFSShortcut.h"

#include <shlwapi.h>

#include <cstring>
#include <cwchar>
#include <new>
#include <unordered_map>

namespace mirror {

namespace {

constexpr DWORD kSetBits = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;

ULONGLONG ByteCount(const std::wstring& text)
{
    return static_cast<ULONGLONG>(text.size()) * sizeof(wchar_t);
}

// True when the file at path holds exactly text's bytes. Opening a file that
// exists is cheap; creating one costs a scan of its folder on some file systems.
bool HoldsText(const std::wstring& path, const std::wstring& text)
{
    unique_file file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                 FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
        return false;
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file.get(), &size) || static_cast<ULONGLONG>(size.QuadPart) != ByteCount(text))
        return false;
    std::wstring present(text.size(), L'\0');
    const DWORD bytes = static_cast<DWORD>(ByteCount(text));
    DWORD read = 0;
    return ReadFile(file.get(), &present[0], bytes, &read, nullptr) && read == bytes && present == text;
}

HRESULT WriteText(HANDLE file, const std::wstring& text)
{
    const DWORD bytes = static_cast<DWORD>(ByteCount(text));
    DWORD written = 0;
    return WriteFile(file, text.data(), bytes, &written, nullptr) && written == bytes ? S_OK : E_FAIL;
}

// Makes the folder of every phone folder and writes its folder shortcut when
// that differs from what is there. Returns the result of the last one.
HRESULT UpdateFolders(const FolderPlan& plan, const std::vector<VFSItem>& phoneFolders,
                      std::vector<std::wstring>& foldersLeft)
{
    HRESULT result = S_OK;
    for (size_t i = 0; i < phoneFolders.size(); ++i) {
        const PlannedFolder& target = plan.folders[i];
        if (FAILED(target.named)) {
            QTRACE(L"(): no PC folder for %ls: 0x%X\n", phoneFolders[i].phoneName, target.named);
            result = target.named;
            continue;
        }
        const bool made = CreateDirectoryW(target.path.c_str(), nullptr) != FALSE;
        if (!made && GetLastError() != ERROR_ALREADY_EXISTS)
            continue;
        if (made)
            foldersLeft.push_back(PathFindFileNameW(target.path.c_str()));
        const std::wstring shortcutPath = paths::Join(target.path, shortcut::kFolderShortcutName);
        std::wstring text;
        if (!made && shortcutPath.size() < MAX_PATH && SUCCEEDED(ShortcutText(phoneFolders[i], text)) &&
            (GetFileAttributesW(shortcutPath.c_str()) & kSetBits) == (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM) &&
            HoldsText(shortcutPath, text)) {
            result = S_OK;
            continue;
        }
        result = shortcut::CreateFolderShortcut(target.path, phoneFolders[i]);
    }
    return result;
}

// Brings the folder's shortcut files in line with the plan: equal files stay
// untouched, changed ones are rewritten in place, the rest go or come.
HRESULT UpdateFiles(const std::wstring& folder, const FilePlan& plan, const std::vector<VFSItem>& phoneFiles)
{
    std::unordered_map<std::wstring, size_t> plannedIndex;
    for (size_t i = 0; i < plan.shortcuts.size(); ++i) {
        if (SUCCEEDED(plan.shortcuts[i].result))
            plannedIndex.emplace(plan.shortcuts[i].name, i);
    }
    // What is there already: equal (kept) or present under the same name (rewritten in place).
    std::vector<char> present(plan.shortcuts.size(), 0);
    std::vector<char> equal(plan.shortcuts.size(), 0);
    for (const PcFile* file : plan.replaced) {
        const std::wstring path = folder + L"\\" + file->name;
        const auto planned = plannedIndex.find(file->name);
        if (planned == plannedIndex.end()) {
            if (file->attributes & FILE_ATTRIBUTE_READONLY)
                SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
            if (!DeleteFileW(path.c_str()))
                QTRACE(L"(): deleting %ls failed: %lu\n", path.c_str(), GetLastError());
            continue;
        }
        const size_t i = planned->second;
        if (file->attributes & kSetBits)
            SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        present[i] = 1;
        equal[i] = file->size == ByteCount(plan.shortcuts[i].text) && HoldsText(path, plan.shortcuts[i].text);
    }

    HRESULT result = S_OK;
    for (size_t i = 0; i < plan.shortcuts.size(); ++i) {
        const PlannedShortcut& planned = plan.shortcuts[i];
        QTRACE(L"(): Creating shortcut file %ls\n", phoneFiles[i].phoneName);
        if (FAILED(planned.result)) {
            QTRACE(L"(): Saving shortcut file for %ls failed: HRESULT = 0x%X\n", phoneFiles[i].phoneName,
                   planned.result);
            result = planned.result;
            continue;
        }
        if (equal[i]) {
            result = S_OK;
            continue;
        }
        const std::wstring path = folder + L"\\" + planned.name;
        unique_file file(CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                     present[i] ? TRUNCATE_EXISTING : CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file) {
            const DWORD error = GetLastError();
            if (present[i] && error != ERROR_FILE_NOT_FOUND) {
                // Held open by another program: a second shortcut would show the item twice.
                QTRACE(L"(): %ls cannot be written (%lu)\n", path.c_str(), error);
                result = error ? HRESULT_FROM_WIN32(error) : E_FAIL;
                continue;
            }
            // Something another writer made meanwhile: the careful path.
            QTRACE(L"(): %ls cannot be written directly (%lu), writing it the slow way\n", path.c_str(), error);
            result = shortcut::CreateShortcutFile(folder, phoneFiles[i]);
            continue;
        }
        result = WriteText(file.get(), planned.text);
        if (FAILED(result)) {
            QTRACE(L"(): Saving shortcut file (%ls) failed\n", path.c_str());
            file.reset();
            DeleteFileW(path.c_str());
        }
    }
    return result;
}

HRESULT RefreshFolderContents(phone::PhoneFileSystem& phoneFs, const DeviceMappingTable& table,
                              const std::wstring& folder, VARIANT_BOOL files, ITransferListener* listener)
{
    const DeviceMapping row = table.FindMappingForPC(folder.c_str());
    if (!row.VFSFolder[0]) {
        QTRACE(L"(): Mapping not found!(%ls is not phone folder)\n", folder.c_str());
        return S_OK;
    }
    std::wstring phonePath;
    HRESULT hr = table.ConvertPCNameToVFSName(folder.c_str(), phonePath);
    if (FAILED(hr))
        return hr;
    paths::TrimOneTrailingBackslash(phonePath);

    std::wstring listing;
    hr = phoneFs.readdir(phonePath, listener, listing);
    if (FAILED(hr)) {
        QTRACE(L"(): readdir failed! (dir = %ls): HRESULT 0x%X\n", phonePath.c_str(), hr);
        return hr;
    }
    QTRACE(L"(): VFSreaddir: %ls\n", listing.c_str());

    std::vector<VFSItem> phoneFiles;
    std::vector<VFSItem> phoneFolders;
    unique_bstr listingText(listing.c_str(), static_cast<UINT>(listing.size()));
    hr = GetFilesAndFolders(listingText.get(), phoneFiles, phoneFolders, folder.c_str());
    if (FAILED(hr)) {
        QTRACE(L"(): GetFilesAndFolders failed!\n");
        return hr;
    }

    const bool withFiles = files == VARIANT_TRUE;
    std::vector<PcFile> pcFiles;
    std::vector<std::wstring> pcFolders;
    if (!ReadPcFolder(folder, pcFiles, pcFolders) && withFiles) {
        QTRACE(L"(): EmptyDirectory failed!\n");
        return S_OK;
    }

    const FolderPlan folderPlan = PlanFolders(folder, phoneFolders, pcFolders);
    std::vector<std::wstring> foldersLeft;
    for (size_t i = 0; i < pcFolders.size(); ++i) {
        const std::wstring& name = pcFolders[i];
        QTRACE(L"(): PcFolderPaths[i].szName = %ls\n", name.c_str());
        if (!folderPlan.stale[i]) {
            foldersLeft.push_back(name);
            continue;
        }
        const std::wstring stale = folder + L"\\" + name;
        QTRACE(L"(): calling EmptyDirectory(%ls)...\n", stale.c_str());
        if (!EmptyDirectory(stale.c_str(), kEmptyRecursive | kEmptyFolderShortcuts | kEmptySingleAttempt) ||
            !RemoveDirectoryW(stale.c_str()))
            foldersLeft.push_back(name);
    }

    HRESULT result = UpdateFolders(folderPlan, phoneFolders, foldersLeft);
    if (withFiles) {
        // The result of the last shortcut file, when there is one.
        const HRESULT filesResult =
            UpdateFiles(folder, PlanFiles(folder, phoneFiles, pcFiles, foldersLeft), phoneFiles);
        if (!phoneFiles.empty())
            result = filesResult;
    }
    return result;
}

} // namespace

HRESULT RefreshFolder(phone::PhoneFileSystem& phoneFs, const DeviceMappingTable& table, const wchar_t* pcFolder,
                      VARIANT_BOOL files, ITransferListener* listener)
{
    if (!phoneFs.Component()) {
        QTRACE(L"(): Error! pVFS = NULL\n");
        return E_FAIL;
    }
    if (!pcFolder)
        return E_POINTER;
    std::wstring folder = pcFolder;
    if (folder.size() >= kPathLength)
        return kPathTooLong;
    paths::TrimTrailingBackslashes(folder);
    return RefreshFolderContents(phoneFs, table, folder, files, listener);
}

} // namespace mirror
