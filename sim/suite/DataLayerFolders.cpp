#include "DataLayerFolders.h"

#include "SuiteState.h"
#include "common/Resource.h"

#include <windows.h>

namespace suite {

namespace {
struct SyncFolder {
    const wchar_t* name;
    const char* clsid; // as the folder description holds it: without braces
};

const SyncFolder kSyncFolders[] = {
    {L"Contacts", "FBFE7864-D495-41f0-B7DC-4BB601CC295E"},
    {L"Text Messages", "C0C4375A-5B72-4efe-929D-3B848C3A1E91"},
    {L"Multimedia Messages", "C0C4375A-5B72-4efe-929D-3B848C3A1E91"},
};

std::wstring MirrorRoot()
{
    for (const wchar_t* keyName : {L"Software\\Marlith\\DataLayer", L"Software\\Zentrel\\DataLayer"}) {
        unique_hkey key;
        if (RegOpenKeyExW(HKEY_CURRENT_USER, keyName, 0, KEY_READ, key.put()) != ERROR_SUCCESS)
            continue;
        wchar_t root[MAX_PATH] = {};
        DWORD size = sizeof(root) - sizeof(wchar_t);
        DWORD type = 0;
        if (RegQueryValueExW(key.get(), L"Root", nullptr, &type, reinterpret_cast<BYTE*>(root), &size) ==
                ERROR_SUCCESS &&
            type == REG_SZ)
            return root;
        return {};
    }
    return {};
}

// Writes a new file; an existing one is left as it is.
void WriteNewFile(const std::wstring& path, const std::string& content)
{
    unique_file file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr));
    DWORD written = 0;
    if (file)
        WriteFile(file.get(), content.data(), static_cast<DWORD>(content.size()), &written, nullptr);
}
bool IsSupportedModel(const std::wstring& model)
{
    std::vector<std::wstring> models;
    if (FAILED(Store().ModelList(L"Ostrelle", models)))
        return false;
    for (const std::wstring& supported : models) {
        if (_wcsicmp(supported.c_str(), model.c_str()) == 0)
            return true;
    }
    return false;
}
} // namespace

void WriteDataLayerFolders(const PhoneInfo& phone)
{
    if (!IsSupportedModel(phone.model))
        return;
    const std::wstring& alias = phone.alias;
    const std::wstring& imei = phone.imei;
    std::wstring root = MirrorRoot();
    if (root.empty() || alias.empty())
        return;
    std::wstring folder = root + L"\\" + alias;
    if (folder.size() + 32 >= MAX_PATH)
        return;
    CreateDirectoryW(root.c_str(), nullptr);
    CreateDirectoryW(folder.c_str(), nullptr);
    std::string imeiText(imei.begin(), imei.end());
    WriteNewFile(folder + L"\\IMEI", imeiText);
    for (const SyncFolder& sync : kSyncFolders) {
        std::wstring syncFolder = folder + L"\\" + sync.name;
        CreateDirectoryW(syncFolder.c_str(), nullptr);
        WriteNewFile(syncFolder + L"\\Folder.xml",
                     std::string("<?xml version=\"1.0\"?>\r\n<Folder><CLSID>") + sync.clsid + "</CLSID></Folder>\r\n");
    }
}

} // namespace suite
