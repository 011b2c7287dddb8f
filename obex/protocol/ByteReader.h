// Big-endian reading and writing. Every read is checked against the bytes
// actually there: a failed read is the caller's protocol error, never a read past.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace obex {

class ByteReader
{
public:
    ByteReader(const uint8_t* data, size_t size) : p_(data), end_(data + size) {}

    size_t Left() const { return static_cast<size_t>(end_ - p_); }
    bool Take(size_t n, const uint8_t*& out)
    {
        if (Left() < n)
            return false;
        out = p_;
        p_ += n;
        return true;
    }
    bool U8(uint8_t& v)
    {
        const uint8_t* b;
        if (!Take(1, b))
            return false;
        v = b[0];
        return true;
    }
    bool U16(uint16_t& v)
    {
        const uint8_t* b;
        if (!Take(2, b))
            return false;
        v = static_cast<uint16_t>(b[0] << 8 | b[1]);
        return true;
    }
    bool U32(uint32_t& v)
    {
        const uint8_t* b;
        if (!Take(4, b))
            return false;
        v = uint32_t(b[0]) << 24 | uint32_t(b[1]) << 16 | uint32_t(b[2]) << 8 | b[3];
        return true;
    }

private:
    const uint8_t* p_;
    const uint8_t* end_;
};

class ByteWriter
{
public:
    explicit ByteWriter(std::vector<uint8_t>& out) : out_(out) {}

    void U8(uint8_t v) { out_.push_back(v); }
    void U16(uint16_t v)
    {
        out_.push_back(static_cast<uint8_t>(v >> 8));
        out_.push_back(static_cast<uint8_t>(v));
    }
    void U32(uint32_t v)
    {
        U16(static_cast<uint16_t>(v >> 16));
        U16(static_cast<uint16_t>(v));
    }
    void Bytes(const uint8_t* data, size_t size) { out_.insert(out_.end(), data, data + size); }

private:
    std::vector<uint8_t>& out_;
};

} // namespace obex
