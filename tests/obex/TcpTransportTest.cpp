// The session over a real TCP connection to a peer inside the test, on 127.0.0.1.
#include "ScriptedPeer.h"

#include "common/Resource.h"
#include "obex/protocol/ObexSession.h"

#include <gtest/gtest.h>

#include <winsock2.h>

using namespace obex_tests;

namespace {

struct socket_traits {
    using type = SOCKET;
    static SOCKET invalid() { return INVALID_SOCKET; }
    static void close(SOCKET s) { closesocket(s); }
};
using unique_socket = unique_resource<socket_traits>;

struct Winsock {
    Winsock() { EXPECT_EQ(0, WSAStartup(MAKEWORD(2, 2), &data)); }
    ~Winsock() { WSACleanup(); }
    WSADATA data;
};

} // namespace

TEST(TcpTransport, ASessionReadsAListingOverLoopback)
{
    const Winsock winsock;
    unique_socket listener(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int size = sizeof address;
    ASSERT_EQ(0, bind(listener.get(), reinterpret_cast<sockaddr*>(&address), size));
    ASSERT_EQ(0, listen(listener.get(), 1));
    ASSERT_EQ(0, getsockname(listener.get(), reinterpret_cast<sockaddr*>(&address), &size));
    std::unique_ptr<obex::Transport> transport;
    ASSERT_EQ(S_OK, obex::OpenTransport(L"tcp:127.0.0.1:" + std::to_wstring(ntohs(address.sin_port)),
                                        obex::kDefaultTimeoutMs, transport));

    // The peer's answers wait in the connection before the session asks: the
    // session takes exactly one packet for each request.
    unique_socket peer(accept(listener.get(), nullptr, nullptr));
    const Bytes answers = ConnectOk() + Packet(0xA0, ByteHeader(0x49, Text("<folder-listing/>"))) + Packet(0xA0);
    ASSERT_EQ(int(answers.size()),
              send(peer.get(), reinterpret_cast<const char*>(answers.data()), int(answers.size()), 0));
    obex::Session session(std::move(transport));
    ASSERT_EQ(S_OK, session.Connect());
    std::vector<uint8_t> listing;
    ASSERT_EQ(S_OK, session.GetType(obex::kFolderListingType, listing));
    EXPECT_EQ(Text("<folder-listing/>"), listing);
    EXPECT_EQ(S_OK, session.Disconnect());
    char connect[3] = {};
    ASSERT_EQ(3, recv(peer.get(), connect, 3, MSG_WAITALL));
    EXPECT_EQ(Hex("80 00 1A"), Bytes(connect, connect + 3)) << "the CONNECT reached the peer";
}
