#include "ShortcutFiles.h"

#include "PcItemNames.h"
#include "VFSShortcut.h"
#include "common/ErrorFlow.h"
#include "common/Paths.h"
#include "common/Resource.h"
#include "common/Trace.h"
#include "localisation/PredefinedFolders.h"

#include <shlwapi.h>

#include <cwchar>
#include <new>

namespace shortcut {

HRESULT FillShortcut(VFSShortcut& shortcut, const phone::VFSItem& item)
{
    HRESULT hr = shortcut.put_Name(item.phoneName);
    if (SUCCEEDED(hr))
        hr = shortcut.put_Label(item.label);
    if (SUCCEEDED(hr))
        hr = shortcut.put_Modified(item.modified);
    if (SUCCEEDED(hr))
        hr = shortcut.put_Created(item.created);
    if (SUCCEEDED(hr))
        hr = shortcut.put_Size(item.size);
    if (SUCCEEDED(hr))
        hr = shortcut.put_UserPerm(item.userPerm);
    if (SUCCEEDED(hr))
        hr = shortcut.put_MemType(item.memType);
    if (SUCCEEDED(hr))
        hr = shortcut.put_MimeType(item.mimeType);
    return hr;
}

namespace {

HRESULT WriteShortcut(const std::wstring& path, const phone::VFSItem& item)
{
    VFSShortcut shortcut;
    HRESULT hr = FillShortcut(shortcut, item);
    if (SUCCEEDED(hr))
        hr = shortcut.Save(path);
    return hr;
}

template <size_t Width>
HRESULT ReadText(const VFSShortcut& shortcut, HRESULT (VFSShortcut::*getter)(BSTR*) const, wchar_t (&field)[Width])
{
    unique_bstr value;
    HRESULT hr = (shortcut.*getter)(value.put());
    if (SUCCEEDED(hr))
        phone::CopyField(field, value.c_str());
    return hr;
}

} // namespace

HRESULT CreateShortcutFile(const std::wstring& pcFolder, const phone::VFSItem& item)
{
    std::wstring pcPath;
    HRESULT hr = MakePcItemPath(pcFolder, item.phoneName, std::wstring(), true, pcPath);
    const std::wstring shortcutPath = pcPath + kShortcutExtension;
    if (SUCCEEDED(hr))
        hr = WriteShortcut(shortcutPath, item);
    if (FAILED(hr))
        QTRACE(L"(): Saving shortcut file (%ls) failed: HRESULT = 0x%X\n", shortcutPath.c_str(), hr);
    return hr;
}

HRESULT CreateFolderShortcut(const std::wstring& pcFolder, const phone::VFSItem& item)
{
    const std::wstring path = paths::Join(pcFolder, kFolderShortcutName);
    if (path.size() >= MAX_PATH) {
        QTRACE(L"(): Saving shortcut file (%ls) failed: path too long\n", path.c_str());
        return kPathTooLong;
    }
    const HRESULT hr = WriteShortcut(path, item);
    if (FAILED(hr))
        QTRACE(L"(): Saving shortcut file (%ls) failed: HRESULT = 0x%X\n", path.c_str(), hr);
    if (!SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM))
        QTRACE(L"(): Setting attributes to %ls failed!\n", path.c_str());
    return hr;
}

phone::VFSItem GetShortcutDetails(const std::wstring& path)
{
    phone::VFSItem item{};
    HRESULT loaded = [&]() -> HRESULT {
        VFSShortcut shortcut;
        HRESULT hr = shortcut.Load(path);
        phone::VFSItem read{};
        if (SUCCEEDED(hr))
            hr = ReadText(shortcut, &VFSShortcut::get_Name, read.phoneName);
        if (SUCCEEDED(hr))
            hr = ReadText(shortcut, &VFSShortcut::get_Label, read.label);
        if (SUCCEEDED(hr))
            hr = ReadText(shortcut, &VFSShortcut::get_MemType, read.memType);
        if (SUCCEEDED(hr))
            hr = ReadText(shortcut, &VFSShortcut::get_MimeType, read.mimeType);
        if (SUCCEEDED(hr))
            hr = shortcut.get_Modified(&read.modified);
        if (SUCCEEDED(hr))
            hr = shortcut.get_Created(&read.created);
        if (SUCCEEDED(hr))
            hr = shortcut.get_Size(&read.size);
        if (SUCCEEDED(hr))
            hr = ReadText(shortcut, &VFSShortcut::get_UserPerm, read.userPerm);
        if (SUCCEEDED(hr))
            item = read;
        return hr;
    }();
    if (FAILED(loaded))
        QTRACE(L"(): Loading shortcut szFilename (%ls) failed: HRESULT = 0x%X\n", path.c_str(), loaded);
    (void)loaded;
    return item;
}

HRESULT ReadShortcutName(const std::wstring& path, std::wstring& name)
{
    name.clear();
    VFSShortcut shortcut;
    RETURN_IF_FAILED(shortcut.Read(path));
    unique_bstr value;
    RETURN_IF_FAILED(shortcut.get_Name(value.put()));
    const std::wstring read = value.c_str();
    // Anything else would lead the phone path out of the item's own folder.
    if (read.empty() || read == L"." || read == L".." || read.find(L'\\') != std::wstring::npos) {
        QTRACE(L"(): %ls names no phone item\n", path.c_str());
        return kShortcutNamesNothing;
    }
    name = read;
    return S_OK;
}

HRESULT MapPredefinedFolderName(const std::wstring& phoneFolderPath, std::wstring& mapped)
{
    HRESULT hr = [&]() -> HRESULT {
        mapped = phoneFolderPath;
        std::wstring path = phoneFolderPath;
        paths::TrimOneTrailingBackslash(path);
        const size_t nameStart = static_cast<size_t>(PathFindFileNameW(path.c_str()) - path.c_str());
        const std::optional<std::wstring> displayName = localisation::DisplayNameForToken(path.c_str() + nameStart);
        if (!displayName)
            return mapped.size() < MAX_PATH ? S_OK : kPathTooLong;

        std::wstring parent = path.substr(0, nameStart);
        if (!parent.empty() && parent.back() != L'\\')
            parent += L'\\';
        mapped = parent + *displayName;
        return mapped.size() < MAX_PATH ? S_OK : kPathTooLong;
    }();
    if (FAILED(hr))
        mapped.clear();
    return hr;
}

void SetFolderShortcutAttributes(const std::wstring& pcFolder, bool hide)
{
    if (!paths::IsDirectory(pcFolder))
        return;
    std::wstring folder = pcFolder;
    paths::TrimOneTrailingBackslash(folder);
    WIN32_FIND_DATAW found;
    unique_find find(FindFirstFileW((folder + L"\\*.*").c_str(), &found));
    if (!find)
        return;
    do {
        if (wcscmp(found.cFileName, L".") == 0 || wcscmp(found.cFileName, L"..") == 0)
            continue;
        const std::wstring path = folder + L"\\" + found.cFileName;
        if (path.size() >= MAX_PATH)
            continue;
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            // A link may lead back up the tree; the path limit ends such a walk anyway.
            SetFolderShortcutAttributes(path, hide);
        } else if (IsFolderShortcut(path.c_str())) {
            SetFileAttributesW(path.c_str(),
                               hide ? FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM : FILE_ATTRIBUTE_NORMAL);
        }
    } while (FindNextFileW(find.get(), &found));
}

HRESULT ReadShortcutMemType(const wchar_t* path, wchar_t* buffer, DWORD bufferLength)
{
    if (!buffer || bufferLength == 0)
        return E_INVALIDARG;
    buffer[0] = L'\0';
    if (!path || !*path)
        return E_FAIL;
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (GetFileAttributesExW(path, GetFileExInfoStandard, &data) &&
        (data.nFileSizeHigh || data.nFileSizeLow > kMaxShortcutFileBytes)) {
        QTRACE(L"(): %ls is no shortcut file (size)\n", path);
        return E_FAIL;
    }
    const DWORD copied = GetPrivateProfileStringW(kShortcutSection, kMemTypeKey, L"", buffer, bufferLength, path);
    return copied > 0 ? S_OK : E_FAIL;
}

bool IsShortcutFile(const wchar_t* path)
{
    return path && wcsstr(path, kShortcutExtension) != nullptr;
}

bool IsFolderShortcut(const wchar_t* path)
{
    return path && wcsstr(path, kFolderShortcutName) != nullptr;
}

} // namespace shortcut
