// Failure codes of the simulated phone components. The server keeps the low
// 16 bits of every code, so each code carries its meaning there.
#pragma once

#include <windows.h>

namespace suite_error {
constexpr HRESULT BadPath = static_cast<HRESULT>(0x80044341);      // malformed path or name
constexpr HRESULT StoreFailure = static_cast<HRESULT>(0x80044342); // the store could not be read or written
constexpr HRESULT NotFound = static_cast<HRESULT>(0x80044343);
constexpr HRESULT AlreadyExists = static_cast<HRESULT>(0x80044344);
constexpr HRESULT FolderNotEmpty = static_cast<HRESULT>(0x80044345);
constexpr HRESULT BadHandle = static_cast<HRESULT>(0x80044346); // unknown handle, or the wrong mode for it
constexpr HRESULT Cancelled = static_cast<HRESULT>(0x80044252);
constexpr HRESULT MemoryFull = static_cast<HRESULT>(0x80044360);
constexpr HRESULT TooLarge = static_cast<HRESULT>(0x80044361); // an answer that does not fit the caller's limit
} // namespace suite_error
