// Reading string values of the registry into the fixed buffers of the contract.
#pragma once

#include <windows.h>

// Reads a string value into a buffer of `length` characters, always terminated.
// A value that does not fit with its terminator gives ERROR_MORE_DATA; a value
// of another type ERROR_INVALID_DATATYPE.
LSTATUS ReadRegistryString(HKEY key, const wchar_t* name, wchar_t* buffer, DWORD length);
