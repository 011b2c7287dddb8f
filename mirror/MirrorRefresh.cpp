#include "MirrorRefresh.h"

#include "common/ErrorFlow.h"
#include "common/Paths.h"
#include "common/Resource.h"
#include "common/Trace.h"
#include "mirror/Listing.h"
#include "mirror/MirrorFolders.h"
#include "shortcut/PcItemNames.h"
#include "shortcut/ShortcutFiles.h"
#include "shortcut/VFSShortcut.h"

#include <shlwapi.h>

#include <cwchar>
#include <new>
#include <unordered_set>

namespace mirror {

namespace {

// The PC folder a phone folder of the listing gets inside pcFolder.
HRESULT PcFolderOf(const std::wstring& pcFolder, const VFSItem& item, std::wstring& path)
{
    std::wstring plain;
    HRESULT hr = shortcut::MakePcItemPath(pcFolder, item.pcName, item.label, false, plain);
    if (SUCCEEDED(hr))
        hr = shortcut::MapPredefinedFolderName(plain, path);
    return hr;
}

// Writes the shortcut files of one refresh. Right after the old ones were
// deleted the folder's names are known, so PC names are made unique in memory
// rather than by asking the file system once per candidate, which costs a scan
// of the whole folder for every missing name on some file systems.
class ShortcutFileWriter
{
public:
    ShortcutFileWriter(const std::wstring& folder, const std::vector<std::wstring>& existingFiles) : folder_(folder)
    {
        for (const std::wstring& name : existingFiles)
            taken_.insert(Key(name));
    }

    HRESULT Write(const VFSItem& item)
    {
        std::wstring path;
        HRESULT hr = UniquePath(item.phoneName, path);
        if (FAILED(hr)) {
            QTRACE(L"(): Saving shortcut file for %ls failed: HRESULT = 0x%X\n", item.phoneName, hr);
            return hr;
        }
        shortcut::VFSShortcut file;
        hr = shortcut::FillShortcut(file, item);
        if (FAILED(hr))
            return hr;
        const std::wstring text = file.Format();
        unique_file handle(CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                       CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!handle) {
            // Something the deletion left or another writer made: the careful path.
            QTRACE(L"(): %ls exists, writing it the slow way\n", path.c_str());
            return shortcut::CreateShortcutFile(folder_, item);
        }
        taken_.insert(Key(PathFindFileNameW(path.c_str())));
        const DWORD bytes = static_cast<DWORD>(text.size() * sizeof(wchar_t));
        DWORD written = 0;
        if (!WriteFile(handle.get(), text.data(), bytes, &written, nullptr) || written != bytes) {
            QTRACE(L"(): Saving shortcut file (%ls) failed\n", path.c_str());
            return E_FAIL;
        }
        return S_OK;
    }

private:
    static std::wstring Key(std::wstring name)
    {
        if (!name.empty())
            CharUpperBuffW(&name[0], static_cast<DWORD>(name.size()));
        return name;
    }

    // The numbering of shortcut::MakePcItemPath, with the names known in memory.
    HRESULT UniquePath(const wchar_t* phoneName, std::wstring& path) const
    {
        const std::wstring name = shortcut::MakePcItemName(phoneName, std::wstring());
        if (name.empty())
            return E_INVALIDARG;
        RETURN_IF_FAILED(shortcut::NumberPcItemPath(
            folder_, name,
            [this](const std::wstring& shortcutPath) {
                return taken_.find(Key(PathFindFileNameW(shortcutPath.c_str()))) != taken_.end();
            },
            path));
        path += shortcut::kShortcutExtension;
        return S_OK;
    }

    const std::wstring& folder_;
    std::unordered_set<std::wstring> taken_;
};

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
    if (withFiles && !EmptyDirectory(folder.c_str(), kEmptyFolderShortcuts | kEmptySingleAttempt)) {
        QTRACE(L"(): EmptyDirectory failed!\n");
        return S_OK;
    }

    std::vector<std::wstring> pcFiles;
    std::vector<std::wstring> pcFolders;
    GetPcFolderContents(folder.c_str(), pcFiles, pcFolders);

    // The same PC folder names serve to keep folders and to make them.
    std::vector<std::wstring> targets(phoneFolders.size());
    std::vector<HRESULT> targetResults(phoneFolders.size());
    for (size_t i = 0; i < phoneFolders.size(); ++i)
        targetResults[i] = PcFolderOf(folder, phoneFolders[i], targets[i]);

    for (const std::wstring& name : pcFolders) {
        QTRACE(L"(): PcFolderPaths[i].szName = %ls\n", name.c_str());
        bool wanted = false;
        for (size_t i = 0; i < targets.size() && !wanted; ++i)
            wanted = SUCCEEDED(targetResults[i]) && _wcsicmp(PathFindFileNameW(targets[i].c_str()), name.c_str()) == 0;
        if (wanted)
            continue;
        const std::wstring stale = folder + L"\\" + name;
        QTRACE(L"(): calling EmptyDirectory(%ls)...\n", stale.c_str());
        if (EmptyDirectory(stale.c_str(), kEmptyRecursive | kEmptyFolderShortcuts | kEmptySingleAttempt))
            RemoveDirectoryW(stale.c_str());
    }

    HRESULT result = S_OK;
    for (size_t i = 0; i < phoneFolders.size(); ++i) {
        if (FAILED(targetResults[i])) {
            QTRACE(L"(): no PC folder for %ls: 0x%X\n", phoneFolders[i].phoneName, targetResults[i]);
            result = targetResults[i];
            continue;
        }
        if (CreateDirectoryW(targets[i].c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS)
            result = shortcut::CreateFolderShortcut(targets[i], phoneFolders[i]);
    }
    if (withFiles) {
        ShortcutFileWriter writer(folder, pcFiles);
        for (const VFSItem& item : phoneFiles) {
            QTRACE(L"(): Creating shortcut file %ls\n", item.phoneName);
            result = writer.Write(item);
        }
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
