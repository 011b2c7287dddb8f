#include "ObexTransport.h"

#include "ObexResults.h"
#include "common/ErrorFlow.h"
#include "common/Resource.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <algorithm>
#include <cwctype>

namespace obex {

namespace {

struct socket_traits {
    using type = SOCKET;
    static SOCKET invalid() { return INVALID_SOCKET; }
    static void close(SOCKET s) { closesocket(s); }
};
using unique_socket = unique_resource<socket_traits>;

// One WSAStartup, undone by its owner.
class WinsockUser
{
public:
    WinsockUser()
    {
        WSADATA data;
        started_ = WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }
    WinsockUser(const WinsockUser&) = delete;
    WinsockUser& operator=(const WinsockUser&) = delete;
    ~WinsockUser()
    {
        if (started_)
            WSACleanup();
    }
    bool Started() const { return started_; }

private:
    bool started_ = false;
};

HRESULT LastSocketError()
{
    const int error = WSAGetLastError();
    if (error == WSAECONNRESET || error == WSAECONNABORTED || error == WSAESHUTDOWN)
        return kConnectionLost;
    if (error == WSAETIMEDOUT)
        return kTimeout;
    return HRESULT_FROM_WIN32(error);
}

timeval Timeval(DWORD timeoutMs)
{
    timeval limit;
    limit.tv_sec = static_cast<long>(timeoutMs / 1000);
    limit.tv_usec = static_cast<long>(timeoutMs % 1000 * 1000);
    return limit;
}

// Waits until the socket can be read (or written); kTimeout when it cannot in time.
HRESULT Wait(SOCKET socket, bool write, DWORD timeoutMs)
{
    fd_set ready;
    FD_ZERO(&ready);
    FD_SET(socket, &ready);
    fd_set failed = ready;
    timeval limit = Timeval(timeoutMs);
    const int count = select(0, write ? nullptr : &ready, write ? &ready : nullptr, &failed, &limit);
    if (count == SOCKET_ERROR)
        return LastSocketError();
    return count == 0 ? kTimeout : S_OK;
}

class TcpTransport : public Transport
{
public:
    HRESULT Connect(const std::string& host, uint16_t port, DWORD timeoutMs);
    HRESULT Send(const uint8_t* data, size_t size, DWORD timeoutMs) override;
    HRESULT Receive(uint8_t* buffer, size_t capacity, size_t& received, DWORD timeoutMs) override;
    void Close() override { socket_.reset(); }

private:
    HRESULT UseTimeout(DWORD timeoutMs);

    WinsockUser winsock_; // outlives the socket: members end in reverse order
    unique_socket socket_;
    DWORD timeoutMs_ = 0; // the one set on the socket for sending and receiving
};

HRESULT TcpTransport::Connect(const std::string& host, uint16_t port, DWORD timeoutMs)
{
    if (!winsock_.Started())
        return HRESULT_FROM_WIN32(WSASYSNOTREADY);
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    addrinfo* found = nullptr;
    const int error = getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found);
    if (error != 0)
        return HRESULT_FROM_WIN32(error);
    std::unique_ptr<addrinfo, decltype(&freeaddrinfo)> addresses(found, freeaddrinfo);

    socket_.reset(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
    if (!socket_)
        return LastSocketError();
    // Connect without blocking, so that an unreachable host costs the timeout,
    // not the system's own minutes.
    u_long nonBlocking = 1;
    if (ioctlsocket(socket_.get(), FIONBIO, &nonBlocking) != 0)
        return LastSocketError();
    if (connect(socket_.get(), addresses->ai_addr, static_cast<int>(addresses->ai_addrlen)) != 0 &&
        WSAGetLastError() != WSAEWOULDBLOCK)
        return LastSocketError();
    const HRESULT hr = Wait(socket_.get(), true, timeoutMs);
    if (FAILED(hr))
        return hr;
    int result = 0;
    int resultSize = sizeof result;
    if (getsockopt(socket_.get(), SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&result), &resultSize) != 0)
        return LastSocketError();
    if (result != 0)
        return HRESULT_FROM_WIN32(result);
    // Then blocking calls bounded by the socket's own timeouts: a select before
    // every call would cost a round trip to the system per packet.
    nonBlocking = 0;
    if (ioctlsocket(socket_.get(), FIONBIO, &nonBlocking) != 0)
        return LastSocketError();
    // Every request waits for its answer: no packet may sit in the send queue.
    BOOL noDelay = TRUE;
    setsockopt(socket_.get(), IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&noDelay), sizeof noDelay);
    return UseTimeout(timeoutMs);
}

HRESULT TcpTransport::UseTimeout(DWORD timeoutMs)
{
    // Zero would mean "wait forever" to the socket.
    timeoutMs = std::max<DWORD>(timeoutMs, 1);
    if (timeoutMs == timeoutMs_)
        return S_OK;
    const char* value = reinterpret_cast<const char*>(&timeoutMs);
    if (setsockopt(socket_.get(), SOL_SOCKET, SO_RCVTIMEO, value, sizeof timeoutMs) != 0 ||
        setsockopt(socket_.get(), SOL_SOCKET, SO_SNDTIMEO, value, sizeof timeoutMs) != 0)
        return LastSocketError();
    timeoutMs_ = timeoutMs;
    return S_OK;
}

HRESULT TcpTransport::Send(const uint8_t* data, size_t size, DWORD timeoutMs)
{
    if (!socket_)
        return kNotConnected;
    RETURN_IF_FAILED(UseTimeout(timeoutMs));
    while (size > 0) {
        const int sent = send(socket_.get(), reinterpret_cast<const char*>(data),
                              static_cast<int>(size > 0x10000 ? 0x10000 : size), 0);
        if (sent == SOCKET_ERROR)
            return LastSocketError();
        data += sent;
        size -= static_cast<size_t>(sent);
    }
    return S_OK;
}

HRESULT TcpTransport::Receive(uint8_t* buffer, size_t capacity, size_t& received, DWORD timeoutMs)
{
    received = 0;
    if (!socket_)
        return kNotConnected;
    RETURN_IF_FAILED(UseTimeout(timeoutMs));
    const int count = recv(socket_.get(), reinterpret_cast<char*>(buffer),
                           static_cast<int>(capacity > 0x10000 ? 0x10000 : capacity), 0);
    if (count == SOCKET_ERROR)
        return LastSocketError();
    if (count == 0)
        return kConnectionLost;
    received = static_cast<size_t>(count);
    return S_OK;
}

bool IsHostCharacter(wchar_t c)
{
    return (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z') || (c >= L'0' && c <= L'9') || c == L'.' || c == L'-';
}

} // namespace

HRESULT ParseTcpAddress(const std::wstring& address, std::string& host, uint16_t& port)
{
    static const std::wstring kScheme = L"tcp:";
    if (address.compare(0, kScheme.size(), kScheme) != 0)
        return kAddressNotServed;
    const std::wstring rest = address.substr(kScheme.size());
    const size_t colon = rest.find(L':');
    const std::wstring hostText = rest.substr(0, colon);
    unsigned long portValue = kDefaultTcpPort;
    if (colon != std::wstring::npos) {
        const std::wstring portText = rest.substr(colon + 1);
        if (portText.empty() || portText.size() > 5)
            return kAddressNotServed;
        portValue = 0;
        for (wchar_t c : portText) {
            if (c < L'0' || c > L'9')
                return kAddressNotServed;
            portValue = portValue * 10 + static_cast<unsigned long>(c - L'0');
        }
        if (portValue == 0 || portValue > 0xFFFF)
            return kAddressNotServed;
    }
    if (hostText.empty())
        return kAddressNotServed;
    host.clear();
    for (wchar_t c : hostText) {
        if (!IsHostCharacter(c))
            return kAddressNotServed;
        host.push_back(static_cast<char>(c));
    }
    port = static_cast<uint16_t>(portValue);
    return S_OK;
}

HRESULT OpenTransport(const std::wstring& address, DWORD timeoutMs, std::unique_ptr<Transport>& transport)
{
    transport.reset();
    std::string host;
    uint16_t port = 0;
    HRESULT hr = ParseTcpAddress(address, host, port);
    if (FAILED(hr))
        return hr;
    auto tcp = std::make_unique<TcpTransport>();
    hr = tcp->Connect(host, port, timeoutMs);
    if (FAILED(hr))
        return hr;
    transport = std::move(tcp);
    return S_OK;
}

} // namespace obex
