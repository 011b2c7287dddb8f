// A shell file operation as the shell extension hands it over: the platform's
// 32-bit SHFILEOPSTRUCTW image, then the source list, the target list and the
// progress title, serialised into one byte array. Decoded, the request owns
// its lists and title.
#pragma once

#include <windows.h>
#include <oaidl.h>
#include <shellapi.h>
// The platform's macro would rename IQuelvar::SHFileOperation where both are seen;
// the platform's function is called by its full name, SHFileOperationW.
#undef SHFileOperation

#include <string>
#include <vector>

namespace fileops {

// Operation codes beside the platform's FO_MOVE, FO_COPY, FO_DELETE and FO_RENAME.
constexpr UINT kOperationOpen = 0;       // copy phone files to a PC folder and open the copies
constexpr UINT kOperationCopy = 12;      // treated as FO_COPY
constexpr UINT kOperationDeleteAll = 13; // FO_DELETE; the phone items go even when the PC side failed

// The request image: hwnd, wFunc, pFrom, pTo, fFlags, fAnyOperationsAborted,
// hNameMappings, lpszProgressTitle, byte-packed.
constexpr size_t kRequestImageSize = 30;

class FileOperationRequest
{
public:
    // E_INVALIDARG for a VARIANT other than VT_ARRAY | VT_UI1, an array of more
    // than one dimension or of other elements than bytes, one shorter than the image, or one in which a list or
    // the title does not end; E_POINTER for a null array; E_FAIL when the array
    // cannot be read. Nothing is read past the array's end.
    static HRESULT Decode(const VARIANT& serialised, FileOperationRequest& request);

    // The serialised form, as a client makes it; E_INVALIDARG for an empty name.
    static HRESULT Encode(HWND window, UINT function, WORD flags, const std::vector<std::wstring>& sources,
                          const std::vector<std::wstring>& targets, const std::wstring& title, VARIANT* serialised);

    // Null when the request's number names no window.
    HWND Window() const { return window_; }
    UINT Function() const { return function_; }
    void SetFunction(UINT function) { function_ = function; }
    WORD Flags() const { return flags_; }
    void SetFlags(WORD flags) { flags_ = flags; }
    // Empty when the request carries no title.
    const std::wstring& Title() const { return title_; }

    // The names of a list; kPathTooLong when one is too long for the platform.
    HRESULT Sources(std::vector<std::wstring>& names) const { return Split(from_, names); }
    HRESULT Targets(std::vector<std::wstring>& names) const { return Split(to_, names); }

    // The platform's structure over the lists the request owns.
    SHFILEOPSTRUCTW ShellOperation() const;

private:
    static HRESULT Split(const std::vector<wchar_t>& list, std::vector<std::wstring>& names);

    HWND window_ = nullptr;
    UINT function_ = 0;
    WORD flags_ = 0;
    // Each list as received: its names, the two NULs and the unit after them.
    std::vector<wchar_t> from_ = std::vector<wchar_t>(3, L'\0');
    std::vector<wchar_t> to_ = std::vector<wchar_t>(3, L'\0');
    std::wstring title_;
};

} // namespace fileops
