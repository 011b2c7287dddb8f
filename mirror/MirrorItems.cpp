#include "MirrorItems.h"

#include "common/ErrorFlow.h"
#include "common/Paths.h"
#include "common/Trace.h"
#include "shortcut/ShortcutFiles.h"
#include "shortcut/VFSShortcut.h"

#include <cwchar>
#include <new>

namespace mirror {

HRESULT DeleteFileOrFolder(phone::PhoneFileSystem& phoneFs, const DeviceMappingTable& table, const wchar_t* pcPath,
                           ITransferListener* listener, bool deletePcFile)
{
    if (!pcPath) {
        QTRACE(L"(): null pointer.\n");
        return E_POINTER;
    }
    if (!*pcPath) {
        QTRACE(L"(): szPcPath is empty!\n");
        return E_INVALIDARG;
    }
    const DeviceMapping row = table.FindMappingForPC(pcPath);
    if (row.empty()) {
        // Nothing of a phone to delete; the callers go on with the next item.
        QTRACE(L"CComQuelvar::DeleteFileOrFolder(): FindMappingForPC failed (file = %ls)!\n", pcPath);
        return S_OK;
    }
    std::wstring phonePath;
    HRESULT hr = table.ConvertPCNameToVFSName(pcPath, phonePath);
    if (FAILED(hr))
        return hr;

    const bool isShortcut = shortcut::IsShortcutFile(pcPath);
    if (!isShortcut && shortcut::IsFolderShortcut(pcPath)) {
        // It names no phone file: the phone folder goes only with its PC folder.
        QTRACE(L"(): Unsupported file type: %ls\n", pcPath);
        return E_FAIL;
    }
    if (isShortcut) {
        // An unreadable shortcut would leave the path of the folder holding it.
        if (!shortcut::GetShortcutDetails(pcPath).phoneName[0]) {
            QTRACE(L"(): cannot read shortcut %ls\n", pcPath);
            return E_FAIL;
        }
        const HRESULT removed = phoneFs.deletefile(phonePath, listener);
        if (FAILED(removed)) {
            QTRACE(L"(): VFS::deletefile failed!\n");
            return removed;
        }
        QTRACE(L"(): VFS::deletefile succeeded!\n");
        if (deletePcFile) {
            if (GetFileAttributesW(pcPath) & FILE_ATTRIBUTE_READONLY)
                SetFileAttributesW(pcPath, FILE_ATTRIBUTE_NORMAL);
            if (!DeleteFileW(pcPath))
                return E_FAIL;
        }
        return S_OK;
    }

    if (paths::IsDirectory(pcPath)) {
        const HRESULT removed = phoneFs.rmdir(phonePath, listener);
        if (FAILED(removed)) {
            QTRACE(L"(): VFS::rmdir failed!\n");
            return removed;
        }
        QTRACE(L"(): Removing directory %ls\n", pcPath);
        // The folder's own shortcut described the phone folder just removed.
        const std::wstring folderShortcut = paths::Join(pcPath, shortcut::kFolderShortcutName);
        SetFileAttributesW(folderShortcut.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileW(folderShortcut.c_str());
        if (!RemoveDirectoryW(pcPath)) {
            QTRACE(L"(): RemoveDirectory failed!\n");
            return E_FAIL;
        }
        return S_OK;
    }
    QTRACE(L"(): Unsupported file type: %ls\n", pcPath);
    return E_FAIL;
}

} // namespace mirror
