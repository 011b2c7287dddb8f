#include "VFSShortcut.h"

#include "common/Dates.h"
#include "common/ErrorFlow.h"
#include "common/Resource.h"
#include "common/Trace.h"

#include <shlwapi.h>

#include <algorithm>
#include <cwchar>
#include <cstdlib>
#include <new>
#include <vector>

namespace shortcut {

namespace {

constexpr wchar_t kByteOrderMark = 0xFEFF;

// Key names, in the order Save writes them.
constexpr wchar_t kName[] = L"Name";
constexpr wchar_t kLabel[] = L"Label";
constexpr const wchar_t* kMemType = kMemTypeKey;
constexpr wchar_t kMimeType[] = L"MimeType";
constexpr wchar_t kSize[] = L"Size";
constexpr wchar_t kUserPerm[] = L"UserPerm";
constexpr wchar_t kGroupPerm[] = L"GroupPerm";
constexpr wchar_t kOtherPerm[] = L"OtherPerm";
constexpr wchar_t kCreated[] = L"Created";
constexpr wchar_t kAccessed[] = L"Accessed";
constexpr wchar_t kModified[] = L"Modified";

void AppendQuoted(std::wstring& text, const wchar_t* key, const std::wstring& value)
{
    text.append(key).append(L"=\"").append(value).append(L"\"\r\n");
}

void AppendPlain(std::wstring& text, const wchar_t* key, const std::wstring& value)
{
    text.append(key).append(L"=").append(value).append(L"\r\n");
}

HRESULT CopyOut(const std::wstring& field, BSTR* value)
{
    if (!value)
        return E_POINTER;
    *value = nullptr;
    if (field.empty())
        return S_OK;
    *value = SysAllocStringLen(field.data(), static_cast<UINT>(field.size()));
    return *value ? S_OK : E_OUTOFMEMORY;
}

// One outer pair of double quotes goes, as PathUnquoteSpacesW removes it; a
// lone quote leaves nothing.
std::wstring Unquoted(const wchar_t* value, size_t length)
{
    if (length >= 1 && value[0] == L'"' && value[length - 1] == L'"') {
        if (length == 1)
            return std::wstring();
        return std::wstring(value + 1, length - 2);
    }
    return std::wstring(value, length);
}

// The thread's last error as an HRESULT; never a success.
HRESULT LastError()
{
    const DWORD error = GetLastError();
    return error ? HRESULT_FROM_WIN32(error) : E_FAIL;
}

bool KeyIs(const wchar_t* key, size_t length, const wchar_t* name)
{
    return wcslen(name) == length && wmemcmp(key, name, length) == 0;
}

} // namespace

std::wstring FormatShortcutDate(DATE date)
{
    SYSTEMTIME time;
    if (!DateToSystemTime(date, time))
        return L"0";
    wchar_t text[32];
    swprintf(text, 32, L"%04u-%02u-%02u %02u:%02u:%02u", time.wYear, time.wMonth, time.wDay, time.wHour, time.wMinute,
             time.wSecond);
    return text;
}

DATE ParseShortcutDate(const std::wstring& text)
{
    DATE date = 0.0;
    // The parser's text argument is not const in the platform headers; it does not write to it.
    HRESULT hr = VarDateFromStr(const_cast<wchar_t*>(text.c_str()), LOCALE_USER_DEFAULT, 0, &date);
    if (SUCCEEDED(hr))
        return date;
    return hr == DISP_E_TYPEMISMATCH ? 0.0 : -1.0;
}

std::wstring VFSShortcut::Format() const
{
    std::wstring text;
    text.reserve(256 + name_.size() + label_.size() + memType_.size() + mimeType_.size());
    text += kByteOrderMark;
    text.append(L"[").append(kShortcutSection).append(L"]\r\n");
    AppendQuoted(text, kName, name_);
    AppendQuoted(text, kLabel, label_);
    AppendQuoted(text, kMemType, memType_);
    AppendQuoted(text, kMimeType, mimeType_);
    AppendPlain(text, kSize, std::to_wstring(size_));
    AppendPlain(text, kUserPerm, userPerm_);
    AppendPlain(text, kGroupPerm, groupPerm_);
    AppendPlain(text, kOtherPerm, otherPerm_);
    AppendPlain(text, kCreated, FormatShortcutDate(created_));
    AppendPlain(text, kAccessed, FormatShortcutDate(accessed_));
    AppendPlain(text, kModified, FormatShortcutDate(modified_));
    return text;
}

HRESULT VFSShortcut::Save(const std::wstring& path) const
{
    const std::wstring text = Format();

    // A hidden, system or read-only file cannot be overwritten as it is.
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES)
        SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);

    HRESULT hr = S_OK;
    {
        unique_file file(CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                     CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file) {
            QTRACE(L"(): cannot open %ls for writing (error %lu)\n", path.c_str(), GetLastError());
            hr = E_FAIL;
        } else {
            const DWORD bytes = static_cast<DWORD>(text.size() * sizeof(wchar_t));
            DWORD written = 0;
            if (!WriteFile(file.get(), text.data(), bytes, &written, nullptr) || written != bytes)
                hr = E_FAIL;
        }
    }
    // Also after a failure: a folder shortcut that could not be written stays hidden.
    if (attributes != INVALID_FILE_ATTRIBUTES)
        SetFileAttributesW(path.c_str(), attributes);
    return hr;
}

HRESULT VFSShortcut::Load(const std::wstring& path)
{
    return SUCCEEDED(Read(path)) ? S_OK : E_FAIL;
}

HRESULT VFSShortcut::Read(const std::wstring& path)
{
    std::vector<wchar_t> text;
    {
        unique_file file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                     OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file)
            return LastError();
        LARGE_INTEGER size;
        if (!GetFileSizeEx(file.get(), &size))
            return LastError();
        if (size.QuadPart < 0 || static_cast<ULONGLONG>(size.QuadPart) > kMaxShortcutFileBytes) {
            QTRACE(L"(): %ls is no shortcut file (size)\n", path.c_str());
            return kShortcutTooLarge;
        }
        const DWORD bytes = static_cast<DWORD>(size.QuadPart);
        // One more character than the file needs: an odd last byte pairs
        // with a zero byte, and the text always ends in a terminator.
        text.assign(bytes / sizeof(wchar_t) + 2, L'\0');
        DWORD read = 0;
        if (bytes && !ReadFile(file.get(), text.data(), bytes, &read, nullptr))
            return LastError();
        // A file that shrank meanwhile is not taken half read.
        if (read != bytes)
            return HRESULT_FROM_WIN32(ERROR_HANDLE_EOF);
    }

    // The text ends at its first NUL; the byte-order mark stays part of the
    // section line, which holds no "=" and is skipped.
    const wchar_t* const begin = text.data();
    const wchar_t* const end = begin + wcslen(begin);
    for (const wchar_t* line = begin; line < end;) {
        const wchar_t* lineEnd = std::find(line, end, L'\n');
        size_t length = static_cast<size_t>(lineEnd - line);
        while (length && (line[length - 1] == L'\r' || line[length - 1] == L'\n'))
            --length;
        ApplyLine(line, length);
        line = lineEnd == end ? end : lineEnd + 1;
    }
    return S_OK;
}

void VFSShortcut::ApplyLine(const wchar_t* line, size_t length)
{
    const wchar_t* equals = std::find(line, line + length, L'=');
    if (equals == line + length)
        return;
    // The key is taken exactly: no trimming, no case folding.
    const size_t keyLength = static_cast<size_t>(equals - line);
    const std::wstring value = Unquoted(equals + 1, length - keyLength - 1);

    if (KeyIs(line, keyLength, kName))
        name_ = value;
    else if (KeyIs(line, keyLength, kLabel))
        label_ = value;
    else if (KeyIs(line, keyLength, kMemType))
        memType_ = value;
    else if (KeyIs(line, keyLength, kMimeType))
        mimeType_ = value;
    else if (KeyIs(line, keyLength, kSize))
        size_ = _wtoi(value.c_str());
    else if (KeyIs(line, keyLength, kUserPerm))
        userPerm_ = value;
    else if (KeyIs(line, keyLength, kGroupPerm))
        groupPerm_ = value;
    else if (KeyIs(line, keyLength, kOtherPerm))
        otherPerm_ = value;
    else if (KeyIs(line, keyLength, kCreated))
        created_ = ParseShortcutDate(value);
    else if (KeyIs(line, keyLength, kAccessed))
        accessed_ = ParseShortcutDate(value);
    else if (KeyIs(line, keyLength, kModified))
        modified_ = ParseShortcutDate(value);
}

HRESULT VFSShortcut::get_Name(BSTR* value) const
{
    return CopyOut(name_, value);
}
HRESULT VFSShortcut::get_Label(BSTR* value) const
{
    return CopyOut(label_, value);
}
HRESULT VFSShortcut::get_MemType(BSTR* value) const
{
    return CopyOut(memType_, value);
}
HRESULT VFSShortcut::get_MimeType(BSTR* value) const
{
    return CopyOut(mimeType_, value);
}
HRESULT VFSShortcut::get_UserPerm(BSTR* value) const
{
    return CopyOut(userPerm_, value);
}

HRESULT VFSShortcut::get_Size(LONG* value) const
{
    if (!value)
        return E_POINTER;
    *value = size_;
    return S_OK;
}

HRESULT VFSShortcut::get_Created(DATE* value) const
{
    if (!value)
        return E_POINTER;
    *value = created_;
    return S_OK;
}

HRESULT VFSShortcut::get_Modified(DATE* value) const
{
    if (!value)
        return E_POINTER;
    *value = modified_;
    return S_OK;
}

namespace {
HRESULT Store(std::wstring& field, const wchar_t* text)
{
    field.assign(text ? text : L"");
    return S_OK;
}
} // namespace

HRESULT VFSShortcut::put_Name(const wchar_t* text)
{
    // The phone may hand over a whole path; the shortcut keeps the item's own name.
    if (text && wcschr(text, L'\\'))
        text = PathFindFileNameW(text);
    return Store(name_, text);
}

HRESULT VFSShortcut::put_Label(const wchar_t* text)
{
    return Store(label_, text);
}
HRESULT VFSShortcut::put_MemType(const wchar_t* text)
{
    return Store(memType_, text);
}
HRESULT VFSShortcut::put_MimeType(const wchar_t* text)
{
    return Store(mimeType_, text);
}
HRESULT VFSShortcut::put_UserPerm(const wchar_t* text)
{
    return Store(userPerm_, text);
}

HRESULT VFSShortcut::put_Size(LONG value)
{
    size_ = value;
    return S_OK;
}

HRESULT VFSShortcut::put_Created(DATE value)
{
    created_ = value;
    return S_OK;
}

HRESULT VFSShortcut::put_Modified(DATE value)
{
    modified_ = value;
    return S_OK;
}

} // namespace shortcut
