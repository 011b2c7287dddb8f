// OBEX response codes as results, and the addresses a phone may have.
#include "ScriptedPeer.h"

#include "phone/PhoneFileSystem.h"

#include <gtest/gtest.h>

using namespace obex_tests;

TEST(ObexResults, ResponseCodesKeepTheirCodeInTheLowWord)
{
    const std::pair<uint8_t, HRESULT> cases[] = {
        {0xA0, S_OK},
        {0xA1, S_OK}, // Created
        {0x90, S_FALSE},
        {0xC4, static_cast<HRESULT>(0x80044344)}, // Not Found
        {0xE0, phone::kMemoryFull},               // Database Full
        {0x44, static_cast<HRESULT>(0x80044344)}, // without the final bit
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.second, obex::ResultFromResponse(c.first)) << std::hex << int(c.first);
    EXPECT_EQ(phone::kMemoryFullCode, obex::ResultFromResponse(0xE0) & 0xFFFF);
}

TEST(ObexTransport, OnlyTcpAddressesAreServed)
{
    struct Case {
        const wchar_t* address;
        HRESULT expected;
        const char* host;
        uint16_t port;
    };
    const Case cases[] = {
        {L"tcp:127.0.0.1:6500", S_OK, "127.0.0.1", 6500},
        {L"tcp:127.0.0.1", S_OK, "127.0.0.1", 650},
        {L"tcp:phone-1.local:65535", S_OK, "phone-1.local", 65535},
        // Other forms, ports out of range and hosts with blanks: see the phone configuration's tests.
        {L"tcp:", obex::kAddressNotServed, "", 0},
        {L"tcp:127.0.0.1:", obex::kAddressNotServed, "", 0},
    };
    for (const Case& c : cases) {
        std::string host;
        uint16_t port = 0;
        EXPECT_EQ(c.expected, obex::ParseTcpAddress(c.address, host, port)) << c.address;
        if (c.expected == S_OK) {
            EXPECT_EQ(c.host, host);
            EXPECT_EQ(c.port, port);
        }
    }
    std::unique_ptr<obex::Transport> transport;
    EXPECT_EQ(obex::kAddressNotServed, obex::OpenTransport(L"bt:00:11:22:33:44:55", 1000, transport));
    EXPECT_FALSE(transport);
    EXPECT_NE(std::wstring::npos,
              std::wstring(obex::ResultText(obex::kAddressNotServed)).find(L"not served by this build"));
}
