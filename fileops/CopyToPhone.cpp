#include "CopyToPhone.h"

#include "PhoneFile.h"
#include "common/Dates.h"
#include "common/ErrorFlow.h"
#include "common/Paths.h"
#include "common/Resource.h"
#include "common/Trace.h"
#include "localisation/MessageBoxes.h"
#include "localisation/VexaUtil.h"
#include "mirror/Configuration.h"
#include "shortcut/PcItemNames.h"
#include "shortcut/ShortcutFiles.h"
#include "shortcut/VFSShortcut.h"

#include <algorithm>
#include <cwchar>

namespace fileops {

namespace {

constexpr size_t kMemTypeLength = 256;
constexpr UINT kNotEnoughMemoryId = 5029;
constexpr UINT kContinueQuestionId = 168;
constexpr wchar_t kNotEnoughMemoryText[] = L"Target may not have enough free memory for the selected item(s).";
constexpr wchar_t kContinueQuestionText[] = L"Do you want to continue?";
constexpr DWORD kChunk = 64 * 1024;
constexpr HRESULT kFolderExists = static_cast<HRESULT>(0x80044344);

// The name of a folder given with or without its trailing backslash.
std::wstring LastComponent(std::wstring path)
{
    paths::TrimOneTrailingBackslash(path);
    return paths::LastComponent(path);
}

ULONG FileSizeOf(const std::wstring& path)
{
    unique_file file(
        CreateFileW(path.c_str(), 0, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
        return 0;
    const DWORD size = GetFileSize(file.get(), nullptr);
    return size == INVALID_FILE_SIZE ? 0 : size;
}

void CollectFolder(const std::wstring& source, const std::wstring& target, CopySources& collected)
{
    collected.folders.push_back(target);
    collected.folderSources.push_back(source);
    WIN32_FIND_DATAW found;
    unique_find find(FindFirstFileW((source + L"\\*.*").c_str(), &found));
    if (!find)
        return;
    do {
        if (wcscmp(found.cFileName, L".") == 0 || wcscmp(found.cFileName, L"..") == 0)
            continue;
        const std::wstring from = source + L"\\" + found.cFileName, to = target + L"\\" + found.cFileName;
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            CollectFolder(from, to, collected);
        } else {
            collected.files.push_back(to);
            collected.fileSources.push_back(from);
            collected.totalSize += found.nFileSizeLow;
        }
    } while (FindNextFileW(find.get(), &found));
}

// The file's last-write time, or zero when it cannot be read.
ULONGLONG LastWriteOf(const std::wstring& path)
{
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data))
        return 0;
    return (static_cast<ULONGLONG>(data.ftLastWriteTime.dwHighDateTime) << 32) | data.ftLastWriteTime.dwLowDateTime;
}

// Files that stand in for existing phone files while the shell copies, so
// that it asks before replacing them. The archive bit cannot tell an answered
// No from a fresh copy (Wine keeps it on every file), so each placeholder is
// filled with this operation's own marker and keeps the phone file's time:
// one the shell did not replace still holds both.
class Placeholders
{
public:
    Placeholders()
    {
        GUID marker{};
        CoCreateGuid(&marker);
        const auto* bytes = reinterpret_cast<const unsigned char*>(&marker);
        marker_.assign(bytes, bytes + sizeof(marker));
        // Unique also when no GUID could be made.
        const DWORD tick = GetTickCount() ^ GetCurrentThreadId();
        marker_.insert(marker_.end(), reinterpret_cast<const unsigned char*>(&tick),
                       reinterpret_cast<const unsigned char*>(&tick) + sizeof(tick));
    }
    Placeholders(const Placeholders&) = delete;
    Placeholders& operator=(const Placeholders&) = delete;

    // MakePlaceholderFile: the phone file's size and date from its shortcut.
    void Make(const std::wstring& file, const std::wstring& shortcutPath)
    {
        listed_.push_back(file);
        const phone::VFSItem item = shortcut::GetShortcutDetails(shortcutPath);
        unique_file created(
            CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!created)
            return;
        const ULONG size = item.size > 0 ? static_cast<ULONG>(item.size) : 0;
        const std::vector<unsigned char> filler = Filler(0, kChunk);
        for (ULONG written = 0; written < size;) {
            DWORD done = 0;
            const DWORD part = size - written < kChunk ? size - written : kChunk;
            if (!WriteFile(created.get(), filler.data(), part, &done, nullptr) || done != part)
                return; // no marker: treated as the shell's copy and never left alone
            written += part;
        }
        FILETIME modified{};
        if (SUCCEEDED(DateToFileTime(item.modified, modified)))
            SetFileTime(created.get(), nullptr, nullptr, &modified);
        created.reset();
        SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_NORMAL);
        made_.push_back({file, size, LastWriteOf(file)});
    }

    // A placeholder that the shell did not replace (the user answered No).
    bool IsUntouched(const std::wstring& file) const
    {
        for (const Made& made : made_) {
            if (_wcsicmp(made.path.c_str(), file.c_str()) == 0)
                return LastWriteOf(file) == made.lastWrite && FileSizeOf(file) == made.size && HoldsFiller(made);
        }
        return false;
    }

    // Every listed file goes, whatever it holds now.
    void RemoveAll() const
    {
        for (const std::wstring& file : listed_)
            DeleteFileW(file.c_str());
    }

private:
    struct Made {
        std::wstring path;
        ULONG size;
        ULONGLONG lastWrite;
    };

    // The filler from byte `offset` on, `length` bytes.
    std::vector<unsigned char> Filler(ULONG offset, DWORD length) const
    {
        std::vector<unsigned char> bytes(length);
        for (DWORD i = 0; i < length; ++i)
            bytes[i] = marker_[(offset + i) % marker_.size()];
        return bytes;
    }

    bool HoldsFiller(const Made& made) const
    {
        unique_file file(CreateFileW(made.path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                     FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file)
            return false;
        std::vector<unsigned char> bytes(kChunk);
        for (ULONG offset = 0; offset < made.size;) {
            DWORD read = 0;
            if (!ReadFile(file.get(), bytes.data(), kChunk, &read, nullptr) || read == 0)
                return false;
            bytes.resize(read);
            if (bytes != Filler(offset, read))
                return false;
            offset += read;
            bytes.resize(kChunk);
        }
        return true;
    }

    std::vector<unsigned char> marker_;
    std::vector<std::wstring> listed_;
    std::vector<Made> made_;
};

// One file the shell wrote into the mirror folder, up to the phone; `arrived`
// when its content is there.
HRESULT UploadFile(const services::RequestContext& context, phone::PhoneFileSystem& phoneFs, const std::wstring& file,
                   COperationListener& listener, bool& arrived)
{
    arrived = false;
    std::wstring phonePath;
    RETURN_IF_FAILED(file.size() < MAX_PATH ? context.Mappings().ConvertPCNameToVFSName(file.c_str(), phonePath)
                                            : kPathTooLong);
    return UploadFromPcFile({phoneFs, &listener, context.Graphics()}, file, phonePath, arrived);
}

HRESULT UploadCollected(const services::RequestContext& context, phone::PhoneFileSystem& phoneFs,
                        const CopySources& collected, COperationListener& listener, CopyOutcome& outcome,
                        const Placeholders* placeholders)
{
    HRESULT result = S_OK;
    outcome.folderMade.assign(collected.folders.size(), false);
    outcome.fileUploaded.assign(collected.files.size(), false);
    for (size_t i = 0; i < collected.folders.size(); ++i) {
        const std::wstring& folder = collected.folders[i];
        std::wstring phonePath;
        HRESULT hr = folder.size() < MAX_PATH ? context.Mappings().ConvertPCNameToVFSName(folder.c_str(), phonePath)
                                              : kPathTooLong;
        if (SUCCEEDED(hr)) {
            if (phonePath.find_first_of(L"\\:") == std::wstring::npos)
                phonePath.clear();
            hr = phoneFs.mkdir(phonePath, &listener);
        }
        // A folder the phone already has holds what comes into it as well: no failure.
        outcome.folderMade[i] = SUCCEEDED(hr) || hr == kFolderExists;
        if (!outcome.folderMade[i]) {
            QTRACE(L"CComQuelvar::CopyToVFS(): VFS::mkdir failed (dir = %s), HRESULT 0x%X\n", folder.c_str(), hr);
            result = hr;
        }
    }
    for (size_t i = 0; i < collected.files.size(); ++i) {
        const std::wstring& file = collected.files[i];
        const DWORD attributes = GetFileAttributesW(file.c_str());
        // Only what the shell has just written goes up: nothing it failed to
        // copy, no placeholder the user chose to keep.
        if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) ||
            !(attributes & FILE_ATTRIBUTE_ARCHIVE) || (placeholders && placeholders->IsUntouched(file)))
            continue;
        SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_NORMAL);
        // After a cancel the rest leaves the mirror folder untransferred.
        HRESULT hr = E_ABORT;
        if (!listener.HasUserCancelled()) {
            bool arrived = false;
            hr = UploadFile(context, phoneFs, file, listener, arrived);
            outcome.fileUploaded[i] = arrived;
        }
        if (FAILED(hr))
            result = hr;
        DeleteFileW(file.c_str());
        if (hr == phone::kMemoryFull) {
            QTRACE(L"CComQuelvar::CopyToVFS(): Phone memory is full!\n");
            break; // the files not tried stay in the mirror folder as they are
        }
    }
    return result;
}

} // namespace

HRESULT CheckTargetFolder(const std::wstring& target)
{
    if (paths::IsDirectory(target))
        return S_OK;
    QTRACE(L"(): %ls is no folder\n", target.c_str());
    return HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND);
}

void CollectCopySources(const std::vector<std::wstring>& sources, const std::wstring& target, CopySources& collected)
{
    for (const std::wstring& source : sources) {
        std::wstring from = source;
        paths::TrimOneTrailingBackslash(from);
        const std::wstring to = paths::Join(target, LastComponent(from));
        if (paths::IsDirectory(from)) {
            CollectFolder(from, to, collected);
        } else {
            collected.files.push_back(to);
            collected.fileSources.push_back(from);
            collected.totalSize += FileSizeOf(from);
        }
    }
}

bool CheckFreeMemory(phone::PhoneFileSystem& phoneFs, const std::wstring& folderShortcut, ULONG totalSize, HWND owner,
                     const std::wstring& alias, CVexaUtil& language)
{
    ULONGLONG freeBytes = 0;
    std::wstring imei;
    // Without the phone's identity its free memory is unknown: the user is asked.
    if (FAILED(phoneFs.GetImei(alias, imei)))
        imei.clear();
    wchar_t memType[kMemTypeLength];
    if (SUCCEEDED(shortcut::ReadShortcutMemType(folderShortcut.c_str(), memType, kMemTypeLength))) {
        std::unique_ptr<CDeviceInfoReader> reader = mirror::OpenDeviceInfoReader();
        const wchar_t* answer = reader ? reader->GetMemoryValue(imei.c_str(), memType) : nullptr;
        if (answer)
            freeBytes = wcstoull(answer, nullptr, 10);
    }
    if (totalSize < freeBytes)
        return true;
    const std::wstring question = std::wstring(language.GetString(kNotEnoughMemoryId, kNotEnoughMemoryText)) + L" " +
                                  language.GetString(kContinueQuestionId, kContinueQuestionText);
    return localisation::AskQuestion(owner, question.c_str(), language) != 0;
}

HRESULT CopyToVFS(const services::RequestContext& context, phone::PhoneFileSystem& phoneFs,
                  const CopySources& collected, COperationListener& listener, CopyOutcome& outcome)
{
    return UploadCollected(context, phoneFs, collected, listener, outcome, nullptr);
}

HRESULT CopyPCItemsToVFS(const services::RequestContext& context, phone::PhoneFileSystem& phoneFs,
                         FileOperationRequest& request, const std::vector<std::wstring>& sources,
                         COperationListener& listener, const std::wstring& alias)
{
    std::vector<std::wstring> targets;
    RETURN_IF_FAILED(request.Targets(targets));
    if (targets.empty())
        return E_INVALIDARG;
    std::wstring target = targets.front();
    paths::TrimOneTrailingBackslash(target);
    RETURN_IF_FAILED(CheckTargetFolder(target));
    CopySources collected;
    CollectCopySources(sources, target, collected);
    if (!CheckFreeMemory(phoneFs, paths::Join(target, shortcut::kFolderShortcutName), collected.totalSize,
                         request.Window(), alias, context.Language()))
        return S_OK;
    listener.SetTotalSize(collected.totalSize);

    // The shell copies; a move deletes its sources only after their upload.
    const bool move = request.Function() == FO_MOVE;
    request.SetFunction(FO_COPY);
    CopyOutcome outcome;
    bool copiedAll = false;
    const HRESULT hr =
        PlaceAndUpload(context, phoneFs, request.ShellOperation(), collected, listener, outcome, copiedAll);
    if (move && copiedAll) {
        for (size_t i = 0; i < collected.files.size(); ++i) {
            if (outcome.fileUploaded[i])
                DeleteFileW(collected.fileSources[i].c_str());
        }
        // Deepest first: a source folder goes once everything in it has gone up.
        for (size_t i = collected.folders.size(); i-- > 0;) {
            if (outcome.folderMade[i])
                RemoveDirectoryW(collected.folderSources[i].c_str());
        }
    }
    return hr;
}

HRESULT PlaceAndUpload(const services::RequestContext& context, phone::PhoneFileSystem& phoneFs,
                       SHFILEOPSTRUCTW operation, const CopySources& collected, COperationListener& listener,
                       CopyOutcome& outcome, bool& copiedAll)
{
    Placeholders placeholders;
    for (const std::wstring& file : collected.files) {
        const std::wstring shortcutPath = file + shortcut::kShortcutExtension;
        if (paths::IsFile(shortcutPath))
            placeholders.Make(file, shortcutPath);
    }
    operation.wFunc = FO_COPY;
    operation.fAnyOperationsAborted = FALSE;
    const int shellResult = SHFileOperationW(&operation);
    const bool aborted = operation.fAnyOperationsAborted || shellResult == ERROR_CANCELLED;
    copiedAll = shellResult == 0 && !aborted;
    // The shell does not always say so when it could not write a file.
    const bool allThere = std::all_of(collected.files.begin(), collected.files.end(),
                                      [](const std::wstring& file) { return paths::IsFile(file); });

    listener.Start(operation.hwnd);
    HRESULT hr = UploadCollected(context, phoneFs, collected, listener, outcome, &placeholders);
    placeholders.RemoveAll();
    // What the shell could not copy never reached the phone: no success to report.
    if (SUCCEEDED(hr) && !aborted && (shellResult != 0 || !allThere)) {
        QTRACE(L"(): SHFileOperation failed (%d)\n", shellResult);
        copiedAll = false;
        hr = E_FAIL;
    }
    return hr;
}

} // namespace fileops
