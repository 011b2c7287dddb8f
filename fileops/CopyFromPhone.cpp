#include "CopyFromPhone.h"

#include "PhoneFile.h"
#include "common/Dates.h"
#include "common/ErrorFlow.h"
#include "common/Paths.h"
#include "common/Resource.h"
#include "common/Trace.h"
#include "mirror/Configuration.h"
#include "mirror/Listing.h"
#include "mirror/MirrorFolders.h"
#include "mirror/MirrorItems.h"
#include "shortcut/PcItemNames.h"
#include "shortcut/ShortcutFiles.h"

#include <shlwapi.h>

#include <map>
#include <set>

namespace fileops {

namespace {

constexpr size_t kCompareChunk = 64 * 1024;

bool LastWriteTime(HANDLE file, FILETIME& time)
{
    return GetFileTime(file, nullptr, nullptr, &time) != FALSE;
}

bool SameTime(const FILETIME& a, const FILETIME& b)
{
    return CompareFileTime(&a, &b) == 0;
}

// The destination's copy of a phone file carries the phone file's time.
bool IsUpToDate(const std::wstring& source, const std::wstring& target)
{
    const std::wstring destination = paths::IsDirectory(target) ? paths::Join(target, CopiedName(source)) : target;
    if (!paths::IsFile(destination))
        return false;
    unique_file file(
        CreateFileW(destination.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    FILETIME pcTime, phoneTime;
    return file && LastWriteTime(file.get(), pcTime) &&
           SUCCEEDED(DateToFileTime(shortcut::GetShortcutDetails(source).modified, phoneTime)) &&
           SameTime(pcTime, phoneTime);
}

// Same size, time and bytes: the copy holds everything of the original.
bool SameFile(const std::wstring& original, const std::wstring& copy)
{
    const auto open = [](const std::wstring& path) {
        return unique_file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                       FILE_ATTRIBUTE_NORMAL, nullptr));
    };
    unique_file a = open(original), b = open(copy);
    LARGE_INTEGER sizeA, sizeB;
    FILETIME timeA, timeB;
    if (!a || !b || !GetFileSizeEx(a.get(), &sizeA) || !GetFileSizeEx(b.get(), &sizeB) ||
        sizeA.QuadPart != sizeB.QuadPart || !LastWriteTime(a.get(), timeA) || !LastWriteTime(b.get(), timeB) ||
        !SameTime(timeA, timeB))
        return false;
    std::vector<unsigned char> chunkA(kCompareChunk), chunkB(kCompareChunk);
    for (;;) {
        DWORD readA = 0, readB = 0;
        if (!ReadFile(a.get(), chunkA.data(), kCompareChunk, &readA, nullptr) ||
            !ReadFile(b.get(), chunkB.data(), kCompareChunk, &readB, nullptr) || readA != readB)
            return false;
        if (readA == 0)
            return true;
        if (memcmp(chunkA.data(), chunkB.data(), readA) != 0)
            return false;
    }
}

bool CreatePCFolder(const std::wstring& path)
{
    return CreateDirectoryW(path.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS;
}

// A phone folder's mirror goes with its content.
bool RemoveMirrorFolder(const std::wstring& folder)
{
    mirror::EmptyDirectory(folder.c_str(),
                           mirror::kEmptyRecursive | mirror::kEmptyFolderShortcuts | mirror::kEmptyAllFiles);
    return RemoveDirectoryW(folder.c_str()) != FALSE;
}

} // namespace

std::wstring CopiedName(const std::wstring& mirrorPath)
{
    std::wstring name = paths::LastComponent(mirrorPath);
    if (shortcut::IsShortcutFile(mirrorPath.c_str()))
        name.resize(PathFindExtensionW(name.c_str()) - name.c_str());
    return name;
}

void SelectFilesToCopy(const FileOperationRequest& request, std::vector<std::wstring>& sources,
                       std::vector<std::wstring>& targets)
{
    sources.clear();
    targets.clear();
    std::vector<std::wstring> from, to;
    if (FAILED(request.Sources(from)) || FAILED(request.Targets(to)) || to.empty())
        return;
    for (const std::wstring& source : from) {
        if (shortcut::IsShortcutFile(source.c_str()) && IsUpToDate(source, to.front()))
            continue;
        sources.push_back(source);
        targets.push_back(to.front());
    }
}

HRESULT CopyFromPhone::CopyVFSToPC(const FileOperationRequest& request)
{
    std::vector<std::wstring> selected, targets;
    SelectFilesToCopy(request, selected, targets);
    if (selected.empty())
        return S_OK;
    const std::wstring& target = targets.front();
    std::vector<Source> sources;
    HRESULT hr = DownloadSources(selected, sources);
    // A failure before the shell copy leaves the target alone; the scratch
    // folders go with their owner.
    if (FAILED(hr) && hr != E_ABORT)
        return hr;

    QTRACE(L"CComQuelvar::CopyVFSToPC(): Files to be copied:\n");
    const std::vector<std::wstring> downloaded = Downloaded(sources);
    if (downloaded.empty())
        return hr;
    // Where the shell puts the downloads, decided before it creates anything.
    const bool intoFolder = paths::IsDirectory(target) || downloaded.size() > 1;
    std::vector<wchar_t> from, to;
    RETURN_IF_FAILED(mirror::MakePathList(downloaded, from));
    RETURN_IF_FAILED(mirror::MakePathList({target}, to));
    SHFILEOPSTRUCTW operation = request.ShellOperation();
    // A move of scratch downloads is their copy and the removal of the scratch
    // folders; it also spares us the platform's moves of several plain files,
    // which fail on some systems.
    operation.wFunc = FO_COPY;
    operation.pFrom = from.data();
    operation.pTo = to.data();
    const int shellResult = SHFileOperationW(&operation);
    if (shellResult != 0)
        QTRACE(L"CComQuelvar::CopyVFSToPC(): SHFileOperation returned %d\n", shellResult);
    if (request.Function() != FO_MOVE)
        return hr;

    // Only what the target holds in full may go from the phone.
    for (const Source& source : sources) {
        const std::wstring destination =
            intoFolder ? paths::Join(target, paths::LastComponent(source.scratchPath)) : target;
        if (!ReachedTarget(source, destination)) {
            QTRACE(L"CComQuelvar::CopyVFSToPC(): Keeping %s\n", source.mirrorPath.c_str());
            continue;
        }
        const HRESULT deleted = DeleteSource(source);
        if (FAILED(deleted)) {
            QTRACE(L"CComQuelvar::CopyVFSToPC(): Cannot delete %s\n", source.mirrorPath.c_str());
            hr = deleted;
        }
    }
    return hr;
}

HRESULT CopyFromPhone::DownloadToScratch(const std::vector<std::wstring>& mirrorSources,
                                         std::vector<std::wstring>& downloaded)
{
    std::vector<Source> sources;
    const HRESULT hr = DownloadSources(mirrorSources, sources);
    downloaded = Downloaded(sources);
    return hr;
}

std::vector<std::wstring> CopyFromPhone::Downloaded(const std::vector<Source>& sources)
{
    std::vector<std::wstring> downloaded;
    for (const Source& source : sources) {
        if (paths::Exists(source.scratchPath)) {
            QTRACE(L"%s\n", source.scratchPath.c_str());
            downloaded.push_back(source.scratchPath);
        }
    }
    return downloaded;
}

HRESULT CopyFromPhone::DownloadSources(const std::vector<std::wstring>& selected, std::vector<Source>& sources)
{
    sources.assign(selected.size(), Source());
    for (size_t i = 0; i < selected.size(); ++i)
        sources[i].mirrorPath = selected[i];
    ULONG totalSize = 0;
    HRESULT hr = GetVFSContent(sources, totalSize);
    bool failed = FAILED(hr);
    if (failed)
        QTRACE(L"CComQuelvar::CopyVFSToPC(): GetVFSContent failed! (%s)\n", selected.front().c_str());
    else
        listener_.SetTotalSize(totalSize);
    for (size_t i = 0; i < folders_.size() && !failed; ++i) {
        if (!CreatePCFolder(folders_[i].pcPath)) {
            QTRACE(L"CComQuelvar::CopyVFSToPC(): CreatePCFolder failed!(%s)\n", folders_[i].pcPath.c_str());
            hr = HRESULT_FROM_WIN32(GetLastError());
            failed = true;
        }
    }
    for (size_t i = 0; i < downloads_.size() && !failed; ++i) {
        if (listener_.HasUserCancelled()) {
            hr = E_ABORT;
            break;
        }
        const HRESULT read = ReadVFSFile(downloads_[i].phonePath, downloads_[i].pcPath);
        if (read == E_ABORT) { // a Cancel during the transfer: the file never arrived
            hr = read;
            break;
        }
        if (FAILED(read)) {
            QTRACE(L"CComQuelvar::CopyVFSToPC(): ReadVFSFile failed!\n");
            hr = read;
            failed = true;
        }
    }
    return hr;
}

HRESULT CopyFromPhone::GetVFSContent(std::vector<Source>& sources, ULONG& totalSize)
{
    totalSize = 0;
    // A source left out of the lists would be deleted by a move without its
    // content: any failure ends the whole listing.
    for (Source& source : sources) {
        source.isFile = shortcut::IsShortcutFile(source.mirrorPath.c_str());
        RETURN_IF_FAILED(scratch_.Make(CopiedName(source.mirrorPath), source.scratchPath));
        std::wstring phonePath;
        RETURN_IF_FAILED(context_.Mappings().ConvertPCNameToVFSName(source.mirrorPath.c_str(), phonePath));
        source.firstDownload = downloads_.size();
        source.firstFolder = folders_.size();
        if (source.isFile) {
            const phone::VFSItem item = shortcut::GetShortcutDetails(source.mirrorPath);
            if (!item.phoneName[0] || phonePath.empty())
                return E_FAIL;
            downloads_.push_back({phonePath, source.scratchPath});
            totalSize += static_cast<ULONG>(item.size);
        } else {
            RETURN_IF_FAILED(GetVFSFolderContent(phonePath, source.scratchPath, totalSize));
        }
        source.endDownload = downloads_.size();
        source.endFolder = folders_.size();
    }
    return S_OK;
}

HRESULT CopyFromPhone::GetVFSFolderContent(const std::wstring& phoneFolder, const std::wstring& pcFolder,
                                           ULONG& totalSize)
{
    if (phoneFolder.empty())
        return E_FAIL;
    folders_.push_back({phoneFolder, pcFolder});
    std::wstring listing;
    RETURN_IF_FAILED(phoneFs_.readdir(phoneFolder, &listener_, listing));
    const unique_bstr text(listing.data(), static_cast<UINT>(listing.size()));
    std::vector<phone::VFSItem> files, folders;
    RETURN_IF_FAILED(mirror::GetFilesAndFolders(text.get(), files, folders, pcFolder.c_str()));

    // Two phone names may give one PC name; each download keeps a place of its own.
    std::set<std::wstring> taken;
    const auto key = [](std::wstring path) {
        CharLowerBuffW(&path[0], static_cast<DWORD>(path.size()));
        return path;
    };
    for (const phone::VFSItem& folder : folders)
        taken.insert(key(paths::Join(pcFolder, folder.pcName)));
    std::map<std::wstring, unsigned> counters;
    for (const phone::VFSItem& file : files) {
        std::wstring pcPath;
        const std::wstring name = shortcut::MakePcItemName(file.phoneName, L"");
        RETURN_IF_FAILED(shortcut::NumberPcItemPath(
            pcFolder, name,
            [&](const std::wstring& shortcutPath) {
                return taken.count(key(shortcutPath.substr(0, shortcutPath.size() - 7))) != 0;
            },
            pcPath, &counters[key(name)]));
        taken.insert(key(pcPath));
        downloads_.push_back({phoneFolder + L"\\" + file.phoneName, pcPath});
        totalSize += static_cast<ULONG>(file.size);
    }
    for (const phone::VFSItem& folder : folders) {
        const std::wstring pcPath = paths::Join(pcFolder, folder.pcName);
        if (pcPath.size() >= MAX_PATH)
            return kPathTooLong;
        RETURN_IF_FAILED(GetVFSFolderContent(phoneFolder + L"\\" + folder.phoneName, pcPath, totalSize));
    }
    return S_OK;
}

HRESULT CopyFromPhone::ReadVFSFile(const std::wstring& phonePath, const std::wstring& pcPath)
{
    return DownloadToPcFile({phoneFs_, &listener_, context_.Graphics()}, phonePath, pcPath);
}

bool CopyFromPhone::ReachedTarget(const Source& source, const std::wstring& destination) const
{
    const auto placed = [&](const std::wstring& scratchItem) {
        return destination + scratchItem.substr(source.scratchPath.size());
    };
    for (size_t i = source.firstFolder; i < source.endFolder; ++i)
        if (!paths::IsDirectory(placed(folders_[i].pcPath)))
            return false;
    for (size_t i = source.firstDownload; i < source.endDownload; ++i)
        if (!SameFile(downloads_[i].pcPath, placed(downloads_[i].pcPath)))
            return false;
    return true;
}

HRESULT CopyFromPhone::DeleteSource(const Source& source)
{
    if (source.isFile)
        return mirror::DeleteFileOrFolder(phoneFs_, context_.Mappings(), source.mirrorPath.c_str(), nullptr, true);
    for (size_t i = source.firstDownload; i < source.endDownload; ++i)
        RETURN_IF_FAILED(phoneFs_.deletefile(downloads_[i].phonePath, nullptr));
    // Deepest first; the phone refuses a folder that still holds anything.
    for (size_t i = source.endFolder; i-- > source.firstFolder;)
        RETURN_IF_FAILED(phoneFs_.rmdir(folders_[i].phonePath, nullptr));
    return RemoveMirrorFolder(source.mirrorPath) ? S_OK : E_FAIL;
}

} // namespace fileops
