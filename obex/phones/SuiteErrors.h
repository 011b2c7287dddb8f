// The OBEX suite's failure codes. The server keeps the low 16 bits of a code and
// names it in its error box, so each failure gets a code whose text fits.
#pragma once

#include <windows.h>

namespace obex {

namespace suite_error {
constexpr HRESULT BadPath = static_cast<HRESULT>(0x80044341);   // malformed path or name
constexpr HRESULT BadHandle = static_cast<HRESULT>(0x80044346); // unknown handle, or the wrong mode for it
constexpr HRESULT NotFound = static_cast<HRESULT>(0x80044353);  // "The file or folder was not found on the phone."
// "A file or folder with this name already exists.": also a write over an
// existing file that the phone answered but did not do.
constexpr HRESULT AlreadyExists = static_cast<HRESULT>(0x80044354);
constexpr HRESULT FolderNotEmpty = static_cast<HRESULT>(0x8004434C);
constexpr HRESULT AccessDenied = static_cast<HRESULT>(0x80044203);
constexpr HRESULT NoAnswer = static_cast<HRESULT>(0x8004434A); // "The phone did not answer."
constexpr HRESULT ConnectionLost = static_cast<HRESULT>(0x80044251);
constexpr HRESULT Busy = static_cast<HRESULT>(0x80044334);
constexpr HRESULT TooLargeForPhone = static_cast<HRESULT>(0x80044345);
constexpr HRESULT NotSupported = static_cast<HRESULT>(0x80046012);
constexpr HRESULT TransferFailed = static_cast<HRESULT>(0x80044342); // "The file could not be transferred."
constexpr HRESULT Cancelled = static_cast<HRESULT>(0x80044252);
constexpr HRESULT MemoryFull = static_cast<HRESULT>(0x80044360);
// The capability object is larger than the caller's limit.
constexpr HRESULT CapabilityTooLarge = static_cast<HRESULT>(0x80044361);
} // namespace suite_error

// What the server hears of a result of the OBEX client: OBEX responses, the
// client's own failures and those of the socket become the suite's codes above;
// anything else (E_OUTOFMEMORY, E_INVALIDARG) passes unchanged. Applied once,
// where the client answers: the suite's codes share the responses' range.
HRESULT SuiteResult(HRESULT obexResult);

} // namespace obex
