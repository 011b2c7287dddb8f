// Bringing a mirror folder in line with its phone folder, and emptying mirror
// folders.
#pragma once

#include "mirror/DeviceMapping.h"
#include "phone/PhoneFileSystem.h"

#include <windows.h>
#include <oleauto.h>

#include <string>
#include <vector>

namespace mirror {

// What EmptyDirectory removes.
constexpr unsigned kEmptyRecursive = 0x1;       // empty and remove subfolders too
constexpr unsigned kEmptyFolderShortcuts = 0x2; // delete "folder.vfsfolder" files (only with kEmptyRecursive)
constexpr unsigned kEmptyAllFiles = 0x4;        // every file but the folder's own "IMEI", not only shortcut files
constexpr unsigned kEmptySingleAttempt = 0x8;   // try each subfolder once; synchronisation folders are left alone

// Deletes the shortcut files of a folder (every file but "IMEI" in a phone's
// top mirror folder, or with kEmptyAllFiles) and, when recursive, its
// subfolders, except those that hold "Folder.xml". The folder itself stays.
// False when the folder could not be listed.
bool EmptyDirectory(const wchar_t* folder, unsigned flags);

// Names (no paths) of a folder's direct files and subfolders, in the order the
// file system lists them.
void GetPcFolderContents(const wchar_t* folder, std::vector<std::wstring>& files, std::vector<std::wstring>& folders);

// Removes stale subfolders, makes a subfolder with its folder shortcut for every
// phone folder and, when files is VARIANT_TRUE, writes every shortcut file anew.
// A folder of no phone: S_OK, nothing changes. A failed listing is returned
// before the PC changes. Otherwise the result of the last shortcut written.
HRESULT RefreshFolder(phone::PhoneFileSystem& phoneFs, const DeviceMappingTable& table, const wchar_t* pcFolder,
                      VARIANT_BOOL files, ITransferListener* listener);

} // namespace mirror
