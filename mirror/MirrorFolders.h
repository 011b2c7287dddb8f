// Emptying and listing mirror folders on the PC.
#pragma once

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

} // namespace mirror
