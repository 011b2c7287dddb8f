// The PC side of phone items: shortcut files for phone files, folder shortcuts
// for phone folders, and reading them back.
#pragma once

#include "phone/VFSItem.h"

#include <windows.h>

#include <string>

namespace shortcut {

class VFSShortcut;

// Every field a shortcut carries for a listing entry; GroupPerm, OtherPerm and
// Accessed are never set.
HRESULT FillShortcut(VFSShortcut& shortcut, const phone::VFSItem& item);

// Writes the shortcut file of a phone file into pcFolder, under a PC name made
// unique among the folder's shortcut files.
HRESULT CreateShortcutFile(const std::wstring& pcFolder, const phone::VFSItem& item);

// Writes "folder.vfsfolder" of a phone folder into pcFolder; it is hidden and
// system afterwards, also when writing failed.
HRESULT CreateFolderShortcut(const std::wstring& pcFolder, const phone::VFSItem& item);

// The listing entry a shortcut file or folder shortcut describes; an empty
// entry when it cannot be read. The PC name stays empty.
phone::VFSItem GetShortcutDetails(const std::wstring& path);

// The phone name a shortcut file or folder shortcut records: the reason it
// cannot be read (VFSShortcut::Read), or kShortcutNamesNothing when it holds no
// single path component.
HRESULT ReadShortcutName(const std::wstring& path, std::wstring& name);

// The PC name of a predefined phone folder ("predefphotos") is its display
// name; other paths are returned unchanged. A result that would not fit
// MAX_PATH gives HRESULT_FROM_WIN32(ERROR_FILENAME_EXCED_RANGE).
HRESULT MapPredefinedFolderName(const std::wstring& phoneFolderPath, std::wstring& mapped);

// Hides (or shows) every folder shortcut in and below pcFolder, so that the
// shell can copy mirror folders like ordinary ones and they look right after.
void SetFolderShortcutAttributes(const std::wstring& pcFolder, bool hide);

// The MemType key of a shortcut through the system's INI reader: S_OK when at
// least one character was copied, E_FAIL otherwise.
HRESULT ReadShortcutMemType(const wchar_t* path, wchar_t* buffer, DWORD bufferLength);

bool IsShortcutFile(const wchar_t* path);   // path contains ".vfslnk" (case-sensitive)
bool IsFolderShortcut(const wchar_t* path); // path contains "folder.vfsfolder" (case-sensitive)

} // namespace shortcut
