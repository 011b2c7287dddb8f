// Recorded OBEX byte sequences for the client's tests: packets written as hex
// text, and a transport that replays a peer's answers and keeps what was sent.
#pragma once

#include "obex/protocol/ObexResults.h"
#include "obex/protocol/ObexTransport.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace obex_tests {

using Bytes = std::vector<uint8_t>;

// "80 00 1A 10" as bytes; spaces are ignored.
inline Bytes Hex(const std::string& text)
{
    Bytes bytes;
    for (size_t i = text.find_first_not_of(' '); i < text.size(); i = text.find_first_not_of(' ', i + 2))
        bytes.push_back(static_cast<uint8_t>(std::stoi(text.substr(i, 2), nullptr, 16)));
    return bytes;
}

inline Bytes Text(const std::string& text)
{
    return Bytes(text.begin(), text.end());
}

inline Bytes operator+(Bytes a, const Bytes& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// A byte-sequence header (Body, End-of-Body, Who...) with its length; a response
// packet (code, length, the rest) has the same form.
inline Bytes ByteHeader(uint8_t id, const Bytes& data)
{
    const size_t length = data.size() + 3;
    return Bytes{id, static_cast<uint8_t>(length >> 8), static_cast<uint8_t>(length)} + data;
}

inline Bytes Packet(uint8_t code, const Bytes& rest = {})
{
    return ByteHeader(code, rest);
}

// CONNECT accepted with a packet size and Connection Id 1, as obexftpd answers.
inline Bytes ConnectOk(const std::string& maxPacket = "04 00")
{
    return Packet(0xA0, Hex("10 00" + maxPacket) + ByteHeader(0x4A, Hex("F9EC7BC4953C11D2984E525400DC9E09")) +
                            Hex("CB 00 00 00 01"));
}

struct PeerLog {
    std::vector<Bytes> sent;
    bool closed = false;
};

// Replays the peer's bytes in order; when they run out it answers `atEnd`
// at once (a timeout by default: a peer that never answers, without waiting).
class ScriptedTransport : public obex::Transport
{
public:
    ScriptedTransport(std::shared_ptr<PeerLog> log, Bytes replies, HRESULT atEnd = obex::kTimeout)
        : log_(std::move(log)), replies_(std::move(replies)), atEnd_(atEnd)
    {
    }
    HRESULT Send(const uint8_t* data, size_t size, DWORD) override
    {
        log_->sent.emplace_back(data, data + size);
        return S_OK;
    }
    HRESULT Receive(uint8_t* buffer, size_t capacity, size_t& received, DWORD) override
    {
        received = std::min(capacity, replies_.size() - at_);
        if (received == 0)
            return atEnd_;
        memcpy(buffer, replies_.data() + at_, received);
        at_ += received;
        return S_OK;
    }
    void Close() override { log_->closed = true; }

private:
    std::shared_ptr<PeerLog> log_;
    Bytes replies_;
    size_t at_ = 0;
    HRESULT atEnd_;
};

} // namespace obex_tests
