// The session over a real TCP connection to a small peer inside the test, on 127.0.0.1.
#include "ScriptedPeer.h"

#include "common/Resource.h"
#include "obex/protocol/ObexSession.h"

#include <gtest/gtest.h>

#include <winsock2.h>

#include <thread>

using namespace obex_tests;

namespace {

struct socket_traits {
    using type = SOCKET;
    static SOCKET invalid() { return INVALID_SOCKET; }
    static void close(SOCKET s) { closesocket(s); }
};
using unique_socket = unique_resource<socket_traits>;

// Listens on a free port of 127.0.0.1 and answers each request in turn.
class LoopbackPeer
{
public:
    explicit LoopbackPeer(std::vector<Bytes> answers) : answers_(std::move(answers))
    {
        WSADATA data;
        started_ = WSAStartup(MAKEWORD(2, 2), &data) == 0;
        listener_.reset(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        int size = sizeof address;
        if (bind(listener_.get(), reinterpret_cast<sockaddr*>(&address), size) == 0 &&
            listen(listener_.get(), 1) == 0 &&
            getsockname(listener_.get(), reinterpret_cast<sockaddr*>(&address), &size) == 0)
            port_ = ntohs(address.sin_port);
        thread_ = std::thread([this] { Serve(); });
    }
    ~LoopbackPeer()
    {
        listener_.reset(); // a peer nobody reached stops waiting
        thread_.join();
        if (started_)
            WSACleanup();
    }
    std::wstring Address() const { return L"tcp:127.0.0.1:" + std::to_wstring(port_); }

private:
    bool ReceiveAll(SOCKET s, uint8_t* buffer, int size)
    {
        for (int got = 0; size > 0; buffer += got, size -= got) {
            got = recv(s, reinterpret_cast<char*>(buffer), size, 0);
            if (got <= 0)
                return false;
        }
        return true;
    }
    void Serve()
    {
        unique_socket client(accept(listener_.get(), nullptr, nullptr));
        for (const Bytes& answer : answers_) {
            Bytes request(3);
            if (!ReceiveAll(client.get(), request.data(), 3))
                return;
            request.resize(size_t(request[1]) << 8 | request[2]);
            if (!ReceiveAll(client.get(), request.data() + 3, static_cast<int>(request.size()) - 3))
                return;
            send(client.get(), reinterpret_cast<const char*>(answer.data()), static_cast<int>(answer.size()), 0);
        }
    }

    std::vector<Bytes> answers_;
    bool started_ = false;
    unique_socket listener_;
    uint16_t port_ = 0;
    std::thread thread_;
};

} // namespace

TEST(TcpTransport, ASessionReadsAListingOverLoopback)
{
    LoopbackPeer peer({ConnectOk(), Packet(0xA0, ByteHeader(0x49, Text("<folder-listing/>"))), Packet(0xA0)});
    std::unique_ptr<obex::Transport> transport;
    ASSERT_EQ(S_OK, obex::OpenTransport(peer.Address(), obex::kDefaultTimeoutMs, transport));
    obex::Session session(std::move(transport));
    ASSERT_EQ(S_OK, session.Connect());
    std::vector<uint8_t> listing;
    ASSERT_EQ(S_OK, session.GetType(obex::kFolderListingType, listing));
    EXPECT_EQ(Text("<folder-listing/>"), listing);
    EXPECT_EQ(S_OK, session.Disconnect());
}
