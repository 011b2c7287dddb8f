// What a refresh leaves in a mirror folder, worked out in memory from the
// phone's listing and the folder's present contents before anything on disk
// changes, so that the refresh can touch only what differs.
#pragma once

#include "phone/VFSItem.h"

#include <windows.h>

#include <string>
#include <vector>

namespace mirror {

using phone::VFSItem;

// One file directly in a mirror folder, as the folder listing reports it.
struct PcFile {
    std::wstring name;
    DWORD attributes = 0;
    ULONGLONG size = 0;
};

// The direct files and subfolders of a folder in one enumeration; false when
// the folder cannot be listed (both lists stay empty).
bool ReadPcFolder(const std::wstring& folder, std::vector<PcFile>& files, std::vector<std::wstring>& folders);

// The PC folder of one phone folder, or why it has none.
struct PlannedFolder {
    std::wstring path;
    HRESULT named = S_OK;
};

struct FolderPlan {
    std::vector<char> stale;            // per PC subfolder: no phone folder stands for it
    std::vector<PlannedFolder> folders; // one per phone folder, in listing order
};

// Subfolders stay when a phone folder gives the same name, in any letter case;
// a phone folder gets its predefined display name and, for a memory root, its
// label before the drive: "Phone memory (C)".
FolderPlan PlanFolders(const std::wstring& folder, const std::vector<VFSItem>& phoneFolders,
                       const std::vector<std::wstring>& pcFolders);

// The shortcut file of one phone file: its name and the text it holds, or why
// it is left out.
struct PlannedShortcut {
    std::wstring name; // file name with ".vfslnk"
    std::wstring text; // exactly what VFSShortcut::Save writes
    HRESULT result = S_OK;
};

struct FilePlan {
    // Present files a rewrite of the shortcut files replaces: the shortcut
    // files, and in a phone's top folder (the one holding "IMEI") every file
    // but "IMEI". They point into the pcFiles the plan was made from.
    std::vector<const PcFile*> replaced;
    std::vector<PlannedShortcut> shortcuts; // one per phone file, in listing order
};

// Names are numbered, "photo(2).jpg", in listing order against the files that
// stay, the subfolders left (foldersLeft) and the names given before, without
// regard to case: the same names a rewrite into the emptied folder picks.
FilePlan PlanFiles(const std::wstring& folder, const std::vector<VFSItem>& phoneFiles,
                   const std::vector<PcFile>& pcFiles, const std::vector<std::wstring>& foldersLeft);

// The text of the shortcut for a listing entry, as VFSShortcut::Save writes it.
HRESULT ShortcutText(const VFSItem& item, std::wstring& text);

} // namespace mirror
