#include "RefreshPlan.h"

#include "common/ContractTexts.h"
#include "common/ErrorFlow.h"
#include "common/Paths.h"
#include "common/Resource.h"
#include "shortcut/PcItemNames.h"
#include "shortcut/ShortcutFiles.h"
#include "shortcut/VFSShortcut.h"

#include <shlwapi.h>

#include <cwchar>
#include <unordered_map>
#include <unordered_set>

namespace mirror {

namespace {

// File names compare without regard to case, as the file system does.
std::wstring Key(std::wstring name)
{
    if (!name.empty())
        CharUpperBuffW(&name[0], static_cast<DWORD>(name.size()));
    return name;
}

bool IsDotEntry(const wchar_t* name)
{
    return wcscmp(name, L".") == 0 || wcscmp(name, L"..") == 0;
}

} // namespace

bool ReadPcFolder(const std::wstring& folder, std::vector<PcFile>& files, std::vector<std::wstring>& folders)
{
    files.clear();
    folders.clear();
    if (folder.empty())
        return false;
    WIN32_FIND_DATAW found;
    unique_find find(FindFirstFileW(paths::Join(folder, L"*.*").c_str(), &found));
    if (!find)
        return false;
    do {
        if (IsDotEntry(found.cFileName))
            continue;
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            folders.emplace_back(found.cFileName);
        } else {
            const ULONGLONG size = (static_cast<ULONGLONG>(found.nFileSizeHigh) << 32) | found.nFileSizeLow;
            files.push_back(PcFile{found.cFileName, found.dwFileAttributes, size});
        }
    } while (FindNextFileW(find.get(), &found));
    return true;
}

FolderPlan PlanFolders(const std::wstring& folder, const std::vector<VFSItem>& phoneFolders,
                       const std::vector<std::wstring>& pcFolders)
{
    FolderPlan plan;
    plan.folders.resize(phoneFolders.size());
    std::unordered_set<std::wstring> wanted;
    for (size_t i = 0; i < phoneFolders.size(); ++i) {
        const VFSItem& item = phoneFolders[i];
        PlannedFolder& target = plan.folders[i];
        std::wstring plain;
        target.named = shortcut::MakePcItemPath(folder, item.pcName, item.label, false, plain);
        if (SUCCEEDED(target.named))
            target.named = shortcut::MapPredefinedFolderName(plain, target.path);
        if (SUCCEEDED(target.named))
            wanted.insert(Key(PathFindFileNameW(target.path.c_str())));
    }
    plan.stale.reserve(pcFolders.size());
    for (const std::wstring& name : pcFolders)
        plan.stale.push_back(wanted.count(Key(name)) == 0);
    return plan;
}

HRESULT ShortcutText(const VFSItem& item, std::wstring& text)
{
    shortcut::VFSShortcut file;
    RETURN_IF_FAILED(shortcut::FillShortcut(file, item));
    text = file.Format();
    return S_OK;
}

FilePlan PlanFiles(const std::wstring& folder, const std::vector<VFSItem>& phoneFiles,
                   const std::vector<PcFile>& pcFiles, const std::vector<std::wstring>& foldersLeft)
{
    FilePlan plan;
    bool phoneTop = false;
    for (const PcFile& file : pcFiles)
        phoneTop = phoneTop || _wcsicmp(file.name.c_str(), contract::kImeiFileName) == 0;

    std::unordered_set<std::wstring> taken;
    for (const PcFile& file : pcFiles) {
        // The files EmptyDirectory removes from a folder's own level.
        const bool replaced = shortcut::IsShortcutFile(file.name.c_str()) ||
                              (phoneTop && _wcsicmp(file.name.c_str(), contract::kImeiFileName) != 0);
        if (replaced)
            plan.replaced.push_back(&file);
        else
            taken.insert(Key(file.name));
    }
    // A folder of a shortcut file's name would stop its writing.
    for (const std::wstring& name : foldersLeft)
        taken.insert(Key(name));

    plan.shortcuts.resize(phoneFiles.size());
    // Where the numbering of each name goes on: taken only grows.
    std::unordered_map<std::wstring, unsigned> counters;
    for (size_t i = 0; i < phoneFiles.size(); ++i) {
        PlannedShortcut& planned = plan.shortcuts[i];
        const std::wstring name = shortcut::MakePcItemName(phoneFiles[i].phoneName, std::wstring());
        std::wstring path;
        planned.result = name.empty() ? E_INVALIDARG
                                      : shortcut::NumberPcItemPath(
                                            folder, name,
                                            [&taken](const std::wstring& shortcutPath) {
                                                return taken.count(Key(PathFindFileNameW(shortcutPath.c_str()))) != 0;
                                            },
                                            path, &counters[Key(name)]);
        if (SUCCEEDED(planned.result))
            planned.result = ShortcutText(phoneFiles[i], planned.text);
        if (FAILED(planned.result))
            continue;
        planned.name = PathFindFileNameW(path.c_str());
        planned.name += shortcut::kShortcutExtension;
        taken.insert(Key(planned.name));
    }
    return plan;
}

} // namespace mirror
