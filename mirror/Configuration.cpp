#include "Configuration.h"

#include "XmlFile.h"
#include "common/ErrorFlow.h"
#include "common/ExecutablePath.h"
#include "common/FileTree.h"
#include "common/Paths.h"
#include "common/Registry.h"
#include "common/Resource.h"
#include "common/Trace.h"
#include "phone/DeviceInfoReader.h"

#include <rpc.h>
#include <shlwapi.h>

#include <cwchar>
#include <new>

namespace mirror {
namespace {

// The vendor name is read again by every main object and read by any thread.
SRWLOCK g_vendorNameLock = SRWLOCK_INIT;
wchar_t g_vendorName[kVendorNameLength];
wchar_t g_mirrorRoot[kPathLength];

using GetDravoFunction = const wchar_t*(WINAPI*)();

void CopyCut(wchar_t* target, size_t length, const wchar_t* source)
{
    wcsncpy(target, source, length - 1);
    target[length - 1] = L'\0';
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
    SetVendorName(name);
    QTRACE(L"ReadVendorName(): %ls\n", name);
}

std::wstring VendorName()
{
    {
        AcquireSRWLockShared(&g_vendorNameLock);
        std::wstring name = g_vendorName;
        ReleaseSRWLockShared(&g_vendorNameLock);
        if (!name.empty())
            return name;
    }
    ReadVendorName();
    AcquireSRWLockShared(&g_vendorNameLock);
    std::wstring name = g_vendorName;
    ReleaseSRWLockShared(&g_vendorNameLock);
    return name;
}

void SetVendorName(const wchar_t* name)
{
    AcquireSRWLockExclusive(&g_vendorNameLock);
    CopyCut(g_vendorName, kVendorNameLength, name && *name ? name : kDefaultVendorName);
    ReleaseSRWLockExclusive(&g_vendorNameLock);
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

void ResetConfigurationForTesting()
{
    AcquireSRWLockExclusive(&g_vendorNameLock);
    g_vendorName[0] = L'\0';
    ReleaseSRWLockExclusive(&g_vendorNameLock);
    g_mirrorRoot[0] = L'\0';
    SetExecutablePathForTesting({});
}

// --- Folder descriptions and special folders -----------------------------

HRESULT FindFolderDescription(const wchar_t* path, std::wstring& descriptionPath)
{
    descriptionPath.clear();
    if (!path || !*path || IsMirrorRoot(path))
        return E_FAIL;
    std::wstring folder = path;
    paths::TrimTrailingBackslashes(folder);
    for (;;) {
        std::wstring candidate = paths::Join(folder, kFolderDescriptionFile);
        if (paths::IsFile(candidate)) {
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
        {contract::kContacts, kContactsFolderClsid, kSpecialContacts},
        {contract::kMultimediaMessages, kMessageFolderClsid, kSpecialMultimediaMessages},
        {contract::kTextMessages, kMessageFolderClsid, kSpecialTextMessages},
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
    unique_find find(FindFirstFileW(paths::Join(folder, L"*.*").c_str(), &data));
    if (find) {
        do {
            if (!wcscmp(data.cFileName, L".") || !wcscmp(data.cFileName, L".."))
                continue;
            if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                SetFolderAttributesRecursively(paths::Join(folder, data.cFileName).c_str(), attributes);
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

void RemoveScratchFolders()
{
    std::wstring temp = TempFolder();
    if (temp.empty())
        return;
    WIN32_FIND_DATAW data;
    unique_find find(FindFirstFileW((paths::Join(temp, kScratchFolderPrefix) + L"*").c_str(), &data));
    if (!find)
        return;
    do {
        if (!wcscmp(data.cFileName, L".") || !wcscmp(data.cFileName, L".."))
            continue;
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            RemoveFolderTree(paths::Join(temp, data.cFileName));
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
    std::vector<wchar_t> built;
    built.reserve(total + 1);
    for (const std::wstring& path : paths) {
        built.insert(built.end(), path.begin(), path.end());
        built.push_back(L'\0');
    }
    built.push_back(L'\0');
    list.swap(built);
    return S_OK;
}

std::unique_ptr<CDeviceInfoReader> OpenDeviceInfoReader()
{
    const std::wstring vendor = VendorName();
    if (vendor != kDefaultVendorName)
        return std::unique_ptr<CDeviceInfoReader>(new (std::nothrow) CDeviceInfoReader(vendor.c_str(), true));
    return std::unique_ptr<CDeviceInfoReader>(new (std::nothrow) CDeviceInfoReader(true));
}

bool GetModelValue(const wchar_t* device, const wchar_t* key, wchar_t* value, size_t length)
{
    if (!value || length == 0)
        return false;
    value[0] = L'\0';
    std::unique_ptr<CDeviceInfoReader> reader = OpenDeviceInfoReader();
    if (!reader)
        return false;
    const wchar_t* model = reader->GetModel(device);
    if (!model || !*model)
        return false;
    wchar_t modelName[32];
    wcsncpy(modelName, model, 31);
    modelName[31] = L'\0';
    const wchar_t* answer = reader->GetModelValue(modelName, key);
    if (!answer || !*answer)
        return false;
    wcsncpy(value, answer, length - 1);
    value[length - 1] = L'\0';
    return true;
}

int GetModelNumber(const wchar_t* device, const wchar_t* key)
{
    wchar_t value[32];
    if (!GetModelValue(device, key, value, 32))
        return -1;
    return _wtoi(value);
}

} // namespace mirror
