// Language and graphics files are resource-only libraries that the user's
// installation supplies. Before one is mapped its headers are checked against
// the bytes actually there, so that a truncated, damaged or oversized file is
// refused instead of being handed to the loader and the string reader.
#pragma once

#include <windows.h>

#include <string>

namespace localisation {

// No language or graphics file comes near this; a larger one is not read.
constexpr ULONGLONG kMaxResourceFileBytes = 64ull * 1024 * 1024;

// True when the file can be read, is not larger than kMaxResourceFileBytes and
// its image headers and every section's data lie within it.
bool IsWholeResourceFile(const std::wstring& path);

// The file mapped as a resource library (LOAD_WITH_ALTERED_SEARCH_PATH), or
// null when it is refused or cannot be mapped.
HMODULE MapResourceFile(const std::wstring& path);

} // namespace localisation
