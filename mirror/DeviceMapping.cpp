#include "DeviceMapping.h"

#include "MirrorFolders.h"
#include "common/ErrorFlow.h"
#include "common/Resource.h"
#include "common/Trace.h"
#include "phone/DeviceInfoReader.h"
#include "shortcut/ShortcutFiles.h"
#include "shortcut/VFSShortcut.h"

#include <shlobj.h>
#include <shlwapi.h>

#include <cwchar>
#include <new>

namespace mirror {

namespace {

constexpr int kClassIdAttempts = 10;
constexpr DWORD kClassIdRetryMs = 20;

size_t LengthWithoutTrailingBackslash(const wchar_t* text)
{
    size_t length = wcslen(text);
    if (length > 0 && text[length - 1] == L'\\')
        --length;
    return length;
}

bool SamePathPrefix(const wchar_t* path, size_t pathLength, const wchar_t* folder, size_t folderLength)
{
    if (folderLength == 0 || pathLength < folderLength)
        return false;
    if (CompareStringOrdinal(path, static_cast<int>(folderLength), folder, static_cast<int>(folderLength), TRUE) !=
        CSTR_EQUAL)
        return false;
    return pathLength == folderLength || path[folderLength] == L'\\';
}

// The alias itself, or a phone path of that alias: "ALIAS:<alias>" followed by
// a backslash or the end.
bool TextNamesDevice(const wchar_t* text, const wchar_t* device)
{
    if (!device[0])
        return false;
    if (wcscmp(text, device) == 0)
        return true;
    const size_t prefixLength = wcslen(kPhonePathPrefix);
    if (wcsncmp(text, kPhonePathPrefix, prefixLength) != 0)
        return false;
    const wchar_t* rest = text + prefixLength;
    const size_t deviceLength = wcslen(device);
    if (wcsncmp(rest, device, deviceLength) != 0)
        return false;
    return rest[deviceLength] == L'\0' || rest[deviceLength] == L'\\';
}

template <size_t Width> bool CopyWhole(wchar_t (&field)[Width], const std::wstring& text)
{
    if (text.size() >= Width)
        return false;
    wmemcpy(field, text.c_str(), text.size() + 1);
    return true;
}

void NotifyShell(LONG event, UINT flags, const wchar_t* alias)
{
    wchar_t root[kPathLength];
    GetNamespaceRoot(root, kPathLength);
    std::wstring path = root;
    path += L'\\';
    path += alias;
    SHChangeNotify(event, flags, path.c_str(), nullptr);
}

bool IsSupportedModel(const wchar_t* imei)
{
    std::unique_ptr<CDeviceInfoReader> reader = OpenDeviceInfoReader();
    if (!reader)
        return false;
    const wchar_t* model = reader->GetModel(imei);
    if (!model || !*model)
        return false;
    const std::wstring modelName(model, wcsnlen(model, kModelNameLength));
    const wchar_t* list = reader->GetModelList(kSupportedProduct);
    for (; list && *list; list += wcslen(list) + 1) {
        if (_wcsicmp(list, modelName.c_str()) == 0)
            return true;
    }
    return false;
}

bool HoldsFile(const std::wstring& folder, const wchar_t* name)
{
    const DWORD attributes = GetFileAttributesW((folder + L"\\" + name).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool IsMissing(HRESULT read)
{
    return read == HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND) || read == HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND);
}

std::wstring WithoutTrailingBackslash(std::wstring path)
{
    paths::TrimTrailingBackslashes(path);
    return path;
}

// The absolute form of a path, without "." and ".." or a trailing backslash;
// empty when there is none.
std::wstring FullPath(const wchar_t* path)
{
    if (!path || !*path)
        return {};
    const DWORD length = GetFullPathNameW(path, 0, nullptr, nullptr);
    if (length == 0)
        return {};
    std::wstring full(length, L'\0');
    const DWORD written = GetFullPathNameW(path, length, &full[0], nullptr);
    if (written == 0 || written >= length)
        return {};
    full.resize(written);
    return WithoutTrailingBackslash(std::move(full));
}

} // namespace

HRESULT MakeMapping(const wchar_t* mirrorRoot, const wchar_t* alias, DeviceMapping& row)
{
    row = DeviceMapping{};
    if (!alias || !*alias || !mirrorRoot)
        return E_INVALIDARG;
    const std::wstring pcFolder = paths::Join(mirrorRoot, alias);
    DeviceMapping made{};
    if (!CopyWhole(made.PCFolder, pcFolder) || !CopyWhole(made.VFSFolder, kPhonePathPrefix + std::wstring(alias)) ||
        !CopyWhole(made.device, alias))
        return kPathTooLong;
    row = made;
    return S_OK;
}

HRESULT DeviceMappingTable::OnDeviceConnected(const wchar_t* imei, const wchar_t* alias)
{
    QTRACE(L"(): alias = %ls\n", alias ? alias : L"");
    if (!alias || !*alias)
        return E_INVALIDARG;
    wchar_t imeiText[kPathLength] = {};
    if (imei)
        wcsncpy(imeiText, imei, kPathLength - 1);
    if (!IsSupportedModel(imeiText)) {
        QTRACE(L"(): phone %ls is no supported model\n", alias);
        return E_FAIL;
    }

    ReadMirrorRoot();
    // Without a mirror root the folder would land in the current drive's root.
    if (!MirrorRoot()[0]) {
        QTRACE(L"(): no mirror root\n");
        return E_FAIL;
    }
    DeviceMapping row;
    HRESULT hr = MakeMapping(MirrorRoot(), alias, row);
    if (FAILED(hr)) {
        QTRACE(L"(): no mirror folder for %ls: 0x%X\n", alias, hr);
        return hr;
    }
    AppendMapping(row);

    QTRACE(L"(): Creating folder %ls\n", row.PCFolder);
    if (!CreateDirectoryW(row.PCFolder, nullptr) && GetLastError() != ERROR_ALREADY_EXISTS)
        QTRACE(L"(): Creating mirrored folder failed!\n");
    QTRACE(L"(): Removing system attribute from folder %ls\n", row.PCFolder);
    if (!SetFileAttributesW(row.PCFolder, FILE_ATTRIBUTE_NORMAL))
        return S_OK;
    ShowSyncFolders(row.PCFolder, imeiText);
    NotifyShell(SHCNE_MKDIR, SHCNF_PATHW | SHCNF_FLUSH, alias);
    return S_OK;
}

void DeviceMappingTable::ShowSyncFolders(const wchar_t* pcFolder, const wchar_t* imei)
{
    const std::wstring folder = pcFolder;
    WIN32_FIND_DATAW found;
    unique_find find(FindFirstFileW((folder + L"\\*.*").c_str(), &found));
    if (!find)
        return;
    bool syncRead = false;
    int sync = -1;
    do {
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) || wcscmp(found.cFileName, L".") == 0 ||
            wcscmp(found.cFileName, L"..") == 0)
            continue;
        const std::wstring path = folder + L"\\" + found.cFileName;
        // The retries wait for a description another program is still writing;
        // a folder without one is ordinary at once.
        const int attempts = HoldsFile(path, kFolderDescriptionFile) ? kClassIdAttempts : 1;
        GUID clsid;
        HRESULT hr = E_FAIL;
        for (int attempt = 0; attempt < attempts; ++attempt) {
            hr = GetClassIdFromFolderXml(path.c_str(), &clsid);
            if (SUCCEEDED(hr))
                break;
            Sleep(kClassIdRetryMs);
        }
        if (FAILED(hr)) {
            QTRACE(L"(): GetClassIdFromFolderXml() failed\n");
            continue;
        }
        if (!syncRead) {
            sync = GetModelNumber(imei, kSyncModelKey);
            syncRead = true;
        }
        GUID contacts;
        GUID messages;
        ParseGuidText(kContactsFolderClsid, &contacts);
        ParseGuidText(kMessageFolderClsid, &messages);
        const bool shown = (IsEqualGUID(clsid, contacts) && (sync & kSyncContacts)) ||
                           (IsEqualGUID(clsid, messages) && (sync & (kSyncTextMessages | kSyncMultimediaMessages)));
        if (shown) {
            SetFolderAttributesRecursively(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        } else {
            const DWORD attributes = GetFileAttributesW(path.c_str());
            if (attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_SYSTEM))
                SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
        }
    } while (FindNextFileW(find.get(), &found));
}

HRESULT DeviceMappingTable::OnDeviceDisconnected(const wchar_t* /*imei*/, const wchar_t* alias)
{
    const DeviceMapping row = FindMappingByDevice(alias ? alias : L"");
    if (!row.PCFolder[0]) {
        QTRACE(L"(): mapping for device %ls not found\n", alias ? alias : L"");
        return S_OK;
    }
    NotifyShell(SHCNE_DRIVEREMOVED, SHCNF_PATHW, row.device);
    QTRACE(L"(): Setting system attribute to folder %ls\n", row.PCFolder);
    SetFileAttributesW(row.PCFolder, FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
    EmptyDirectory(row.PCFolder, kEmptyRecursive | kEmptyFolderShortcuts | kEmptyAllFiles);
    RemoveMapping(row);
    return S_OK;
}

DeviceMapping DeviceMappingTable::FindMappingForPC(const wchar_t* pcPath) const
{
    if (!pcPath || !*pcPath)
        return DeviceMapping{};
    const size_t pathLength = LengthWithoutTrailingBackslash(pcPath);
    DeviceMapping found{};
    {
        critical_section_lock hold(lock_);
        for (const DeviceMapping& row : rows_) {
            if (SamePathPrefix(pcPath, pathLength, row.PCFolder, LengthWithoutTrailingBackslash(row.PCFolder))) {
                found = row;
                break;
            }
        }
    }
    if (found.empty())
        return found;
    // Items inside a folder with its own description (the synchronisation
    // folders) are not phone items.
    std::wstring parent(pcPath, pathLength);
    const size_t slash = parent.find_last_of(L'\\');
    parent.resize(slash == std::wstring::npos ? 0 : slash);
    if (!parent.empty() && HoldsFile(parent, kFolderDescriptionFile))
        return DeviceMapping{};
    return found;
}

DeviceMapping DeviceMappingTable::FindMappingByDevice(const wchar_t* text) const
{
    if (!text)
        return DeviceMapping{};
    critical_section_lock hold(lock_);
    for (const DeviceMapping& row : rows_) {
        if (TextNamesDevice(text, row.device))
            return row;
    }
    return DeviceMapping{};
}

void DeviceMappingTable::AppendMapping(const DeviceMapping& row)
{
    critical_section_lock hold(lock_);
    rows_.push_back(row);
    QTRACE(L"(): Mappings:\n");
    for (size_t i = 0; i < rows_.size(); ++i)
        QTRACE(L"(): %d: device = %ls, PCFolder = %ls, VFSFolder = %ls\n", static_cast<int>(i), rows_[i].device,
               rows_[i].PCFolder, rows_[i].VFSFolder);
}

void DeviceMappingTable::RemoveMapping(const DeviceMapping& row)
{
    critical_section_lock hold(lock_);
    for (auto it = rows_.begin(); it != rows_.end(); ++it) {
        if (wcscmp(it->device, row.device) == 0) {
            rows_.erase(it);
            return;
        }
    }
}

std::vector<std::wstring> DeviceMappingTable::Aliases() const
{
    std::vector<std::wstring> aliases;
    critical_section_lock hold(lock_);
    for (const DeviceMapping& row : rows_)
        aliases.push_back(row.device);
    return aliases;
}

HRESULT DeviceMappingTable::ConvertPCNameToVFSName(const wchar_t* pcPath, std::wstring& phonePath) const
{
    phonePath.clear();
    HRESULT hr = [&]() -> HRESULT {
        const DeviceMapping row = FindMappingForPC(pcPath);
        if (row.empty())
            return S_OK;
        const std::wstring path = WithoutTrailingBackslash(pcPath);
        std::wstring walk = WithoutTrailingBackslash(row.PCFolder);
        std::wstring result = row.VFSFolder;

        // The mapping's own folder is the alias already in the result.
        size_t position = walk.size();
        while (position < path.size()) {
            while (position < path.size() && path[position] == L'\\')
                ++position;
            if (position >= path.size())
                break;
            size_t end = path.find(L'\\', position);
            if (end == std::wstring::npos)
                end = path.size();
            const std::wstring component = path.substr(position, end - position);
            const bool last = end == path.size();
            position = end;
            walk += L'\\';
            walk += component;

            if (!paths::IsDirectory(walk)) {
                if (last && shortcut::IsShortcutFile(path.c_str())) {
                    std::wstring name;
                    const HRESULT read = shortcut::ReadShortcutName(path, name);
                    if (SUCCEEDED(read)) {
                        result += L'\\';
                        result += name;
                    } else if (!IsMissing(read)) {
                        // Its folder's path would make the phone act on the folder.
                        QTRACE(L"(): shortcut %ls cannot be read: 0x%X\n", path.c_str(), read);
                        return read;
                    }
                    // A shortcut that is not there contributes nothing.
                } else {
                    result += L'\\';
                    result += component;
                }
            } else {
                const std::wstring folderShortcut = walk + L"\\" + shortcut::kFolderShortcutName;
                std::wstring name;
                const HRESULT read = shortcut::ReadShortcutName(folderShortcut, name);
                if (SUCCEEDED(read)) {
                    if (result.empty() || result.back() != L'\\')
                        result += L'\\';
                    result += name;
                } else if (IsMissing(read) || read == shortcut::kShortcutNamesNothing) {
                    // A folder without a usable folder shortcut is named as on the PC.
                    result += L'\\';
                    result += component;
                } else {
                    // There but unreadable (locked, too large): its PC name may not be its phone name.
                    QTRACE(L"(): folder shortcut %ls cannot be read: 0x%X\n", folderShortcut.c_str(), read);
                    return read;
                }
            }
            // Cut paths would name another phone item: refuse them instead.
            if (result.size() >= kPathLength) {
                QTRACE(L"(): phone path of %ls too long\n", pcPath);
                return kPathTooLong;
            }
        }
        const size_t extensionLength = wcslen(shortcut::kShortcutExtension);
        if (result.size() > extensionLength &&
            result.compare(result.size() - extensionLength, extensionLength, shortcut::kShortcutExtension) == 0)
            result.resize(result.size() - extensionLength);
        phonePath = std::move(result);
        return S_OK;
    }();
    if (FAILED(hr))
        phonePath.clear();
    return hr;
}

bool IsBelowFolder(const std::wstring& path, const std::wstring& folder)
{
    const std::wstring base = WithoutTrailingBackslash(folder);
    return path.size() > base.size() && SamePathPrefix(path.c_str(), path.size(), base.c_str(), base.size());
}

bool IsBelowMirrorRoot(const wchar_t* pcPath)
{
    if (!pcPath || !*pcPath)
        return false;
    ReadMirrorRoot();
    const std::wstring root = FullPath(MirrorRoot());
    return !root.empty() && IsBelowFolder(FullPath(pcPath), root);
}

bool FindPhoneRootFolder(const wchar_t* pcPath, std::wstring& phoneRootFolder)
{
    phoneRootFolder.clear();
    if (!pcPath || !*pcPath)
        return false;
    // "." and ".." resolved first: a path must not walk out of the mirror root unseen.
    std::wstring folder = FullPath(pcPath);
    if (!paths::IsDirectory(folder))
        folder = paths::Parent(folder);
    ReadMirrorRoot();
    const std::wstring root = FullPath(MirrorRoot());
    if (root.empty())
        return false;
    // Only folders below the mirror root are phones' mirror folders, whatever
    // else holds a file of that name.
    for (; IsBelowFolder(folder, root); folder = paths::Parent(folder)) {
        if (HoldsFile(folder, kImeiFileName)) {
            if (folder.size() >= kPathLength)
                return false;
            phoneRootFolder = folder;
            return true;
        }
    }
    return false;
}

} // namespace mirror
