// Small helpers for PC paths, written once for every room.
#pragma once

#include <windows.h>

#include <string>

// A path or name that does not fit its buffer; refused, never cut.
constexpr HRESULT kPathTooLong = static_cast<HRESULT>(0x800700CE); // ERROR_FILENAME_EXCED_RANGE

namespace paths {

// folder + "\" + name, with no doubled backslash; an empty folder gives the name.
std::wstring Join(const std::wstring& folder, const std::wstring& name);
// The last component of a path: the whole path when it has no backslash.
std::wstring LastComponent(const std::wstring& path);
// The path without its last component; empty when it has no backslash.
std::wstring Parent(const std::wstring& path);

// Removes one trailing backslash, if there is one.
void TrimOneTrailingBackslash(std::wstring& path);
// Removes every trailing backslash but leaves a lone "\" standing.
void TrimTrailingBackslashes(std::wstring& path);

bool Exists(const std::wstring& path);
bool IsFile(const std::wstring& path);
bool IsDirectory(const std::wstring& path);

} // namespace paths
