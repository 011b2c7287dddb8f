#include "ListingEntries.h"

#include "obex/protocol/ObexResults.h"
#include "phone/PhonePath.h"

#include <cwchar>

namespace obex {
namespace {

bool Unescape(const std::wstring& text, std::wstring& out)
{
    out.clear();
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != L'&') {
            out += text[i];
            continue;
        }
        const size_t end = text.find(L';', i);
        if (end == std::wstring::npos)
            return false;
        const std::wstring entity = text.substr(i + 1, end - i - 1);
        if (entity == L"amp")
            out += L'&';
        else if (entity == L"lt")
            out += L'<';
        else if (entity == L"gt")
            out += L'>';
        else if (entity == L"quot")
            out += L'"';
        else if (entity == L"apos")
            out += L'\'';
        else if (entity.size() > 1 && entity[0] == L'#')
            out += static_cast<wchar_t>(entity[1] == L'x' ? wcstoul(entity.c_str() + 2, nullptr, 16)
                                                          : wcstoul(entity.c_str() + 1, nullptr, 10));
        else
            return false;
        i = end;
    }
    return true;
}

// One element: <NAME a="v" b="w"/>
bool ReadElement(const std::wstring& line, ListingEntry& entry, bool& isItem)
{
    isItem = false;
    const bool file = line.compare(0, 6, L"<file ") == 0;
    const bool folder = line.compare(0, 8, L"<folder ") == 0;
    if (!file && !folder)
        return true;
    isItem = true;
    entry = ListingEntry{};
    entry.folder = folder;
    size_t at = folder ? 8 : 6;
    for (;;) {
        while (at < line.size() && line[at] == L' ')
            ++at;
        if (line.compare(at, 2, L"/>") == 0)
            return true;
        const size_t equals = line.find(L"=\"", at);
        if (equals == std::wstring::npos)
            return false;
        const size_t close = line.find(L'"', equals + 2);
        if (close == std::wstring::npos)
            return false;
        const std::wstring key = line.substr(at, equals - at);
        std::wstring value;
        if (!Unescape(line.substr(equals + 2, close - equals - 2), value))
            return false;
        if (_wcsicmp(key.c_str(), L"name") == 0)
            entry.name = value;
        else if (_wcsicmp(key.c_str(), L"size") == 0)
            entry.size = _wtoi64(value.c_str());
        else if (_wcsicmp(key.c_str(), L"modified") == 0)
            entry.modified = value;
        else if (_wcsicmp(key.c_str(), L"label") == 0)
            entry.label = value;
        else if (_wcsicmp(key.c_str(), L"mem-type") == 0)
            entry.memType = value;
        at = close + 1;
    }
}

} // namespace

HRESULT ReadListingEntries(const std::wstring& listing, std::vector<ListingEntry>& entries)
{
    entries.clear();
    size_t start = 0;
    while (start < listing.size()) {
        size_t end = listing.find(L'\n', start);
        if (end == std::wstring::npos)
            end = listing.size();
        ListingEntry entry;
        bool isItem = false;
        if (!ReadElement(listing.substr(start, end - start), entry, isItem))
            return kBadListing;
        if (isItem && !entry.name.empty())
            entries.push_back(std::move(entry));
        start = end + 1;
    }
    return S_OK;
}

const ListingEntry* FindEntry(const std::vector<ListingEntry>& entries, const std::wstring& name)
{
    for (const ListingEntry& entry : entries) {
        if (entry.name == name)
            return &entry;
    }
    return nullptr;
}

std::wstring WithMemoryType(const std::wstring& listing, const std::wstring& memType)
{
    std::wstring out;
    size_t start = 0;
    while (start < listing.size()) {
        size_t end = listing.find(L'\n', start);
        end = end == std::wstring::npos ? listing.size() : end + 1;
        std::wstring line = listing.substr(start, end - start);
        const bool item = line.compare(0, 6, L"<file ") == 0 || line.compare(0, 8, L"<folder ") == 0;
        const size_t close = line.rfind(L"/>");
        if (item && close != std::wstring::npos && line.find(L" mem-type=\"") == std::wstring::npos)
            line.insert(close, L" mem-type=\"" + phone::XmlAttribute(memType) + L"\"");
        out += line;
        start = end;
    }
    return out;
}

DATE ListingDate(const std::wstring& text)
{
    if (text.size() < 15 || text[8] != L'T')
        return 0;
    for (size_t i = 0; i < 15; ++i) {
        if (i != 8 && (text[i] < L'0' || text[i] > L'9'))
            return 0;
    }
    auto number = [&](size_t at, size_t count) {
        return static_cast<WORD>(wcstoul(text.substr(at, count).c_str(), nullptr, 10));
    };
    SYSTEMTIME time{};
    time.wYear = number(0, 4);
    time.wMonth = number(4, 2);
    time.wDay = number(6, 2);
    time.wHour = number(9, 2);
    time.wMinute = number(11, 2);
    time.wSecond = number(13, 2);
    DATE date = 0;
    if (time.wMonth < 1 || time.wMonth > 12 || time.wDay < 1 || time.wDay > 31 || time.wHour > 23 ||
        time.wMinute > 59 || time.wSecond > 59 || !SystemTimeToVariantTime(&time, &date))
        return 0;
    return date;
}

} // namespace obex
