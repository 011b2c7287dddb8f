#include "CraftedListings.h"

#include "PhoneStore.h"

#include <map>
#include <vector>

namespace crafted_listings {

namespace {

// Keys are upper case, as the store compares phone paths. The suite runs on one
// apartment thread, so the table needs no lock.
std::map<std::wstring, std::wstring>& Table()
{
    static std::map<std::wstring, std::wstring> table;
    return table;
}

std::wstring Key(std::wstring path)
{
    while (!path.empty() && path.back() == L'\\')
        path.pop_back();
    if (!path.empty())
        CharUpperBuffW(&path[0], static_cast<DWORD>(path.size()));
    return path;
}

bool Answers(const std::wstring& key, const std::wstring& path)
{
    if (key.size() >= 2 && key.compare(key.size() - 2, 2, L"\\*") == 0) {
        const std::wstring folder = key.substr(0, key.size() - 2);
        return path.compare(0, folder.size(), folder) == 0 &&
               (path.size() == folder.size() || path[folder.size()] == L'\\');
    }
    return key == path;
}

// The bytes as they are: embedded NULs and invalid sequences included.
std::wstring Decode(const std::vector<unsigned char>& bytes)
{
    if (bytes.size() >= 2 && bytes[0] == 0xFF && bytes[1] == 0xFE) {
        std::wstring text((bytes.size() - 2) / 2, L'\0');
        if (!text.empty())
            memcpy(&text[0], bytes.data() + 2, text.size() * sizeof(wchar_t));
        return text;
    }
    size_t start = bytes.size() >= 3 && bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF ? 3 : 0;
    const int length = static_cast<int>(bytes.size() - start);
    if (length == 0)
        return std::wstring();
    const char* data = reinterpret_cast<const char*>(bytes.data() + start);
    std::wstring text(static_cast<size_t>(MultiByteToWideChar(CP_UTF8, 0, data, length, nullptr, 0)), L'\0');
    if (!text.empty())
        MultiByteToWideChar(CP_UTF8, 0, data, length, &text[0], static_cast<int>(text.size()));
    return text;
}

} // namespace

HRESULT Set(const std::wstring& phonePath, const std::wstring& pcFile)
{
    const std::wstring key = Key(phonePath);
    if (key.empty())
        return E_INVALIDARG;
    if (pcFile.empty())
        Table().erase(key);
    else
        Table()[key] = pcFile;
    return S_OK;
}

void Clear()
{
    Table().clear();
}

HRESULT Find(const std::wstring& phonePath, std::wstring& text)
{
    text.clear();
    const std::wstring path = Key(phonePath);
    // The most specific entry answers.
    const std::wstring* file = nullptr;
    size_t best = 0;
    for (const auto& entry : Table()) {
        if (Answers(entry.first, path) && entry.first.size() >= best) {
            file = &entry.second;
            best = entry.first.size();
        }
    }
    if (!file)
        return S_FALSE;
    std::vector<unsigned char> bytes;
    const HRESULT hr = store_files::ReadWholeFile(*file, bytes);
    if (FAILED(hr))
        return hr;
    text = Decode(bytes);
    return S_OK;
}

} // namespace crafted_listings
