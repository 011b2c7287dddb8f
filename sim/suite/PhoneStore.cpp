#include "PhoneStore.h"

#include "IniFile.h"
#include "SuiteErrors.h"
#include "common/FileTree.h"
#include "common/Resource.h"
#include "phone/PhonePath.h"

#include <shlobj.h>
#include <shlwapi.h>

#include <cwchar>
#include <cwctype>

using phone::XmlAttribute;
using phone::XmlCanCarry;
using store_names::EscapeName;
using store_names::EscapeValue;
using store_names::PhonePath;
using store_names::UnescapeName;

namespace {

const wchar_t kRegistryKey[] = L"Software\\SimPhoneSuite";
const wchar_t kRegistryStoreValue[] = L"Store";
const wchar_t kDefaultStoreName[] = L"PhoneStore";
const wchar_t kPhoneSettings[] = L"phone.ini";
const wchar_t kSuiteSettings[] = L"suite.ini";
const wchar_t kPhoneSection[] = L"Phone";
const wchar_t kMemorySectionPrefix[] = L"Memory ";
const wchar_t kModelSectionPrefix[] = L"Model ";
const wchar_t kProductsSection[] = L"Products";
const wchar_t kDefaultProduct[] = L"Ostrelle";
const wchar_t kDefaultModels[] = L"OS-100,OS-200,OS-300";
const wchar_t kDefaultSyncKey[] = L"Ostrelle_Sync";
const wchar_t kDefaultSyncValue[] = L"25";
// Escaped names never hold a '%' without two hex digits, so no phone name ends so.
const wchar_t kScratchSuffix[] = L"%new";

bool IsScratchName(const std::wstring& name)
{
    size_t length = wcslen(kScratchSuffix);
    return name.size() >= length && name.compare(name.size() - length, length, kScratchSuffix) == 0;
}

std::wstring MemoryFolderName(wchar_t drive)
{
    return std::wstring(L"mem-") + drive;
}

HRESULT CheckLength(const std::wstring& path)
{
    return path.size() < MAX_PATH ? S_OK : suite_error::BadPath;
}

std::wstring MimeType(const std::wstring& name)
{
    static const wchar_t* const types[][2] = {
        {L".jpg", L"image/jpeg"}, {L".jpeg", L"image/jpeg"}, {L".png", L"image/png"},  {L".gif", L"image/gif"},
        {L".bmp", L"image/bmp"},  {L".mp3", L"audio/mpeg"},  {L".amr", L"audio/amr"},  {L".wav", L"audio/x-wav"},
        {L".3gp", L"video/3gpp"}, {L".mp4", L"video/mp4"},   {L".txt", L"text/plain"}, {L".vcf", L"text/x-vcard"},
    };
    size_t dot = name.rfind(L'.');
    if (dot != std::wstring::npos) {
        for (const auto& type : types) {
            if (_wcsicmp(name.c_str() + dot, type[0]) == 0)
                return type[1];
        }
    }
    return L"application/octet-stream";
}

HRESULT LastError()
{
    DWORD error = GetLastError();
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND)
        return suite_error::NotFound;
    if (error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS)
        return suite_error::AlreadyExists;
    return suite_error::StoreFailure;
}

HRESULT FolderSize(const std::wstring& folder, unsigned long long& total)
{
    WIN32_FIND_DATAW data;
    unique_find find(FindFirstFileW((folder + L"\\*").c_str(), &data));
    if (!find)
        return S_OK;
    do {
        if (wcscmp(data.cFileName, L".") == 0 || wcscmp(data.cFileName, L"..") == 0)
            continue;
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            FolderSize(folder + L"\\" + data.cFileName, total);
        else
            total += (static_cast<unsigned long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    } while (FindNextFileW(find.get(), &data));
    return S_OK;
}

std::vector<std::wstring> SplitList(const std::wstring& text)
{
    std::vector<std::wstring> items;
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find(L',', start);
        if (end == std::wstring::npos)
            end = text.size();
        std::wstring item = text.substr(start, end - start);
        size_t first = item.find_first_not_of(L' ');
        if (first != std::wstring::npos)
            items.push_back(UnescapeName(item.substr(first, item.find_last_not_of(L' ') - first + 1)));
        start = end + 1;
    }
    return items;
}

} // namespace

const PhoneMemory* PhoneInfo::FindMemory(wchar_t drive) const
{
    for (const PhoneMemory& memory : memories) {
        if (memory.drive == towupper(drive))
            return &memory;
    }
    return nullptr;
}

std::wstring PhoneStore::ConfiguredRoot()
{
    unique_hkey key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kRegistryKey, 0, KEY_READ, key.put()) == ERROR_SUCCESS) {
        wchar_t value[MAX_PATH] = {};
        DWORD size = sizeof(value) - sizeof(wchar_t);
        DWORD type = 0;
        if (RegQueryValueExW(key.get(), kRegistryStoreValue, nullptr, &type, reinterpret_cast<BYTE*>(value), &size) ==
                ERROR_SUCCESS &&
            type == REG_SZ && value[0])
            return value;
    }
    wchar_t program[MAX_PATH];
    DWORD length = GetModuleFileNameW(nullptr, program, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return kDefaultStoreName;
    PathRemoveFileSpecW(program);
    return std::wstring(program) + L"\\" + kDefaultStoreName;
}

HRESULT PhoneStore::Configure(const std::wstring& root)
{
    // Room is left for the phone, memory and item names below the store folder.
    if (root.empty() || root.size() >= MAX_PATH - 60)
        return E_INVALIDARG;
    wchar_t full[MAX_PATH];
    DWORD length = GetFullPathNameW(root.c_str(), MAX_PATH, full, nullptr);
    if (length == 0 || length >= MAX_PATH - 60)
        return E_INVALIDARG;
    int created = SHCreateDirectoryExW(nullptr, full, nullptr);
    if (created != ERROR_SUCCESS && created != ERROR_ALREADY_EXISTS && created != ERROR_FILE_EXISTS)
        return HRESULT_FROM_WIN32(created);
    if (!store_files::IsFolder(full))
        return suite_error::StoreFailure;
    unique_hkey key;
    LONG result =
        RegCreateKeyExW(HKEY_LOCAL_MACHINE, kRegistryKey, 0, nullptr, 0, KEY_WRITE, nullptr, key.put(), nullptr);
    if (result != ERROR_SUCCESS)
        return HRESULT_FROM_WIN32(result);
    result = RegSetValueExW(key.get(), kRegistryStoreValue, 0, REG_SZ, reinterpret_cast<const BYTE*>(full),
                            static_cast<DWORD>((wcslen(full) + 1) * sizeof(wchar_t)));
    return HRESULT_FROM_WIN32(result);
}

std::wstring PhoneStore::PhoneFolder(const std::wstring& alias) const
{
    return root_ + L"\\" + EscapeName(alias);
}

HRESULT PhoneStore::EnsureRoot() const
{
    // A store folder removed behind the suite's back is made anew on the next change.
    if (store_files::IsFolder(root_))
        return S_OK;
    int result = SHCreateDirectoryExW(nullptr, root_.c_str(), nullptr);
    return result == ERROR_SUCCESS || result == ERROR_ALREADY_EXISTS ? S_OK : suite_error::StoreFailure;
}

HRESULT PhoneStore::LoadPhone(const std::wstring& folderName, PhoneInfo& phone) const
{
    std::wstring folder = root_ + L"\\" + folderName;
    std::wstring settingsPath = folder + L"\\" + kPhoneSettings;
    if (!store_files::IsFile(settingsPath))
        return suite_error::NotFound;
    IniFile settings;
    if (!settings.Load(settingsPath))
        return suite_error::StoreFailure;
    phone = PhoneInfo{};
    phone.alias = UnescapeName(folderName);
    phone.imei = UnescapeName(settings.Get(kPhoneSection, L"IMEI"));
    phone.model = UnescapeName(settings.Get(kPhoneSection, L"Model"));
    phone.connected = settings.Get(kPhoneSection, L"Connected") == L"1";
    for (const std::wstring& section : settings.SectionNames()) {
        if (_wcsnicmp(section.c_str(), kMemorySectionPrefix, wcslen(kMemorySectionPrefix)) != 0)
            continue;
        std::wstring drive = section.substr(wcslen(kMemorySectionPrefix));
        if (drive.size() != 1 || !iswalpha(drive[0]))
            continue;
        PhoneMemory memory;
        memory.drive = static_cast<wchar_t>(towupper(drive[0]));
        memory.label = UnescapeName(settings.Get(section, L"Label"));
        memory.memType = UnescapeName(settings.Get(section, L"MemType"));
        memory.quota = wcstoull(settings.Get(section, L"Quota").c_str(), nullptr, 10);
        phone.memories.push_back(memory);
    }
    return S_OK;
}

HRESULT PhoneStore::SavePhone(const PhoneInfo& phone) const
{
    IniFile settings;
    settings.Set(kPhoneSection, L"IMEI", EscapeValue(phone.imei));
    settings.Set(kPhoneSection, L"Model", EscapeValue(phone.model));
    settings.Set(kPhoneSection, L"Connected", phone.connected ? L"1" : L"0");
    for (const PhoneMemory& memory : phone.memories) {
        std::wstring section = kMemorySectionPrefix + std::wstring(1, memory.drive);
        settings.Set(section, L"Label", EscapeValue(memory.label));
        settings.Set(section, L"MemType", EscapeValue(memory.memType));
        settings.Set(section, L"Quota", std::to_wstring(memory.quota));
    }
    std::wstring path = PhoneFolder(phone.alias) + L"\\" + kPhoneSettings;
    if (FAILED(CheckLength(path + L".new")))
        return suite_error::BadPath;
    return settings.Save(path) ? S_OK : suite_error::StoreFailure;
}

HRESULT PhoneStore::ListPhones(std::vector<PhoneInfo>& phones) const
{
    phones.clear();
    WIN32_FIND_DATAW data;
    unique_find find(FindFirstFileW((root_ + L"\\*").c_str(), &data));
    if (!find)
        return S_OK;
    do {
        if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) || wcscmp(data.cFileName, L".") == 0 ||
            wcscmp(data.cFileName, L"..") == 0)
            continue;
        PhoneInfo phone;
        if (SUCCEEDED(LoadPhone(data.cFileName, phone)))
            phones.push_back(phone);
    } while (FindNextFileW(find.get(), &data));
    return S_OK;
}

HRESULT PhoneStore::FindPhone(const std::wstring& alias, PhoneInfo& phone) const
{
    if (alias.empty() || alias.find(L'\\') != std::wstring::npos)
        return suite_error::BadPath;
    std::wstring folderName = EscapeName(alias);
    if (FAILED(CheckLength(root_ + L"\\" + folderName + L"\\" + kPhoneSettings + L".new")))
        return suite_error::BadPath;
    // The folder's own spelling: phone names compare without regard to case.
    WIN32_FIND_DATAW data;
    unique_find find(FindFirstFileW((root_ + L"\\" + folderName).c_str(), &data));
    if (!find || !(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
        return suite_error::NotFound;
    return LoadPhone(data.cFileName, phone);
}

HRESULT PhoneStore::FindPhoneByImei(const std::wstring& imei, PhoneInfo& phone) const
{
    std::vector<PhoneInfo> phones;
    HRESULT hr = ListPhones(phones);
    if (FAILED(hr))
        return hr;
    for (const PhoneInfo& candidate : phones) {
        if (!imei.empty() && candidate.imei == imei) {
            phone = candidate;
            return S_OK;
        }
    }
    return suite_error::NotFound;
}

HRESULT PhoneStore::AddPhone(const std::wstring& alias, const std::wstring& imei, const std::wstring& model)
{
    PhoneInfo phone;
    HRESULT hr = FindPhone(alias, phone);
    if (SUCCEEDED(hr))
        return suite_error::AlreadyExists;
    if (hr != suite_error::NotFound)
        return hr;
    if (imei.empty())
        return E_INVALIDARG;
    if (SUCCEEDED(FindPhoneByImei(imei, phone)))
        return suite_error::AlreadyExists;
    hr = EnsureRoot();
    if (FAILED(hr))
        return hr;
    std::wstring folder = PhoneFolder(alias);
    if (!CreateDirectoryW(folder.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS)
        return suite_error::StoreFailure;
    phone = PhoneInfo{};
    phone.alias = alias;
    phone.imei = imei;
    phone.model = model;
    return SavePhone(phone);
}

HRESULT PhoneStore::AddMemory(const std::wstring& alias, const PhoneMemory& memory)
{
    if (memory.drive > 0x7F || !iswalpha(memory.drive))
        return E_INVALIDARG;
    PhoneInfo phone;
    HRESULT hr = FindPhone(alias, phone);
    if (FAILED(hr))
        return hr;
    PhoneMemory added = memory;
    added.drive = static_cast<wchar_t>(towupper(memory.drive));
    if (phone.FindMemory(added.drive))
        return suite_error::AlreadyExists;
    std::wstring folder = PhoneFolder(alias) + L"\\" + MemoryFolderName(added.drive);
    if (!CreateDirectoryW(folder.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS)
        return suite_error::StoreFailure;
    phone.memories.push_back(added);
    return SavePhone(phone);
}

HRESULT PhoneStore::RemovePhone(const std::wstring& alias)
{
    PhoneInfo phone;
    HRESULT hr = FindPhone(alias, phone);
    if (FAILED(hr))
        return hr;
    RemoveFolderTree(PhoneFolder(alias));
    return store_files::IsFolder(PhoneFolder(alias)) ? suite_error::StoreFailure : S_OK;
}

HRESULT PhoneStore::RenamePhone(const std::wstring& alias, const std::wstring& newAlias, PhoneInfo& phone)
{
    HRESULT hr = FindPhone(alias, phone);
    if (FAILED(hr))
        return hr;
    PhoneInfo existing;
    hr = FindPhone(newAlias, existing);
    if (hr == suite_error::BadPath)
        return hr;
    // A change of case alone is no clash with the phone itself.
    if (SUCCEEDED(hr) && _wcsicmp(existing.alias.c_str(), phone.alias.c_str()) != 0)
        return suite_error::AlreadyExists;
    if (!MoveFileW(PhoneFolder(phone.alias).c_str(), PhoneFolder(newAlias).c_str()))
        return suite_error::StoreFailure;
    phone.alias = newAlias;
    return S_OK;
}

HRESULT PhoneStore::SetConnected(const std::wstring& alias, bool connected, PhoneInfo& phone)
{
    HRESULT hr = FindPhone(alias, phone);
    if (FAILED(hr))
        return hr;
    phone.connected = connected;
    return SavePhone(phone);
}

HRESULT PhoneStore::ItemPath(const PhonePath& path, bool requireConnected, std::wstring& pcPath) const
{
    if (path.level != PhonePath::Level::Memory && path.level != PhonePath::Level::Item)
        return suite_error::BadPath;
    PhoneInfo phone;
    HRESULT hr = FindPhone(path.alias, phone);
    if (FAILED(hr))
        return hr;
    if (requireConnected && !phone.connected)
        return suite_error::NotFound;
    if (!phone.FindMemory(path.drive))
        return suite_error::NotFound;
    pcPath = PhoneFolder(path.alias) + L"\\" + MemoryFolderName(path.drive);
    for (const std::wstring& name : path.names)
        pcPath += L"\\" + EscapeName(name);
    // Room for the scratch name a write uses beside the file.
    return CheckLength(pcPath + kScratchSuffix);
}

HRESULT PhoneStore::ReadFolder(const PhonePath& path, std::wstring& listing) const
{
    listing = phone::ListingBegin();
    if (path.level == PhonePath::Level::Root) {
        std::vector<PhoneInfo> phones;
        HRESULT hr = ListPhones(phones);
        if (FAILED(hr))
            return hr;
        for (const PhoneInfo& phone : phones) {
            if (phone.connected)
                listing += phone::PhoneFolderElement(phone.alias);
        }
    } else if (path.level == PhonePath::Level::Phone) {
        PhoneInfo phone;
        HRESULT hr = FindPhone(path.alias, phone);
        if (FAILED(hr))
            return hr;
        if (!phone.connected)
            return suite_error::NotFound;
        for (const PhoneMemory& memory : phone.memories) {
            listing += phone::MemoryFolderElement(memory.drive, memory.label, memory.memType);
        }
    } else {
        std::wstring folder;
        HRESULT hr = ItemPath(path, true, folder);
        if (FAILED(hr))
            return hr;
        if (!store_files::IsFolder(folder))
            return suite_error::NotFound;
        // Every item carries the type of the memory that holds it.
        PhoneInfo phone;
        const PhoneMemory* memory = SUCCEEDED(FindPhone(path.alias, phone)) ? phone.FindMemory(path.drive) : nullptr;
        const std::wstring memType = L" mem-type=\"" + XmlAttribute(memory ? memory->memType : L"") + L"\"";
        std::wstring folders;
        std::wstring files;
        WIN32_FIND_DATAW data;
        unique_find find(FindFirstFileW((folder + L"\\*").c_str(), &data));
        if (find) {
            do {
                std::wstring stored = data.cFileName;
                if (stored == L"." || stored == L".." || IsScratchName(stored))
                    continue;
                std::wstring name = UnescapeName(stored);
                // A name the listing cannot carry would make the whole listing unreadable.
                if (!XmlCanCarry(name))
                    continue;
                std::wstring times = L"\" created=\"" + store_files::ListingTime(data.ftCreationTime) +
                                     L"\" modified=\"" + store_files::ListingTime(data.ftLastWriteTime) + L"\"";
                if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                    folders += L"<folder name=\"" + XmlAttribute(name) + times + memType + L" user-perm=\"RWD\"/>\r\n";
                } else {
                    files += L"<file name=\"" + XmlAttribute(name) + L"\" size=\"" +
                             std::to_wstring(data.nFileSizeLow) + times + memType + L" user-perm=\"RWD\" type=\"" +
                             MimeType(name) + L"\"/>\r\n";
                }
            } while (FindNextFileW(find.get(), &data));
        }
        listing += folders + files;
    }
    listing += phone::ListingEnd();
    return S_OK;
}

HRESULT PhoneStore::MemoryUsed(const PhoneInfo& phone, wchar_t drive, unsigned long long& used) const
{
    used = 0;
    if (!phone.FindMemory(drive))
        return suite_error::NotFound;
    return FolderSize(PhoneFolder(phone.alias) + L"\\" + MemoryFolderName(static_cast<wchar_t>(towupper(drive))), used);
}

HRESULT PhoneStore::MakeFolder(const PhonePath& path)
{
    if (path.level != PhonePath::Level::Item)
        return suite_error::BadPath;
    std::wstring folder;
    HRESULT hr = ItemPath(path, false, folder);
    if (FAILED(hr))
        return hr;
    if (store_files::IsFile(folder))
        return suite_error::AlreadyExists;
    int result = SHCreateDirectoryExW(nullptr, folder.c_str(), nullptr);
    return result == ERROR_SUCCESS || result == ERROR_ALREADY_EXISTS ? S_OK : suite_error::StoreFailure;
}

HRESULT PhoneStore::PutFile(const PhonePath& path, const std::vector<unsigned char>& bytes, DATE modified)
{
    if (path.level != PhonePath::Level::Item)
        return suite_error::BadPath;
    std::wstring file;
    HRESULT hr = ItemPath(path, false, file);
    if (FAILED(hr))
        return hr;
    if (store_files::IsFolder(file))
        return suite_error::AlreadyExists;
    if (path.names.size() > 1) {
        hr = MakeFolder(path.Parent());
        if (FAILED(hr))
            return hr;
    }
    hr = store_files::WriteWholeFile(file, bytes);
    if (FAILED(hr))
        return hr;
    return store_files::SetModifiedTime(file, modified != 0 ? modified : store_files::Now());
}

HRESULT PhoneStore::GetFile(const PhonePath& path, std::vector<unsigned char>& bytes) const
{
    std::wstring file;
    HRESULT hr = ItemPath(path, false, file);
    if (FAILED(hr))
        return hr;
    if (!store_files::IsFile(file))
        return suite_error::NotFound;
    return store_files::ReadWholeFile(file, bytes);
}

HRESULT PhoneStore::ModelList(const std::wstring& product, std::vector<std::wstring>& models) const
{
    IniFile settings;
    if (!settings.Load(root_ + L"\\" + kSuiteSettings))
        return suite_error::StoreFailure;
    std::wstring fallback = _wcsicmp(product.c_str(), kDefaultProduct) == 0 ? kDefaultModels : L"";
    models = SplitList(settings.Get(kProductsSection, EscapeValue(product), fallback));
    return S_OK;
}

HRESULT PhoneStore::SetModelList(const std::wstring& product, const std::wstring& models)
{
    if (product.empty() || product.find(L'=') != std::wstring::npos)
        return E_INVALIDARG;
    HRESULT hr = EnsureRoot();
    if (FAILED(hr))
        return hr;
    IniFile settings;
    std::wstring path = root_ + L"\\" + kSuiteSettings;
    if (!settings.Load(path))
        return suite_error::StoreFailure;
    settings.Set(kProductsSection, EscapeValue(product), EscapeValue(models));
    return settings.Save(path) ? S_OK : suite_error::StoreFailure;
}

HRESULT PhoneStore::ModelValue(const std::wstring& model, const std::wstring& key, std::wstring& value) const
{
    IniFile settings;
    if (!settings.Load(root_ + L"\\" + kSuiteSettings))
        return suite_error::StoreFailure;
    std::wstring fallback = _wcsicmp(key.c_str(), kDefaultSyncKey) == 0 ? kDefaultSyncValue : L"";
    value = UnescapeName(settings.Get(kModelSectionPrefix + EscapeValue(model), EscapeValue(key), fallback));
    return S_OK;
}

HRESULT PhoneStore::SetModelValue(const std::wstring& model, const std::wstring& key, const std::wstring& value)
{
    if (model.empty() || key.empty() || key.find(L'=') != std::wstring::npos ||
        model.find_first_of(L"[]") != std::wstring::npos)
        return E_INVALIDARG;
    HRESULT hr = EnsureRoot();
    if (FAILED(hr))
        return hr;
    IniFile settings;
    std::wstring path = root_ + L"\\" + kSuiteSettings;
    if (!settings.Load(path))
        return suite_error::StoreFailure;
    settings.Set(kModelSectionPrefix + EscapeValue(model), EscapeValue(key), EscapeValue(value));
    return settings.Save(path) ? S_OK : suite_error::StoreFailure;
}

namespace store_files {

HRESULT ReadWholeFile(const std::wstring& path, std::vector<unsigned char>& bytes)
{
    bytes.clear();
    unique_file file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                 0, nullptr));
    if (!file)
        return LastError();
    LARGE_INTEGER size;
    if (!GetFileSizeEx(file.get(), &size))
        return suite_error::StoreFailure;
    if (size.QuadPart > 0x7FFFFFFF)
        return suite_error::TooLarge;
    bytes.resize(static_cast<size_t>(size.QuadPart));
    DWORD read = 0;
    if (!bytes.empty() &&
        (!ReadFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr) || read != bytes.size()))
        return suite_error::StoreFailure;
    return S_OK;
}

HRESULT WriteWholeFile(const std::wstring& path, const std::vector<unsigned char>& bytes)
{
    std::wstring temporary = path + kScratchSuffix;
    {
        unique_file file(CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
        if (!file)
            return LastError();
        DWORD written = 0;
        if (!bytes.empty() &&
            (!WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) ||
             written != bytes.size())) {
            file.reset();
            DeleteFileW(temporary.c_str());
            return suite_error::StoreFailure;
        }
    }
    if (!MoveFileExW(temporary.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING)) {
        DeleteFileW(temporary.c_str());
        return suite_error::StoreFailure;
    }
    return S_OK;
}

HRESULT GetModifiedTime(const std::wstring& path, DATE& modified)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data))
        return LastError();
    FILETIME local;
    SYSTEMTIME calendar;
    if (!FileTimeToLocalFileTime(&data.ftLastWriteTime, &local) || !FileTimeToSystemTime(&local, &calendar))
        return suite_error::StoreFailure;
    calendar.wMilliseconds = 0;
    return SystemTimeToVariantTime(&calendar, &modified) ? S_OK : suite_error::StoreFailure;
}

HRESULT SetModifiedTime(const std::wstring& path, DATE modified)
{
    SYSTEMTIME calendar;
    FILETIME local;
    FILETIME utc;
    if (!VariantTimeToSystemTime(modified, &calendar) || !SystemTimeToFileTime(&calendar, &local) ||
        !LocalFileTimeToFileTime(&local, &utc))
        return E_INVALIDARG;
    unique_file file(CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                 OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!file)
        return LastError();
    return SetFileTime(file.get(), nullptr, nullptr, &utc) ? S_OK : suite_error::StoreFailure;
}

DATE Now()
{
    SYSTEMTIME calendar;
    GetLocalTime(&calendar);
    calendar.wMilliseconds = 0;
    DATE now = 0;
    SystemTimeToVariantTime(&calendar, &now);
    return now;
}

std::wstring ListingTime(const FILETIME& utc)
{
    FILETIME local;
    SYSTEMTIME calendar;
    if (!FileTimeToLocalFileTime(&utc, &local) || !FileTimeToSystemTime(&local, &calendar))
        return L"";
    wchar_t text[32];
    swprintf(text, 32, L"%04u%02u%02uT%02u%02u%02u", calendar.wYear, calendar.wMonth, calendar.wDay, calendar.wHour,
             calendar.wMinute, calendar.wSecond);
    return text;
}

bool IsFolder(const std::wstring& path)
{
    DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool IsFile(const std::wstring& path)
{
    DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

} // namespace store_files
