#include "MappedPhones.h"

#include "MirrorTree.h"
#include "common/Resource.h"

namespace client {

namespace {

HRESULT ReadRootValue(HKEY key, std::wstring& root)
{
    // One more character than the server's buffer, so that a value that fills
    // it without a terminator is seen as too long.
    std::vector<wchar_t> data(MAX_PATH + 1, L'\0');
    DWORD type = 0;
    DWORD bytes = MAX_PATH * sizeof(wchar_t);
    LSTATUS status =
        RegQueryValueExW(key, kMirrorRootValue, nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &bytes);
    if (status != ERROR_SUCCESS)
        return HRESULT_FROM_WIN32(status);
    if (type != REG_SZ && type != REG_EXPAND_SZ)
        return HRESULT_FROM_WIN32(ERROR_INVALID_DATATYPE);
    const size_t characters = bytes / sizeof(wchar_t);
    if (characters == MAX_PATH && data[MAX_PATH - 1] != L'\0')
        return HRESULT_FROM_WIN32(ERROR_MORE_DATA);
    root = data.data();
    return root.empty() ? HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND) : S_OK;
}

} // namespace

HRESULT ReadMirrorRoot(std::wstring& root)
{
    root.clear();
    unique_hkey key;
    LSTATUS status = RegOpenKeyExW(HKEY_CURRENT_USER, kDataLayerKey, 0, KEY_READ, key.put());
    // The first key's error stays the result when neither opens.
    if (status != ERROR_SUCCESS &&
        RegOpenKeyExW(HKEY_CURRENT_USER, kDataLayerFallbackKey, 0, KEY_READ, key.put()) != ERROR_SUCCESS)
        return HRESULT_FROM_WIN32(status);
    return ReadRootValue(key.get(), root);
}

HRESULT ListMappedPhones(const std::wstring& root, std::vector<MappedPhone>& phones)
{
    phones.clear();
    std::wstring base = root;
    while (!base.empty() && base.back() == L'\\')
        base.pop_back();
    std::vector<std::wstring> folders;
    HRESULT hr = ListSubfolders(base, folders);
    if (FAILED(hr))
        return hr;
    for (const std::wstring& name : folders) {
        const std::wstring folder = base + L"\\" + name;
        const DWORD attributes = GetFileAttributesW(folder.c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_HIDDEN))
            continue;
        const DWORD marker = GetFileAttributesW((folder + L"\\" + kImeiFileName).c_str());
        if (marker != INVALID_FILE_ATTRIBUTES && !(marker & FILE_ATTRIBUTE_DIRECTORY))
            phones.push_back(MappedPhone{name, folder});
    }
    return S_OK;
}

} // namespace client
