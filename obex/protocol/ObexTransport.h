// The seam between the OBEX session and the link that carries it. TCP is the
// link this build serves; others (Bluetooth RFCOMM) fit behind the same seam.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>

namespace obex {

constexpr DWORD kDefaultTimeoutMs = 10000;
constexpr uint16_t kDefaultTcpPort = 650; // the IrOBEX port

class Transport
{
public:
    virtual ~Transport() = default;
    // Sends every byte; kTimeout when the peer takes none for timeoutMs.
    virtual HRESULT Send(const uint8_t* data, size_t size, DWORD timeoutMs) = 0;
    // Receives at least one byte and at most capacity; kTimeout when nothing
    // arrives within timeoutMs, kConnectionLost when the peer has closed.
    virtual HRESULT Receive(uint8_t* buffer, size_t capacity, size_t& received, DWORD timeoutMs) = 0;
    virtual void Close() = 0;
};

// "tcp:HOST:PORT" or "tcp:HOST" (port 650); anything else, Bluetooth and
// IrDA forms included, is kAddressNotServed.
HRESULT ParseTcpAddress(const std::wstring& address, std::string& host, uint16_t& port);

// A transport connected to the address, within timeoutMs.
HRESULT OpenTransport(const std::wstring& address, DWORD timeoutMs, std::unique_ptr<Transport>& transport);

} // namespace obex
