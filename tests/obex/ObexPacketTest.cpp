// OBEX responses read from bytes, response codes as results, and addresses.
#include "ScriptedPeer.h"

#include "obex/protocol/ObexPacket.h"
#include "phone/PhoneFileSystem.h"

#include <gtest/gtest.h>

using namespace obex_tests;

TEST(ObexPacket, ReadsHeadersOfEveryEncoding)
{
    // Name "a", Who, Length (four bytes), a one-byte header, an empty Body.
    const Bytes bytes = Hex("A0 00 19  01 00 07 00 61 00 00  4A 00 05 01 02  C3 00 00 10 00  97 05  48 00 03");
    obex::Response response;
    ASSERT_EQ(S_OK, obex::ParseResponse(bytes.data(), bytes.size(), false, response));
    EXPECT_EQ(0xA0, response.code);
    ASSERT_EQ(5u, response.headers.size());
    EXPECT_EQ(Hex("00 61 00 00"), Bytes(response.headers[0].data, response.headers[0].data + response.headers[0].size));
    EXPECT_EQ(Hex("01 02"), Bytes(response.headers[1].data, response.headers[1].data + response.headers[1].size));
    EXPECT_EQ(0x1000u, response.headers[2].value);
    EXPECT_EQ(0x05u, response.headers[3].value);
    EXPECT_EQ(0u, response.headers[4].size);
}

TEST(ObexPacket, BytesThatBreakTheProtocolAreRefused)
{
    struct Case {
        const char* what;
        bool connect;
        const char* bytes;
        HRESULT expected;
    };
    const Case cases[] = {
        {"packet length below 3", false, "A0 00 02", obex::kMalformed},
        {"packet length beyond the bytes", false, "A0 00 09 48 00 03", obex::kMalformed},
        {"packet length short of the bytes", false, "A0 00 03 48 00 03", obex::kMalformed},
        {"two bytes only", false, "A0 00", obex::kMalformed},
        {"header length beyond the packet", false, "A0 00 08 48 00 10 61 62", obex::kMalformed},
        {"header length below 3", false, "A0 00 06 48 00 02", obex::kMalformed},
        {"header length cut", false, "A0 00 05 48 00", obex::kMalformed},
        {"text of odd length", false, "A0 00 07 01 00 04 61", obex::kMalformed},
        {"text without terminator", false, "A0 00 0A 01 00 07 00 61 00 62", obex::kMalformed},
        {"four-byte header cut", false, "A0 00 06 CB 00 00", obex::kMalformed},
        {"one-byte header cut", false, "A0 00 04 97", obex::kMalformed},
        {"CONNECT response of 6 bytes", true, "A0 00 06 10 00 04", obex::kMalformed},
        {"CONNECT response of 3 bytes", true, "A0 00 03", obex::kMalformed},
        {"packet size 254", true, "A0 00 07 10 00 00 FE", obex::kMalformed},
        {"packet size 255", true, "A0 00 07 10 00 00 FF", S_OK},
        {"refused CONNECT, packet size 0", true, "C3 00 07 10 00 00 00", S_OK},
        {"empty text", false, "A0 00 06 01 00 03", S_OK},
    };
    for (const Case& c : cases) {
        const Bytes bytes = Hex(c.bytes);
        obex::Response response;
        EXPECT_EQ(c.expected, obex::ParseResponse(bytes.data(), bytes.size(), c.connect, response)) << c.what;
    }
}

TEST(ObexResults, ResponseCodesKeepTheirCodeInTheLowWord)
{
    const std::pair<uint8_t, HRESULT> cases[] = {
        {0xA0, S_OK},
        {0xA1, S_OK}, // Created
        {0x90, S_FALSE},
        {0xC0, static_cast<HRESULT>(0x80044340)}, // Bad Request
        {0xC3, static_cast<HRESULT>(0x80044343)}, // Forbidden
        {0xC4, static_cast<HRESULT>(0x80044344)}, // Not Found
        {0xCD, static_cast<HRESULT>(0x8004434D)}, // Request Entity Too Large
        {0xD1, static_cast<HRESULT>(0x80044351)}, // Not Implemented
        {0xD3, static_cast<HRESULT>(0x80044353)}, // Service Unavailable
        {0xE0, phone::kMemoryFull},               // Database Full
        {0xE1, static_cast<HRESULT>(0x80044361)}, // Database Locked
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
        {L"bt:00:11:22:33:44:55", obex::kAddressNotServed, "", 0},
        {L"irda:", obex::kAddressNotServed, "", 0},
        {L"garbage", obex::kAddressNotServed, "", 0},
        {L"", obex::kAddressNotServed, "", 0},
        {L"tcp:", obex::kAddressNotServed, "", 0},
        {L"tcp::650", obex::kAddressNotServed, "", 0},
        {L"tcp:127.0.0.1:", obex::kAddressNotServed, "", 0},
        {L"tcp:127.0.0.1:0", obex::kAddressNotServed, "", 0},
        {L"tcp:127.0.0.1:65536", obex::kAddressNotServed, "", 0},
        {L"tcp:127.0.0.1:65x", obex::kAddressNotServed, "", 0},
        {L"tcp:127.0.0.1:650:1", obex::kAddressNotServed, "", 0},
        {L"tcp:my phone", obex::kAddressNotServed, "", 0},
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
