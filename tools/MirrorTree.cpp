#include "MirrorTree.h"

#include "ConsoleOutput.h"
#include "common/ContractTexts.h"
#include "common/Resource.h"
#include "shortcut/VFSShortcut.h"

#include <algorithm>
#include <cwchar>
#include <vector>

namespace client {

namespace {

constexpr wchar_t kIndent[] = L"  ";

struct Entry {
    std::wstring name;
    DWORD attributes;
};

bool IsFolder(DWORD attributes)
{
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool EndsWithNoCase(const std::wstring& text, const wchar_t* suffix)
{
    size_t length = wcslen(suffix);
    return text.size() >= length && _wcsicmp(text.c_str() + text.size() - length, suffix) == 0;
}

std::wstring Flags(DWORD attributes)
{
    std::wstring flags;
    if (attributes & FILE_ATTRIBUTE_HIDDEN)
        flags += L"hidden";
    if (attributes & FILE_ATTRIBUTE_SYSTEM)
        flags += flags.empty() ? L"system" : L", system";
    if (IsFolder(attributes) && (attributes & FILE_ATTRIBUTE_REPARSE_POINT))
        flags += flags.empty() ? L"link" : L", link";
    return flags.empty() ? flags : L" [" + flags + L"]";
}

std::wstring Quoted(BSTR value)
{
    return L"\"" + std::wstring(value ? value : L"") + L"\"";
}

// Keeps the first failure of a run; later ones are shown but do not replace it.
void Remember(HRESULT& first, HRESULT hr)
{
    if (SUCCEEDED(first) && FAILED(hr))
        first = hr;
}

std::wstring FolderShortcutDetails(const std::wstring& folder, HRESULT& result)
{
    std::wstring path = folder + L"\\" + shortcut::kFolderShortcutName;
    if (GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES)
        return {};
    shortcut::VFSShortcut link;
    HRESULT hr = link.Load(path);
    if (FAILED(hr)) {
        Remember(result, hr);
        return L"  (folder shortcut unreadable: " + ErrorText(hr) + L")";
    }
    unique_bstr name, label, memType;
    link.get_Name(name.put());
    link.get_Label(label.put());
    link.get_MemType(memType.put());
    return L"  Name=" + Quoted(name.get()) + L" Label=" + Quoted(label.get()) + L" MemType=" + Quoted(memType.get());
}

std::wstring ShortcutDetails(const std::wstring& path, HRESULT& result)
{
    shortcut::VFSShortcut link;
    HRESULT hr = link.Load(path);
    if (FAILED(hr)) {
        Remember(result, hr);
        return L"  (shortcut unreadable: " + ErrorText(hr) + L")";
    }
    unique_bstr name, mimeType;
    LONG size = 0;
    DATE modified = 0.0;
    link.get_Name(name.put());
    link.get_MimeType(mimeType.put());
    link.get_Size(&size);
    link.get_Modified(&modified);
    return L"  Name=" + Quoted(name.get()) + L" Size=" + std::to_wstring(size) + L" Modified=" +
           shortcut::FormatShortcutDate(modified) + L" MimeType=" + Quoted(mimeType.get());
}

HRESULT ListFolder(const std::wstring& folder, std::vector<Entry>& entries)
{
    WIN32_FIND_DATAW data;
    std::wstring pattern = folder + L"\\*";
    unique_find find(FindFirstFileW(pattern.c_str(), &data));
    if (!find)
        return HRESULT_FROM_WIN32(GetLastError());
    do {
        if (wcscmp(data.cFileName, L".") == 0 || wcscmp(data.cFileName, L"..") == 0)
            continue;
        if (!IsFolder(data.dwFileAttributes) && _wcsicmp(data.cFileName, shortcut::kFolderShortcutName) == 0)
            continue; // shown on its folder's line
        entries.push_back(Entry{data.cFileName, data.dwFileAttributes});
    } while (FindNextFileW(find.get(), &data));
    DWORD error = GetLastError();
    if (error != ERROR_NO_MORE_FILES)
        return HRESULT_FROM_WIN32(error);
    std::sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) {
        if (IsFolder(a.attributes) != IsFolder(b.attributes))
            return IsFolder(a.attributes);
        int order = _wcsicmp(a.name.c_str(), b.name.c_str());
        return order != 0 ? order < 0 : a.name < b.name;
    });
    return S_OK;
}

void FormatFolder(const std::wstring& folder, const std::wstring& indent, std::wstring& text, HRESULT& result)
{
    std::vector<Entry> entries;
    HRESULT hr = ListFolder(folder, entries);
    if (FAILED(hr)) {
        Remember(result, hr);
        text += indent + L"(cannot list: " + ErrorText(hr) + L")\n";
        return;
    }
    for (const Entry& entry : entries) {
        std::wstring path = folder + L"\\" + entry.name;
        if (IsFolder(entry.attributes)) {
            text += indent + entry.name + L"\\" + Flags(entry.attributes) + FolderShortcutDetails(path, result) + L"\n";
            // A link may lead back up the tree; its target is listed where it lives.
            if (!(entry.attributes & FILE_ATTRIBUTE_REPARSE_POINT))
                FormatFolder(path, indent + kIndent, text, result);
        } else {
            std::wstring details;
            if (EndsWithNoCase(entry.name, shortcut::kShortcutExtension))
                details = ShortcutDetails(path, result);
            text += indent + entry.name + Flags(entry.attributes) + details + L"\n";
        }
    }
}

} // namespace

HRESULT ListSubfolders(const std::wstring& folder, std::vector<std::wstring>& names)
{
    names.clear();
    std::vector<Entry> entries;
    HRESULT hr = ListFolder(folder, entries);
    if (FAILED(hr))
        return hr;
    for (const Entry& entry : entries) {
        if (IsFolder(entry.attributes) && !(entry.attributes & FILE_ATTRIBUTE_REPARSE_POINT))
            names.push_back(entry.name);
    }
    return S_OK;
}

bool IsPhoneGone(const std::wstring& folder)
{
    const DWORD attributes = GetFileAttributesW(folder.c_str());
    std::vector<Entry> entries;
    if (attributes == INVALID_FILE_ATTRIBUTES || !IsFolder(attributes) || !(attributes & FILE_ATTRIBUTE_HIDDEN) ||
        FAILED(ListFolder(folder, entries)))
        return false;
    // What an emptied mirror folder keeps: the "IMEI" file and the synchronisation folders.
    return std::all_of(entries.begin(), entries.end(), [&](const Entry& entry) {
        return IsFolder(entry.attributes)
                   ? GetFileAttributesW(
                         (folder + L"\\" + entry.name + L"\\" + contract::kFolderDescriptionFile).c_str()) !=
                         INVALID_FILE_ATTRIBUTES
                   : _wcsicmp(entry.name.c_str(), contract::kImeiFileName) == 0;
    });
}

HRESULT FormatMirrorTree(const std::wstring& folder, std::wstring& text)
{
    std::wstring root = folder;
    while (root.size() > 1 && (root.back() == L'\\' || root.back() == L'/') && root[root.size() - 2] != L':')
        root.pop_back();
    DWORD attributes = GetFileAttributesW(root.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return HRESULT_FROM_WIN32(GetLastError());
    if (!IsFolder(attributes))
        return HRESULT_FROM_WIN32(ERROR_DIRECTORY);
    HRESULT result = S_OK;
    // A drive root keeps its backslash; children are joined with one more.
    std::wstring base = root.back() == L'\\' ? root.substr(0, root.size() - 1) : root;
    text += root + Flags(attributes) + FolderShortcutDetails(base, result) + L"\n";
    FormatFolder(base, kIndent, text, result);
    return result;
}

} // namespace client
