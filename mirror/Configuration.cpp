#include "Configuration.h"

#include "XmlFile.h"
#include "common/FileTree.h"
#include "common/Resource.h"
#include "common/Trace.h"

#include <rpc.h>
#include <shlwapi.h>

#include <cwchar>
#include <new>

namespace mirror {
namespace {

wchar_t g_vendorName[kVendorNameLength];
wchar_t g_mirrorRoot[kPathLength];
std::wstring g_executablePathOverride;

using GetDravoFunction = const wchar_t*(WINAPI*)();

void CopyCut(wchar_t* target, size_t length, const wchar_t* source)
{
    wcsncpy(target, source, length - 1);
    target[length - 1] = L'\0';
}

bool PathExists(const std::wstring& path)
{
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool IsFile(const std::wstring& path)
{
    DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::wstring Child(const std::wstring& folder, const wchar_t* name)
{
    if (folder.empty() || folder.back() == L'\\')
        return folder + name;
    return folder + L"\\" + name;
}

std::wstring TempFolder()
{
    wchar_t temp[MAX_PATH + 1] = {};
    DWORD length = GetTempPathW(MAX_PATH, temp);
    if (length == 0 || length >= MAX_PATH)
        return {};
    return temp;
}

} // namespace

// --- Process-wide values -------------------------------------------------

void ReadVendorName()
{
    wchar_t name[kVendorNameLength] = {};
    std::wstring executable = ExecutablePath();
    unique_hmodule library;
    if (!executable.empty()) {
        size_t slash = executable.find_last_of(L'\\');
        std::wstring folder = slash == std::wstring::npos ? std::wstring() : executable.substr(0, slash + 1);
        library.reset(LoadLibraryW((folder + kVendorLibrary).c_str()));
    } else {
        library.reset(LoadLibraryW(kVendorLibrary));
    }
    if (library) {
        auto getDravo =
            reinterpret_cast<GetDravoFunction>(reinterpret_cast<void*>(GetProcAddress(library.get(), kVendorExport)));
        if (getDravo) {
            if (const wchar_t* reported = getDravo())
                CopyCut(name, kVendorNameLength, reported);
        }
    }
    CopyCut(g_vendorName, kVendorNameLength, name[0] ? name : kDefaultVendorName);
    QTRACE(L"ReadVendorName(): %ls\n", g_vendorName);
}

const wchar_t* VendorName()
{
    if (!g_vendorName[0])
        ReadVendorName();
    return g_vendorName;
}

void SetVendorName(const wchar_t* name)
{
    CopyCut(g_vendorName, kVendorNameLength, name && *name ? name : kDefaultVendorName);
}

LSTATUS ReadMirrorRoot()
{
    if (g_mirrorRoot[0])
        return ERROR_SUCCESS;
    unique_hkey key;
    LSTATUS result = RegOpenKeyExW(HKEY_CURRENT_USER, kDataLayerKey, 0, KEY_READ, key.put());
    if (result != ERROR_SUCCESS) {
        // The first attempt's error stays the result when neither key opens.
        if (RegOpenKeyExW(HKEY_CURRENT_USER, kDataLayerFallbackKey, 0, KEY_READ, key.put()) != ERROR_SUCCESS)
            return result;
    }
    wchar_t root[kPathLength] = {};
    result = ReadRegistryString(key.get(), kMirrorRootValue, root, kPathLength);
    if (result == ERROR_SUCCESS)
        CopyCut(g_mirrorRoot, kPathLength, root);
    return result;
}

const wchar_t* MirrorRoot()
{
    return g_mirrorRoot;
}

bool IsMirrorRoot(const wchar_t* path)
{
    return path && _wcsicmp(path, g_mirrorRoot) == 0;
}

bool IsTraceOn()
{
    unique_hkey key;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, kTraceKey, 0, KEY_READ, key.put()) != ERROR_SUCCESS)
        return false;
    // Three characters with the terminator: a longer value does not fit and is off.
    wchar_t text[3] = {};
    if (ReadRegistryString(key.get(), kTraceValue, text, 3) != ERROR_SUCCESS)
        return false;
    return text[0] && wcscmp(text, L"0") != 0;
}

std::wstring ExecutablePath()
{
    if (!g_executablePathOverride.empty())
        return g_executablePathOverride;
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        DWORD length = GetModuleFileNameW(nullptr, &path[0], static_cast<DWORD>(path.size()));
        if (length == 0)
            return {};
        if (length < path.size()) {
            path.resize(length);
            return path;
        }
        path.resize(path.size() * 2);
    }
}

void SetExecutablePathForTesting(const std::wstring& path)
{
    g_executablePathOverride = path;
}

void ResetConfigurationForTesting()
{
    g_vendorName[0] = L'\0';
    g_mirrorRoot[0] = L'\0';
    g_executablePathOverride.clear();
}

LSTATUS ReadRegistryString(HKEY key, const wchar_t* name, wchar_t* buffer, DWORD length)
{
    if (!buffer || length == 0)
        return ERROR_INVALID_PARAMETER;
    buffer[0] = L'\0';
    std::vector<wchar_t> data(length + 1, L'\0');
    DWORD type = 0;
    DWORD bytes = length * sizeof(wchar_t);
    LSTATUS result = RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &bytes);
    if (result != ERROR_SUCCESS)
        return result;
    if (type != REG_SZ && type != REG_EXPAND_SZ)
        return ERROR_INVALID_DATATYPE;
    size_t characters = bytes / sizeof(wchar_t);
    // Stored without its terminator, a value of `length` characters still does not fit.
    if (characters == length && data[length - 1] != L'\0')
        return ERROR_MORE_DATA;
    CopyCut(buffer, length, data.data());
    return ERROR_SUCCESS;
}

// --- Folder descriptions and special folders -----------------------------

HRESULT FindFolderDescription(const wchar_t* path, std::wstring& descriptionPath)
{
    descriptionPath.clear();
    if (!path || !*path || IsMirrorRoot(path))
        return E_FAIL;
    std::wstring folder = path;
    while (!folder.empty() && folder.back() == L'\\')
        folder.pop_back();
    for (;;) {
        std::wstring candidate = Child(folder, kFolderDescriptionFile);
        if (IsFile(candidate)) {
            descriptionPath = candidate;
            return S_OK;
        }
        size_t slash = folder.find_last_of(L'\\');
        if (slash == std::wstring::npos)
            return E_FAIL;
        folder.resize(slash);
        if (folder.empty() || IsMirrorRoot(folder.c_str()))
            return E_FAIL;
    }
}

HRESULT GetClassIdFromFolderXml(const wchar_t* path, GUID* clsid)
{
    if (!path || !clsid)
        return E_INVALIDARG;
    std::wstring description;
    if (FAILED(FindFolderDescription(path, description)))
        return E_FAIL;
    CXmlFile file(description.c_str());
    wchar_t text[kPathLength] = {};
    if (file.SelectElement(L"CLSID") != 0 || file.GetText(L"CLSID", text, kPathLength) != 0)
        return E_FAIL;
    // UuidFromStringW takes the GUID without braces, so a braced one is refused.
    GUID parsed;
    if (UuidFromStringW(reinterpret_cast<RPC_WSTR>(text), &parsed) != RPC_S_OK)
        return E_FAIL;
    *clsid = parsed;
    return S_OK;
}

RPC_STATUS ParseGuidText(const wchar_t* text, GUID* guid)
{
    if (!text || !guid)
        return RPC_S_INVALID_ARG;
    std::wstring bare = text;
    if (!bare.empty() && bare.front() == L'{') {
        bare.erase(0, 1);
        if (!bare.empty() && bare.back() == L'}')
            bare.pop_back();
    }
    return UuidFromStringW(reinterpret_cast<RPC_WSTR>(&bare[0]), guid);
}

bool IsSpecialFolder(const wchar_t* folderName, REFCLSID clsid, DWORD kinds)
{
    struct SpecialFolder {
        const wchar_t* name;
        const wchar_t* clsid;
        DWORD kind;
    };
    static const SpecialFolder folders[] = {
        {L"Contacts", kContactsFolderClsid, kSpecialContacts},
        {L"Multimedia Messages", kMessageFolderClsid, kSpecialMultimediaMessages},
        {L"Text Messages", kMessageFolderClsid, kSpecialTextMessages},
    };
    if (!folderName)
        return false;
    for (const SpecialFolder& folder : folders) {
        if (!(kinds & folder.kind) || _wcsicmp(folderName, folder.name) != 0)
            continue;
        GUID expected;
        RPC_STATUS status = RPC_S_OK;
        if (ParseGuidText(folder.clsid, &expected) != RPC_S_OK)
            continue;
        if (UuidCompare(const_cast<GUID*>(&clsid), &expected, &status) == 0 && status == RPC_S_OK)
            return true;
    }
    return false;
}

void GetNamespaceRoot(wchar_t* buffer, size_t length)
{
    if (!buffer || length == 0)
        return;
    CopyCut(buffer, length, kMyComputerParsingPath);
    size_t used = wcslen(buffer);
    CopyCut(buffer + used, length - used, kNamespaceClsid);
}

void SetFolderAttributesRecursively(const wchar_t* folder, DWORD attributes)
{
    if (!folder || !*folder)
        return;
    WIN32_FIND_DATAW data;
    unique_find find(FindFirstFileW(Child(folder, L"*.*").c_str(), &data));
    if (find) {
        do {
            if (!wcscmp(data.cFileName, L".") || !wcscmp(data.cFileName, L".."))
                continue;
            if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                SetFolderAttributesRecursively(Child(folder, data.cFileName).c_str(), attributes);
        } while (FindNextFileW(find.get(), &data));
    }
    find.reset();
    DWORD current = GetFileAttributesW(folder);
    if (current != INVALID_FILE_ATTRIBUTES && !(current & attributes)) {
        if (!SetFileAttributesW(folder, attributes))
            trace::Debugger(L"SetFolderAttributesRecursively(): Setting attributes failed!\n");
    }
}

// --- Scratch folders -----------------------------------------------------

HRESULT MakeScratchFolder(std::wstring& filePath)
{
    std::wstring temp = TempFolder();
    if (temp.empty())
        return E_FAIL;
    std::wstring base = Child(temp, kScratchFolderPrefix);
    std::wstring candidate;
    for (unsigned n = 0;; ++n) {
        candidate = base + std::to_wstring(n);
        if (!PathExists(candidate))
            break;
    }
    size_t slash = filePath.find_last_of(L"\\/");
    std::wstring fileName = slash == std::wstring::npos ? filePath : filePath.substr(slash + 1);
    std::wstring result = candidate + L"\\" + fileName;
    if (result.size() >= kPathLength)
        return E_FAIL;
    if (!CreateDirectoryW(candidate.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS)
        return HRESULT_FROM_WIN32(GetLastError());
    filePath = result;
    return S_OK;
}

void RemoveScratchFolders()
{
    std::wstring temp = TempFolder();
    if (temp.empty())
        return;
    WIN32_FIND_DATAW data;
    unique_find find(FindFirstFileW((Child(temp, kScratchFolderPrefix) + L"*").c_str(), &data));
    if (!find)
        return;
    do {
        if (!wcscmp(data.cFileName, L".") || !wcscmp(data.cFileName, L".."))
            continue;
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            RemoveFolderTree(Child(temp, data.cFileName));
    } while (FindNextFileW(find.get(), &data));
}

// --- Double-NUL path lists -----------------------------------------------

HRESULT MakePathList(const std::vector<std::wstring>& paths, std::vector<wchar_t>& list)
{
    size_t total = 0;
    for (const std::wstring& path : paths) {
        if (path.empty() || path.find(L'\0') != std::wstring::npos)
            return E_INVALIDARG;
        if (path.size() >= kPathLength)
            return E_FAIL;
        total += path.size() + 1;
    }
    try {
        std::vector<wchar_t> built;
        built.reserve(total + 1);
        for (const std::wstring& path : paths) {
            built.insert(built.end(), path.begin(), path.end());
            built.push_back(L'\0');
        }
        built.push_back(L'\0');
        list.swap(built);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    return S_OK;
}

HRESULT SplitPathList(const wchar_t* list, std::vector<std::wstring>& paths)
{
    if (!list)
        return E_INVALIDARG;
    paths.clear();
    try {
        while (*list) {
            size_t length = wcsnlen(list, kPathLength);
            if (length >= kPathLength)
                return E_FAIL;
            paths.emplace_back(list, length);
            list += length + 1;
        }
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    return S_OK;
}

} // namespace mirror
