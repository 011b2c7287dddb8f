// The results of the OBEX client. An OBEX response code c (final bit aside)
// fails as 0x80044300 | (c & 0x7F); the client's own failures follow from 0x80044380.
#pragma once

#include <windows.h>

#include <cstdint>

namespace obex {

constexpr HRESULT kResponseBase = static_cast<HRESULT>(0x80044300);

// The peer sent bytes that break the protocol: a length that lies, a packet
// too short, a text without its terminator.
constexpr HRESULT kMalformed = static_cast<HRESULT>(0x80044380);
// Nothing arrived within the receive timeout.
constexpr HRESULT kTimeout = static_cast<HRESULT>(0x80044381);
// The peer closed the connection or it broke.
constexpr HRESULT kConnectionLost = static_cast<HRESULT>(0x80044382);
// An address form not served by this build (only "tcp:HOST[:PORT]" is).
constexpr HRESULT kAddressNotServed = static_cast<HRESULT>(0x80044383);
// A request's headers do not fit in one packet of the peer's size.
constexpr HRESULT kRequestTooLarge = static_cast<HRESULT>(0x80044384);
// No session: never connected, disconnected, or broken by an earlier failure.
constexpr HRESULT kNotConnected = static_cast<HRESULT>(0x80044385);
// A call out of order: a chunk with no transfer running, a GET during a PUT
// (the platform's E_ILLEGAL_METHOD_CALL).
constexpr HRESULT kWrongState = static_cast<HRESULT>(0x8000000E);
// A folder listing that cannot be read as one.
constexpr HRESULT kBadListing = static_cast<HRESULT>(0x80044386);

// The one mapping of response codes: success (0xA0 to 0xA6) is S_OK, continue
// (0x90) S_FALSE, everything else a failure carrying the code.
HRESULT ResultFromResponse(uint8_t code);

// A short English text for the client's own results, for traces and the
// command line; null for any other value.
const wchar_t* ResultText(HRESULT hr);

} // namespace obex
