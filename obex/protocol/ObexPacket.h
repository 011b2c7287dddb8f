// OBEX packets: requests as the client builds them, responses as it reads them.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace obex {

constexpr uint8_t kFinal = 0x80;

namespace op {
constexpr uint8_t Connect = 0x80;
constexpr uint8_t Disconnect = 0x81;
constexpr uint8_t Put = 0x02;
constexpr uint8_t Get = 0x03;
constexpr uint8_t SetPath = 0x85;
constexpr uint8_t Abort = 0xFF;
} // namespace op

// Header ids; the high two bits give the encoding: 0x00 UTF-16BE text, 0x40
// bytes, both with a 16-bit length; 0x80 one byte; 0xC0 four bytes.
namespace hi {
constexpr uint8_t Name = 0x01;
constexpr uint8_t Type = 0x42;
constexpr uint8_t Length = 0xC3;
constexpr uint8_t Time = 0x44;
constexpr uint8_t Target = 0x46;
constexpr uint8_t Who = 0x4A;
constexpr uint8_t ConnectionId = 0xCB;
constexpr uint8_t Body = 0x48;
constexpr uint8_t EndOfBody = 0x49;
} // namespace hi

constexpr uint16_t kMinPacket = 255; // the least maximum packet size a peer may state
constexpr uint8_t kVersion = 0x10;   // OBEX 1.0

// A request: opcode, length, the opcode's own fields and headers.
class Request
{
public:
    explicit Request(uint8_t opcode);

    void U8(uint8_t value);
    void U16(uint16_t value);
    // Text header: UTF-16BE with its terminator; an empty text has neither.
    void Text(uint8_t id, const std::wstring& text);
    // Type header: ASCII with its terminator.
    void Ascii(uint8_t id, const std::string& text);
    void Bytes(uint8_t id, const uint8_t* data, size_t size);
    void Four(uint8_t id, uint32_t value);
    // Time header, "YYYYMMDDTHHMMSSZ".
    void UtcTime(uint8_t id, const SYSTEMTIME& utc);

    // Hands out the finished packet; kRequestTooLarge when it exceeds maxPacket.
    HRESULT Finish(size_t maxPacket, std::vector<uint8_t>& packet);

private:
    void Header(uint8_t id, size_t size);
    std::vector<uint8_t> bytes_;
};

// One header of a response; data points into the received packet.
struct Header {
    uint8_t id = 0;
    const uint8_t* data = nullptr; // text and byte headers
    size_t size = 0;
    uint32_t value = 0; // one- and four-byte headers
};

struct Response {
    uint8_t code = 0;
    // CONNECT responses only.
    uint8_t version = 0;
    uint8_t flags = 0;
    uint16_t maxPacket = 0;
    std::vector<Header> headers;
};

// Reads one whole response packet. Every length is checked against the bytes
// given: kMalformed for a packet length below 3 or other than size, a header
// that overruns, a text without its terminator, a CONNECT response shorter than
// 7 bytes or stating a packet size below 255.
HRESULT ParseResponse(const uint8_t* data, size_t size, bool connect, Response& response);

} // namespace obex
