// The OBEX FTP session against recorded peers: what it sends, what it makes of
// the answers, and how it ends when a peer breaks the protocol or falls silent.
#include "ScriptedPeer.h"

#include "obex/protocol/ObexSession.h"
#include "phone/PhoneFileSystem.h"

#include <gtest/gtest.h>

#include <functional>

using namespace obex_tests;
using obex::Session;

namespace {

const Bytes kConnectionId = Hex("CB 00 00 00 01");
const Bytes kContinueGet = Hex("83 00 08") + kConnectionId;

struct Rig {
    explicit Rig(const Bytes& replies, obex::SessionOptions options = {}, HRESULT atEnd = obex::kTimeout)
        : session(std::make_unique<ScriptedTransport>(log, replies, atEnd), options)
    {
    }
    // What was sent after the CONNECT.
    std::vector<Bytes> Requests() const { return std::vector<Bytes>(log->sent.begin() + 1, log->sent.end()); }

    std::shared_ptr<PeerLog> log = std::make_shared<PeerLog>();
    Session session;
};

// A session that has connected with obexftpd's answer (packet size 1024).
std::unique_ptr<Rig> Connected(const Bytes& replies, const std::string& maxPacket = "04 00")
{
    auto rig = std::make_unique<Rig>(ConnectOk(maxPacket) + replies);
    EXPECT_EQ(S_OK, rig->session.Connect());
    return rig;
}

Bytes ListingRequest()
{
    return Hex("83 00 21") + kConnectionId + Hex("42 00 19") + Text("x-obex/folder-listing") + Hex("00");
}

} // namespace

TEST(ObexSession, ConnectAsksForFileTransferWithThePacketSizeTheSmallerOfBothSides)
{
    struct Case {
        uint16_t ours;
        const char* peers;
        const char* sentInConnect;
        uint16_t expected;
    };
    const Case cases[] = {
        {0xFFFF, "04 00", "FF FF", 1024},
        {300, "04 00", "01 2C", 300},
        {0xFFFF, "00 FF", "FF FF", 255},
        {100, "04 00", "00 FF", 255}, // never below the protocol's least
    };
    for (const Case& c : cases) {
        obex::SessionOptions options;
        options.maxPacket = c.ours;
        Rig rig(ConnectOk(c.peers), options);
        ASSERT_EQ(S_OK, rig.session.Connect());
        EXPECT_TRUE(rig.session.Connected());
        EXPECT_EQ(c.expected, rig.session.PacketSize()) << c.ours;
        EXPECT_EQ(Hex("80 00 1A 10 00") + Hex(c.sentInConnect) + Hex("46 00 13 F9EC7BC4953C11D2984E525400DC9E09"),
                  rig.log->sent[0]);
    }
}

TEST(ObexSession, SetPathSendsTheFlagsOfEachStep)
{
    struct Case {
        const char* what;
        std::function<HRESULT(Session&)> call;
        uint8_t answer;
        Bytes expectedRequest;
        HRESULT expected;
    };
    const Case cases[] = {
        {"parent", [](Session& s) { return s.SetPathParent(); }, 0xA0, Hex("85 00 0A 03 00") + kConnectionId, S_OK},
        {"into", [](Session& s) { return s.SetPath(L"Ab", false); }, 0xA0,
         Hex("85 00 13 02 00") + kConnectionId + Hex("01 00 09 0041 0062 0000"), S_OK},
        {"create", [](Session& s) { return s.SetPath(L"Ab", true); }, 0xA0,
         Hex("85 00 13 00 00") + kConnectionId + Hex("01 00 09 0041 0062 0000"), S_OK},
        {"non-ASCII", [](Session& s) { return s.SetPath(L"\u00DC", false); }, 0xA0,
         Hex("85 00 11 02 00") + kConnectionId + Hex("01 00 07 00DC 0000"), S_OK},
        {"missing folder", [](Session& s) { return s.SetPath(L"Ab", false); }, 0xC3,
         Hex("85 00 13 02 00") + kConnectionId + Hex("01 00 09 0041 0062 0000"), static_cast<HRESULT>(0x80044343)},
    };
    for (const Case& c : cases) {
        auto rig = Connected(Packet(c.answer));
        EXPECT_EQ(c.expected, c.call(rig->session)) << c.what;
        ASSERT_EQ(1u, rig->Requests().size()) << c.what;
        EXPECT_EQ(c.expectedRequest, rig->Requests()[0]) << c.what;
        EXPECT_TRUE(rig->session.Connected()) << c.what;
    }
}

TEST(ObexSession, GetGathersBodyAndEndOfBodyAcrossPackets)
{
    struct Case {
        const char* what;
        Bytes replies;
        HRESULT expected;
        std::string data;
        size_t requests;
    };
    const Case cases[] = {
        {"Body only, ended without End-of-Body",
         Packet(0x90, ByteHeader(0x48, Text("ab"))) + Packet(0x90, ByteHeader(0x48, Text("cd"))) + Packet(0xA0), S_OK,
         "abcd", 3},
        {"End-of-Body last", Packet(0x90, ByteHeader(0x48, Text("ab"))) + Packet(0xA0, ByteHeader(0x49, Text("cd"))),
         S_OK, "abcd", 2},
        {"one packet", Packet(0xA0, Hex("C3 00 00 00 04") + ByteHeader(0x49, Text("abcd"))), S_OK, "abcd", 1},
        {"empty continue first", Packet(0x90) + Packet(0x90, ByteHeader(0x48, Text("ab"))) + Packet(0xA0), S_OK, "ab",
         3},
        {"not found", Packet(0xC4), static_cast<HRESULT>(0x80044344), "", 1},
    };
    for (const Case& c : cases) {
        auto rig = Connected(c.replies);
        std::vector<uint8_t> data{'x'};
        EXPECT_EQ(c.expected, rig->session.GetType(obex::kFolderListingType, data)) << c.what;
        EXPECT_EQ(c.data, std::string(data.begin(), data.end())) << c.what;
        const std::vector<Bytes> requests = rig->Requests();
        ASSERT_EQ(c.requests, requests.size()) << c.what;
        EXPECT_EQ(ListingRequest(), requests[0]) << c.what;
        for (size_t i = 1; i < requests.size(); ++i)
            EXPECT_EQ(kContinueGet, requests[i]) << c.what;
    }
}

TEST(ObexSession, PutCutsTheBodyToThePeersPacketSize)
{
    // A peer of the least packet size: 244 bytes of body per packet.
    auto rig = Connected(Packet(0x90) + Packet(0x90) + Packet(0x90) + Packet(0xA0, ByteHeader(0x49, {})), "00 FF");
    ASSERT_EQ(244u, rig->session.PutChunkSize());
    Bytes data(600);
    for (size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<uint8_t>(i * 7);
    SYSTEMTIME modified{2026, 12, 2, 8, 15, 35, 29, 0};
    ASSERT_EQ(S_OK, rig->session.BeginPut(L"a", 600, &modified));
    ASSERT_EQ(S_OK, rig->session.WriteChunk(data.data(), 100));
    ASSERT_EQ(S_OK, rig->session.WriteChunk(data.data() + 100, 500));
    ASSERT_EQ(S_OK, rig->session.FinishPut());

    const auto body = [&](size_t from, size_t to) { return Bytes(data.begin() + from, data.begin() + to); };
    EXPECT_EQ((std::vector<Bytes>{Hex("02 00 27") + kConnectionId +
                                      Hex("01 00 07 0061 0000  C3 00 00 02 58  44 00 13") + Text("20261208T153529Z"),
                                  Packet(0x02, kConnectionId + ByteHeader(0x48, body(0, 244))),
                                  Packet(0x02, kConnectionId + ByteHeader(0x48, body(244, 488))),
                                  Packet(0x82, kConnectionId + ByteHeader(0x49, body(488, 600)))}),
              rig->Requests());
}

TEST(ObexSession, PutRefusalsAndAFullPhoneAreReportedAndTheSessionGoesOn)
{
    auto rig = Connected(Packet(0xCD) + Packet(0x90) + Packet(0xE0) + Packet(0xA0));
    EXPECT_EQ(static_cast<HRESULT>(0x8004434D), rig->session.BeginPut(L"a", 1, nullptr));
    const uint8_t byte = 1;
    EXPECT_EQ(obex::kWrongState, rig->session.WriteChunk(&byte, 1));
    ASSERT_EQ(S_OK, rig->session.BeginPut(L"a", 1, nullptr));
    ASSERT_EQ(S_OK, rig->session.WriteChunk(&byte, 1));
    EXPECT_EQ(phone::kMemoryFull, rig->session.FinishPut());
    ASSERT_EQ(S_OK, rig->session.Delete(L"a"));
    EXPECT_EQ(Hex("82 00 0F") + kConnectionId + Hex("01 00 07 0061 0000"), rig->Requests().back());
}

TEST(ObexSession, BrokenOrSilentPeersEndTheSession)
{
    Bytes endless;
    for (int i = 0; i < 1001; ++i)
        endless = endless + Packet(0x90);
    struct Case {
        const char* what;
        bool inConnect; // the peer's answer to the CONNECT, else to a GET after it
        Bytes replies;
        HRESULT atEnd;
        HRESULT expected;
    };
    const Case cases[] = {
        {"CONNECT answer shorter than 7 bytes", true, Hex("A0 00 05 10 00"), obex::kTimeout, obex::kMalformed},
        {"packet size below 255", true, Hex("A0 00 07 10 00 00 FE"), obex::kTimeout, obex::kMalformed},
        {"CONNECT refused", true, Hex("C3 00 07 10 00 00 00"), obex::kTimeout, static_cast<HRESULT>(0x80044343)},
        {"CONNECT never answered", true, {}, obex::kTimeout, obex::kTimeout},
        {"never answers", false, {}, obex::kTimeout, obex::kTimeout},
        {"closes inside a packet", false, Hex("A0 00 10 48"), obex::kConnectionLost, obex::kConnectionLost},
        {"packet length below 3", false, Hex("A0 00 02"), obex::kTimeout, obex::kMalformed},
        {"header length beyond the packet", false, Hex("A0 00 08 48 00 10 61 62"), obex::kTimeout, obex::kMalformed},
        {"header length below 3", false, Hex("A0 00 06 48 00 02"), obex::kTimeout, obex::kMalformed},
        {"header length cut", false, Hex("A0 00 05 48 00"), obex::kTimeout, obex::kMalformed},
        {"text of odd length", false, Hex("A0 00 07 01 00 04 61"), obex::kTimeout, obex::kMalformed},
        {"text without terminator", false, Hex("A0 00 0A 01 00 07 00 61 00 62"), obex::kTimeout, obex::kMalformed},
        {"four-byte header cut", false, Hex("A0 00 06 CB 00 00"), obex::kTimeout, obex::kMalformed},
        {"one-byte header cut", false, Hex("A0 00 04 97"), obex::kTimeout, obex::kMalformed},
        {"continues forever without data", false, endless, obex::kTimeout, obex::kMalformed},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Rig rig((c.inConnect ? Bytes{} : ConnectOk()) + c.replies, {}, c.atEnd);
        std::vector<uint8_t> data;
        if (c.inConnect) {
            EXPECT_EQ(c.expected, rig.session.Connect());
        } else {
            ASSERT_EQ(S_OK, rig.session.Connect());
            EXPECT_EQ(c.expected, rig.session.GetType(obex::kCapabilityType, data));
        }
        EXPECT_FALSE(rig.session.Connected());
        EXPECT_TRUE(rig.log->closed);
        const size_t sent = rig.log->sent.size();
        EXPECT_EQ(obex::kNotConnected, rig.session.SetPathParent());
        EXPECT_EQ(sent, rig.log->sent.size()) << "nothing is sent without a session";
    }
}
