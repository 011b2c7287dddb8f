#include "ObexResults.h"

namespace obex {

namespace {
constexpr uint8_t kContinue = 0x10;
constexpr uint8_t kFirstSuccess = 0x20; // OK
constexpr uint8_t kLastSuccess = 0x26;  // Partial Content
} // namespace

HRESULT ResultFromResponse(uint8_t code)
{
    const uint8_t plain = code & 0x7F;
    if (plain == kContinue)
        return S_FALSE;
    if (plain >= kFirstSuccess && plain <= kLastSuccess)
        return S_OK;
    // Only Database Full (0xE0) says that the store has no room, and it lands
    // on the memory-full code 0x4360 by itself. Request Entity Too Large (0xCD)
    // refuses this one object, whatever the free space: it keeps 0x434D, which
    // the language files name apart.
    return kResponseBase | plain;
}

const wchar_t* ResultText(HRESULT hr)
{
    switch (hr) {
    case kMalformed:
        return L"The phone sent data that breaks the OBEX protocol.";
    case kTimeout:
        return L"The phone did not answer in time.";
    case kConnectionLost:
        return L"The connection to the phone was lost.";
    case kAddressNotServed:
        return L"This address form is not served by this build (use tcp:HOST or tcp:HOST:PORT).";
    case kRequestTooLarge:
        return L"The request does not fit in one packet of the phone's size.";
    case kNotConnected:
        return L"There is no OBEX session with the phone.";
    case kBadListing:
        return L"The phone sent a folder listing that cannot be read.";
    default:
        return nullptr;
    }
}

} // namespace obex
