// The table of connected phones: which mirror folder on the PC stands for which
// phone, and the translation of mirror paths into phone paths.
#pragma once

#include "common/Paths.h"
#include "common/Resource.h"
#include "mirror/Configuration.h"

#include <windows.h>

#include <string>
#include <vector>

namespace mirror {

using contract::kImeiFileName;
using contract::kPhonePathPrefix;
using contract::kSupportedProduct;
using contract::kSyncModelKey;
// Bits of the "Ostrelle_Sync" value.
constexpr int kSyncContacts = 0x1;
constexpr int kSyncMultimediaMessages = 0x8;
constexpr int kSyncTextMessages = 0x10;
// Longest model name compared against the supported list.
constexpr size_t kModelNameLength = 31;

// One connected phone. All fields empty: no mapping.
struct DeviceMapping {
    wchar_t PCFolder[kPathLength];  // mirror root + "\" + alias
    wchar_t VFSFolder[kPathLength]; // "ALIAS:" + alias
    wchar_t device[kPathLength];    // the alias as the notification gave it

    bool empty() const { return !PCFolder[0] && !VFSFolder[0] && !device[0]; }
};

// The row of a phone below the mirror root; kPathTooLong when a field would not
// fit, E_INVALIDARG for an empty alias.
HRESULT MakeMapping(const wchar_t* mirrorRoot, const wchar_t* alias, DeviceMapping& row);

class DeviceMappingTable
{
public:
    DeviceMappingTable() = default;
    DeviceMappingTable(const DeviceMappingTable&) = delete;
    DeviceMappingTable& operator=(const DeviceMappingTable&) = delete;
    ~DeviceMappingTable() = default;

    // A supported phone gets its row and a visible mirror folder; the shell is
    // told. E_FAIL for an unsupported phone (nothing changes).
    HRESULT OnDeviceConnected(const wchar_t* imei, const wchar_t* alias);
    // Hides and empties the phone's mirror folder and drops its row. Always S_OK.
    HRESULT OnDeviceDisconnected(const wchar_t* imei, const wchar_t* alias);

    // The row whose mirror folder holds the path (the folder itself or below
    // it, without regard to case); the first such row wins. Items of folders
    // that carry "Folder.xml" belong to no phone.
    DeviceMapping FindMappingForPC(const wchar_t* pcPath) const;
    // The row of an alias, or of a phone path "ALIAS:<alias>" or "ALIAS:<alias>\...".
    DeviceMapping FindMappingByDevice(const wchar_t* text) const;
    void AppendMapping(const DeviceMapping& row);
    // Drops the first row of the same device.
    void RemoveMapping(const DeviceMapping& row);
    // Every row's device, in table order.
    std::vector<std::wstring> Aliases() const;

    // The phone path of a mirror path, read level by level from the folder
    // shortcuts and shortcut files. No mapping: S_OK and an empty path. A phone
    // path longer than MAX_PATH - 1 gives kPathTooLong and an empty path.
    HRESULT ConvertPCNameToVFSName(const wchar_t* pcPath, std::wstring& phonePath) const;

private:
    void ShowSyncFolders(const wchar_t* pcFolder, const wchar_t* imei);

    mutable critical_section lock_;
    std::vector<DeviceMapping> rows_;
};

// Whether the path lies below the folder, compared whole component by component
// without regard to case ("C:\RootX" is not below "C:\Root", nor is "C:\Root" itself).
bool IsBelowFolder(const std::wstring& path, const std::wstring& folder);

// Whether the path lies below the mirror root: in a phone's mirror folder, even
// while that folder is being rebuilt and holds no "IMEI" yet.
bool IsBelowMirrorRoot(const wchar_t* pcPath);

// The phone's mirror folder of a path: the nearest folder at or above it (the
// path's own folder when it names no folder) that holds "IMEI" and lies below
// the mirror root. Every room asks this one walk. False outside the mirror root,
// at the mirror root itself and without such a folder.
bool FindPhoneRootFolder(const wchar_t* pcPath, std::wstring& phoneRootFolder);

} // namespace mirror
