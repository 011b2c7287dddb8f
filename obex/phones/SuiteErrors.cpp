#include "SuiteErrors.h"

#include "obex/protocol/ObexResults.h"

namespace obex {

HRESULT SuiteResult(HRESULT hr)
{
    using namespace suite_error;
    if (SUCCEEDED(hr))
        return hr;
    switch (hr) {
    case kTimeout:
        return NoAnswer;
    case kConnectionLost:
    case kNotConnected:
    case kAddressNotServed:
        return ConnectionLost;
    case kMalformed:
    case kBadListing:
    case kRequestTooLarge:
    case kWrongState:
        return TransferFailed;
    default:
        break;
    }
    // The link's own failures: no listener, a refused or reset connection.
    if (HRESULT_FACILITY(hr) == FACILITY_WIN32 && HRESULT_CODE(hr) >= 10000 && HRESULT_CODE(hr) < 12000)
        return NoAnswer;
    if (static_cast<HRESULT>(hr & 0xFFFFFF00) != kResponseBase)
        return hr;
    switch (hr & 0x7F) {
    case 0x41: // Unauthorized
    case 0x43: // Forbidden
        return AccessDenied;
    case 0x44: // Not Found
        return NotFound;
    case 0x4D: // Request Entity Too Large
        return TooLargeForPhone;
    case 0x51: // Not Implemented
        return NotSupported;
    case 0x53: // Service Unavailable
        return Busy;
    case 0x60: // Database Full
        return MemoryFull;
    case 0x61: // Database Locked
        return Busy;
    default:
        return TransferFailed;
    }
}

} // namespace obex
