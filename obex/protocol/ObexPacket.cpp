#include "ObexPacket.h"

#include "ByteReader.h"
#include "ObexResults.h"

#include <cstdio>
#include <utility>

namespace obex {

namespace {
constexpr uint8_t kEncodingMask = 0xC0;
constexpr uint8_t kTextHeader = 0x00;
constexpr uint8_t kBytesHeader = 0x40;
constexpr uint8_t kOneByteHeader = 0x80;
constexpr size_t kPrefix = 3; // opcode or response code, 16-bit length
} // namespace

Request::Request(uint8_t opcode) : bytes_{opcode, 0, 0} {}

void Request::U8(uint8_t value)
{
    ByteWriter(bytes_).U8(value);
}

void Request::U16(uint16_t value)
{
    ByteWriter(bytes_).U16(value);
}

void Request::Header(uint8_t id, size_t size)
{
    ByteWriter out(bytes_);
    out.U8(id);
    // An oversized header makes the packet too large for Finish to accept.
    out.U16(static_cast<uint16_t>(size + 3 > 0xFFFF ? 0xFFFF : size + 3));
}

void Request::Text(uint8_t id, const std::wstring& text)
{
    const size_t size = text.empty() ? 0 : (text.size() + 1) * 2;
    Header(id, size);
    ByteWriter out(bytes_);
    for (wchar_t c : text)
        out.U16(static_cast<uint16_t>(c));
    if (!text.empty())
        out.U16(0);
}

void Request::Ascii(uint8_t id, const std::string& text)
{
    Header(id, text.size() + 1);
    ByteWriter out(bytes_);
    out.Bytes(reinterpret_cast<const uint8_t*>(text.c_str()), text.size() + 1);
}

void Request::Bytes(uint8_t id, const uint8_t* data, size_t size)
{
    Header(id, size);
    ByteWriter(bytes_).Bytes(data, size);
}

void Request::Four(uint8_t id, uint32_t value)
{
    ByteWriter out(bytes_);
    out.U8(id);
    out.U32(value);
}

void Request::UtcTime(uint8_t id, const SYSTEMTIME& utc)
{
    char text[32];
    const int length = snprintf(text, sizeof text, "%04u%02u%02uT%02u%02u%02uZ", utc.wYear, utc.wMonth, utc.wDay,
                                utc.wHour, utc.wMinute, utc.wSecond);
    Bytes(id, reinterpret_cast<const uint8_t*>(text), static_cast<size_t>(length));
}

HRESULT Request::Finish(size_t maxPacket, std::vector<uint8_t>& packet)
{
    if (bytes_.size() > maxPacket || bytes_.size() > 0xFFFF)
        return kRequestTooLarge;
    bytes_[1] = static_cast<uint8_t>(bytes_.size() >> 8);
    bytes_[2] = static_cast<uint8_t>(bytes_.size());
    packet = std::move(bytes_);
    bytes_.clear();
    return S_OK;
}

HRESULT ParseResponse(const uint8_t* data, size_t size, bool connect, Response& response)
{
    response = Response{};
    ByteReader reader(data, size);
    uint16_t length = 0;
    if (!reader.U8(response.code) || !reader.U16(length) || length < kPrefix || length != size)
        return kMalformed;
    if (connect) {
        if (!reader.U8(response.version) || !reader.U8(response.flags) || !reader.U16(response.maxPacket))
            return kMalformed;
        // A refused CONNECT's packet size is never used.
        if (response.maxPacket < kMinPacket && SUCCEEDED(ResultFromResponse(response.code)))
            return kMalformed;
    }
    while (reader.Left() > 0) {
        Header header;
        reader.U8(header.id);
        switch (header.id & kEncodingMask) {
        case kTextHeader:
        case kBytesHeader: {
            uint16_t headerLength = 0;
            if (!reader.U16(headerLength) || headerLength < 3 || !reader.Take(headerLength - 3u, header.data))
                return kMalformed;
            header.size = headerLength - 3u;
            // UTF-16 text: whole characters, and the terminator unless empty.
            if ((header.id & kEncodingMask) == kTextHeader &&
                (header.size % 2 != 0 ||
                 (header.size > 0 && (header.data[header.size - 2] != 0 || header.data[header.size - 1] != 0))))
                return kMalformed;
            break;
        }
        case kOneByteHeader: {
            uint8_t value = 0;
            if (!reader.U8(value))
                return kMalformed;
            header.value = value;
            break;
        }
        default:
            if (!reader.U32(header.value))
                return kMalformed;
            break;
        }
        response.headers.push_back(header);
    }
    return S_OK;
}

} // namespace obex
