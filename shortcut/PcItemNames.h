// PC names of phone items: valid, not reserved, and for shortcut files unique
// within their folder.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

namespace shortcut {

// PC path of the phone item phoneName (a name or a phone path) inside pcFolder;
// when pcFolder is no existing folder, inside the folder of that path. A
// non-empty prefix gives "prefix (name)", the form of the phone's memory roots.
// With unique set the name is numbered, "photo(2).jpg", until no shortcut file
// of that name exists yet. A path that would not fit MAX_PATH (with ".vfslnk"
// when unique) gives HRESULT_FROM_WIN32(ERROR_FILENAME_EXCED_RANGE); a phone name
// that leaves no PC name gives E_INVALIDARG.
HRESULT MakePcItemPath(const std::wstring& pcFolder, const std::wstring& phoneName, const std::wstring& prefix,
                       bool unique, std::wstring& pcPath);

// The numbering of same-named shortcut files: folder\name, then stem(2).ext,
// stem(3).ext, ... until `taken` says that the candidate's shortcut file name
// (with ".vfslnk") is free. kPathTooLong when a candidate's shortcut file path
// would not fit MAX_PATH. With counter, the numbering starts at *counter and
// leaves there the number it took: a caller that only ever adds to what is
// taken may hand back the same counter for the same name, so that a folder of
// thousands of one name is numbered in one pass.
HRESULT NumberPcItemPath(const std::wstring& folder, const std::wstring& name,
                         const std::function<bool(const std::wstring& shortcutPath)>& taken, std::wstring& pcPath,
                         unsigned* counter = nullptr);

// The PC file name alone, before any numbering.
std::wstring MakePcItemName(const std::wstring& phoneName, const std::wstring& prefix);

} // namespace shortcut
