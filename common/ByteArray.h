// File contents travel between the server, the phone components and their
// clients as a VARIANT holding a one-dimensional byte SAFEARRAY; lists of
// names as a one-dimensional BSTR SAFEARRAY.
#pragma once

#include <windows.h>
#include <oleauto.h>

#include <string>
#include <vector>

// The byte count of a one-dimensional array of single bytes (VT_UI1). E_POINTER
// for a null array; E_INVALIDARG for any other shape: more dimensions, wider or
// other elements, or bounds whose upper end does not fit a LONG.
HRESULT ByteArraySize(SAFEARRAY* array, size_t& size);

// Clears `out` and fills it with the bytes; E_OUTOFMEMORY when no array can be made.
HRESULT MakeByteArray(const std::vector<unsigned char>& bytes, VARIANT* out);

// The bytes of a byte-array VARIANT, also when it arrives by reference. A null
// array gives no bytes; any other kind of VARIANT, or an array of more than one
// dimension, gives E_INVALIDARG.
HRESULT ReadByteArray(const VARIANT& data, std::vector<unsigned char>& bytes);

// A new array of the texts, in order; E_OUTOFMEMORY when it cannot be made.
HRESULT MakeStringArray(const std::vector<std::wstring>& texts, SAFEARRAY** array);
