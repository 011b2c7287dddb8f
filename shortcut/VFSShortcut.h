// The shortcut file that stands for one phone item on the PC: an INI-like
// UTF-16LE text read by other programs of the product family, so its bytes are
// a contract.
#pragma once

#include "common/ContractTexts.h"

#include <windows.h>
#include <oleauto.h>

#include <string>

namespace shortcut {

constexpr wchar_t kShortcutSection[] = L"VFSShortcut";
constexpr wchar_t kMemTypeKey[] = L"MemType";
using contract::kFolderShortcutName;
using contract::kShortcutExtension;

// Shortcut files are a few hundred bytes (four texts of at most MAX_PATH
// characters and a few short values); anything this large is not one and is
// refused before it is read.
constexpr ULONGLONG kMaxShortcutFileBytes = 64 * 1024;

// Results of Read besides the file system's own errors.
constexpr HRESULT kShortcutTooLarge = static_cast<HRESULT>(0x800700DF);     // ERROR_FILE_TOO_LARGE
constexpr HRESULT kShortcutNamesNothing = static_cast<HRESULT>(0x80070570); // ERROR_FILE_CORRUPT

class VFSShortcut
{
public:
    // E_FAIL for a file that cannot be opened or read.
    HRESULT Load(const std::wstring& path);
    // As Load, but a failure says why: the file system's error (a file locked
    // by another process gives ERROR_SHARING_VIOLATION) or kShortcutTooLarge.
    HRESULT Read(const std::wstring& path);
    HRESULT Save(const std::wstring& path) const;

    // Newly allocated copies, or null when the field is empty.
    HRESULT get_Name(BSTR* value) const;
    HRESULT get_Label(BSTR* value) const;
    HRESULT get_MemType(BSTR* value) const;
    HRESULT get_MimeType(BSTR* value) const;
    HRESULT get_UserPerm(BSTR* value) const;
    HRESULT get_Size(LONG* value) const;
    HRESULT get_Created(DATE* value) const;
    HRESULT get_Modified(DATE* value) const;

    // Stores only the last path component of a name that holds a backslash.
    HRESULT put_Name(const wchar_t* text);
    HRESULT put_Label(const wchar_t* text);
    HRESULT put_MemType(const wchar_t* text);
    HRESULT put_MimeType(const wchar_t* text);
    HRESULT put_UserPerm(const wchar_t* text);
    HRESULT put_Size(LONG value);
    HRESULT put_Created(DATE value);
    HRESULT put_Modified(DATE value);

    // The file's text exactly as Save writes it, byte-order mark included.
    std::wstring Format() const;

private:
    void ApplyLine(const wchar_t* line, size_t length);

    std::wstring name_;
    std::wstring label_;
    std::wstring memType_;
    std::wstring mimeType_;
    LONG size_ = 0;
    std::wstring userPerm_;
    std::wstring groupPerm_;
    std::wstring otherPerm_;
    DATE created_ = 0.0;
    DATE modified_ = 0.0;
    DATE accessed_ = 0.0;
};

// Date text of a shortcut: "%Y-%m-%d %H:%M:%S" rounded to the second, "0" for a
// DATE outside the years 100 to 9999.
std::wstring FormatShortcutDate(DATE date);

// Date value of a shortcut: the locale's date parser; 0.0 when it does not
// recognise the text, -1.0 on any other failure.
DATE ParseShortcutDate(const std::wstring& text);

} // namespace shortcut
