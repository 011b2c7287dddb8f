// Names of the results the client reports, printed after their number.
#pragma once

#include <windows.h>

namespace client {

// The platform's name of a well-known HRESULT, or what a phone component code
// (0x80040000 plus the code in the low 16 bits) means; null when unknown.
const wchar_t* ErrorName(HRESULT hr);

} // namespace client
