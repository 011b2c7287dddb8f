// One OBEX File Transfer session with one phone. Methods return HRESULTs and
// throw nothing; the object is thread-compatible (its caller serialises).
// A timeout, a lost connection or bytes that break the protocol end the
// session: later calls answer kNotConnected until a new session is made.
#pragma once

#include "ObexPacket.h"
#include "ObexTransport.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace obex {

constexpr char kFolderListingType[] = "x-obex/folder-listing";
constexpr char kCapabilityType[] = "x-obex/capability";
// The largest packet this client takes and sends.
constexpr uint16_t kOwnMaxPacket = 0xFFFF;
constexpr uint64_t kUnknownLength = ~uint64_t(0);

struct SessionOptions {
    DWORD timeoutMs = kDefaultTimeoutMs; // for every receive and send
    uint16_t maxPacket = kOwnMaxPacket;  // at least kMinPacket
};

class Session
{
public:
    explicit Session(std::unique_ptr<Transport> transport, SessionOptions options = {});
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    // CONNECT to the File Transfer service; keeps its Connection Id and packet size.
    HRESULT Connect();
    // DISCONNECT, then closes the transport whatever the answer.
    HRESULT Disconnect();
    bool Connected() const { return connected_; }
    // The packet size both sides take: min(ours, the peer's).
    uint16_t PacketSize() const { return packetSize_; }

    HRESULT SetPathRoot();
    HRESULT SetPathParent();
    // Into a subfolder of the current folder, creating it when asked.
    HRESULT SetPath(const std::wstring& folder, bool create);

    // Whole objects: the current folder's listing, the capability object, a file.
    HRESULT GetType(const char* type, std::vector<uint8_t>& data);
    HRESULT GetFile(const std::wstring& name, std::vector<uint8_t>& data);

    // Streaming GET: one response packet's data per NextChunk, `done` set with
    // the last one. The object's length, when the peer states it, comes after
    // BeginGet.
    HRESULT BeginGetType(const char* type);
    HRESULT BeginGetFile(const std::wstring& name);
    HRESULT NextChunk(std::vector<uint8_t>& data, bool& done);
    uint64_t ObjectLength() const { return objectLength_; }

    // Streaming PUT of a file into the current folder. Written data goes out
    // in packets of PutChunkSize() bytes; the last of them travels with the
    // final packet as End-of-Body.
    HRESULT BeginPut(const std::wstring& name, uint32_t length, const SYSTEMTIME* modifiedUtc);
    HRESULT WriteChunk(const uint8_t* data, size_t size);
    HRESULT FinishPut();
    size_t PutChunkSize() const;

    // A PUT with Name and no body.
    HRESULT Delete(const std::wstring& name);

    // Ends the running GET or PUT; S_OK at once when none runs.
    HRESULT Abort();

private:
    enum class State { Idle, Getting, Putting };

    HRESULT Ready(State state) const;
    void Identify(Request& request) const;
    HRESULT SetPathWith(uint8_t flags, const std::wstring* folder);
    HRESULT BeginGet(Request& request);
    HRESULT TakeGetResponse(Request& request);
    HRESULT ReadWhole(std::vector<uint8_t>& data);
    HRESULT SendBody(uint8_t opcode, uint8_t header);
    // Sends a request and reads its response; a failure of the link or bytes
    // that break the protocol end the session.
    HRESULT Exchange(Request& request, Response& response, bool connect = false);
    HRESULT ReceivePacket();
    HRESULT Fail(HRESULT hr);

    std::unique_ptr<Transport> transport_;
    SessionOptions options_;
    bool connected_ = false;
    bool hasConnectionId_ = false;
    uint32_t connectionId_ = 0;
    uint16_t packetSize_ = kMinPacket;
    State state_ = State::Idle;
    std::vector<uint8_t> received_; // the last response packet
    // What the link has given and no packet has taken yet: [inboxBegin_, inboxEnd_).
    std::vector<uint8_t> inbox_;
    size_t inboxBegin_ = 0, inboxEnd_ = 0;
    // A running GET's data not yet handed out, or a running PUT's data not yet sent.
    std::vector<uint8_t> pending_;
    bool more_ = false; // the running GET's peer has more
    uint64_t objectLength_ = kUnknownLength;
};

} // namespace obex
