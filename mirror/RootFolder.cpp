#include "RootFolder.h"

#include "Configuration.h"
#include "DeviceMapping.h"
#include "Listing.h"
#include "MirrorFolders.h"
#include "common/ErrorFlow.h"
#include "common/Paths.h"
#include "common/Resource.h"
#include "common/Trace.h"

#include <vector>

namespace mirror {
namespace {

// Mirror folders of phones that are not connected are hidden.
void HideMirrorFoldersOfAbsentPhones(const std::vector<VFSItem>& connected)
{
    ReadMirrorRoot();
    std::wstring root = MirrorRoot();
    if (root.empty())
        return;
    std::vector<std::wstring> files, folders;
    GetPcFolderContents(root.c_str(), files, folders);
    for (const std::wstring& name : folders) {
        std::wstring folder = paths::Join(root, name);
        DWORD attributes = GetFileAttributesW(folder.c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_HIDDEN))
            continue;
        if (!paths::Exists(paths::Join(folder, kImeiFileName)))
            continue;
        bool isConnected = false;
        for (const VFSItem& item : connected)
            isConnected = isConnected || _wcsicmp(item.phoneName, name.c_str()) == 0;
        if (!isConnected)
            SetFileAttributesW(folder.c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
    }
}

} // namespace

HRESULT ReadVFSRootFolder(phone::PhoneFileSystem& phoneFs, ITransferListener* listener, IDeviceNotifySink* sink)
{
    std::vector<VFSItem> files, phones;
    std::wstring listingText;
    HRESULT hr = phoneFs.readdir(L"", listener, listingText);
    if (FAILED(hr)) {
        QTRACE(L"CComQuelvar::ReadVFSRootFolder(): VFS::readdir failed: HRESULT 0X%x\n", hr);
        return hr;
    }
    ReadMirrorRoot();
    const unique_bstr listing(listingText.data(), static_cast<UINT>(listingText.size()));
    hr = GetFilesAndFolders(listing.get(), files, phones, MirrorRoot());
    if (FAILED(hr)) {
        QTRACE(L"CComQuelvar::ReadVFSRootFolder(): GetFilesAndFolders failed\n");
        return hr;
    }
    for (const VFSItem& item : phones) {
        std::wstring imei;
        const HRESULT read = phoneFs.GetImei(item.phoneName, imei);
        if (FAILED(read)) {
            QTRACE(L"CComQuelvar::ReadVFSRootFolder(): VFSGetIMEI failed (alias = %s)\n", item.phoneName);
            hr = read; // the suite may have died in the middle: the others still connect
            continue;
        }
        unique_bstr imeiText(imei.c_str());
        unique_bstr alias(item.phoneName);
        if (FAILED(sink->DeviceConnect(imeiText.get(), alias.get())))
            QTRACE(L"CComQuelvar::ReadVFSRootFolder(): DeviceConnect failed (alias = %s)\n", item.phoneName);
    }
    HideMirrorFoldersOfAbsentPhones(phones);
    return hr;
}

} // namespace mirror
