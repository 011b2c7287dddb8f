// A VARIANT in one line: its type and, for a string or a byte array, its length
// and the first characters or bytes.
#pragma once

#include <windows.h>
#include <oleauto.h>

#include <string>

namespace client {

// Characters of a string and bytes of an array shown before "...".
constexpr size_t kSummaryCharacters = 48;
constexpr size_t kSummaryBytes = 16;

// "VT_I4", "VT_ARRAY|VT_UI1", or "vt 0x0049" for a type without a name here.
std::wstring VariantTypeName(VARTYPE type);

// "VT_BSTR, 3 characters: \"a\\r\\n\"", "VT_ARRAY|VT_UI1, 2 bytes: 3C 3F", "VT_EMPTY".
std::wstring SummariseVariant(const VARIANT& value);

} // namespace client
