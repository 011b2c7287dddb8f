#include "ObexSession.h"

#include "ObexResults.h"
#include "common/ErrorFlow.h"

#include <algorithm>

namespace obex {

namespace {

// The File Transfer service, F9EC7BC4-953C-11D2-984E-525400DC9E09.
constexpr uint8_t kFileTransferTarget[16] = {0xF9, 0xEC, 0x7B, 0xC4, 0x95, 0x3C, 0x11, 0xD2,
                                             0x98, 0x4E, 0x52, 0x54, 0x00, 0xDC, 0x9E, 0x09};

namespace setpath {
constexpr uint8_t Parent = 0x01;
constexpr uint8_t DontCreate = 0x02;
} // namespace setpath

constexpr size_t kPrefix = 3;
constexpr size_t kConnectionIdSize = 5;
constexpr size_t kHeaderPrefix = 3;
constexpr int kMostEmptyAnswers = 1000;

// The answer that ends an operation: a continue there is no answer the
// protocol allows.
HRESULT Final(const Response& response)
{
    const HRESULT hr = ResultFromResponse(response.code);
    return hr == S_FALSE ? kMalformed : hr;
}

} // namespace

Session::Session(std::unique_ptr<Transport> transport, SessionOptions options)
    : transport_(std::move(transport)), options_(options)
{
    options_.maxPacket = std::max(options_.maxPacket, kMinPacket);
}

HRESULT Session::Fail(HRESULT hr)
{
    if (transport_)
        transport_->Close();
    transport_.reset();
    connected_ = false;
    state_ = State::Idle;
    pending_.clear();
    inboxBegin_ = inboxEnd_ = 0;
    return hr;
}

HRESULT Session::Ready(State state) const
{
    if (!connected_)
        return kNotConnected;
    return state_ == state ? S_OK : kWrongState;
}

void Session::Identify(Request& request) const
{
    // The Connection Id goes first, before every other header.
    if (hasConnectionId_)
        request.Four(hi::ConnectionId, connectionId_);
}

// Reads as much as the link has at once: a packet usually arrives whole, and a
// receive per packet instead of one for its length and one for the rest halves
// the calls into the system.
HRESULT Session::ReceivePacket()
{
    if (inbox_.empty())
        inbox_.resize(size_t(1) << 16); // a packet's length is 16 bits: any packet fits
    for (;;) {
        const size_t held = inboxEnd_ - inboxBegin_;
        const uint8_t* packet = inbox_.data() + inboxBegin_;
        if (held >= kPrefix) {
            const size_t length = size_t(packet[1]) << 8 | packet[2];
            if (length < kPrefix)
                return kMalformed;
            if (held >= length) {
                received_.assign(packet, packet + length);
                inboxBegin_ += length;
                return S_OK;
            }
        }
        if (inboxBegin_ > 0) {
            std::copy(inbox_.begin() + inboxBegin_, inbox_.begin() + inboxEnd_, inbox_.begin());
            inboxBegin_ = 0;
            inboxEnd_ = held;
        }
        size_t received = 0;
        RETURN_IF_FAILED(
            transport_->Receive(inbox_.data() + inboxEnd_, inbox_.size() - inboxEnd_, received, options_.timeoutMs));
        inboxEnd_ += received;
    }
}

HRESULT Session::Exchange(Request& request, Response& response, bool connect)
{
    if (!transport_)
        return kNotConnected;
    std::vector<uint8_t> packet;
    RETURN_IF_FAILED(request.Finish(connect ? options_.maxPacket : packetSize_, packet));
    HRESULT hr = transport_->Send(packet.data(), packet.size(), options_.timeoutMs);
    if (SUCCEEDED(hr))
        hr = ReceivePacket();
    if (SUCCEEDED(hr))
        hr = ParseResponse(received_.data(), received_.size(), connect, response);
    return FAILED(hr) ? Fail(hr) : S_OK;
}

HRESULT Session::Connect()
{
    if (connected_)
        return S_OK;
    Request request(op::Connect);
    request.U8(kVersion);
    request.U8(0); // flags
    request.U16(options_.maxPacket);
    request.Bytes(hi::Target, kFileTransferTarget, sizeof kFileTransferTarget);
    Response response;
    RETURN_IF_FAILED(Exchange(request, response, true));
    const HRESULT hr = Final(response);
    if (FAILED(hr))
        return Fail(hr);
    for (const Header& header : response.headers) {
        if (header.id == hi::ConnectionId) {
            hasConnectionId_ = true;
            connectionId_ = header.value;
        }
    }
    packetSize_ = std::min(options_.maxPacket, response.maxPacket);
    connected_ = true;
    return S_OK;
}

HRESULT Session::Disconnect()
{
    if (!connected_)
        return Fail(S_OK);
    Request request(op::Disconnect);
    Identify(request);
    Response response;
    HRESULT hr = Exchange(request, response);
    if (SUCCEEDED(hr))
        hr = Final(response);
    return Fail(hr);
}

HRESULT Session::SetPathWith(uint8_t flags, const std::wstring* folder)
{
    RETURN_IF_FAILED(Ready(State::Idle));
    Request request(op::SetPath);
    request.U8(flags);
    request.U8(0); // constants
    Identify(request);
    if (folder)
        request.Text(hi::Name, *folder);
    Response response;
    RETURN_IF_FAILED(Exchange(request, response));
    return Final(response);
}

HRESULT Session::SetPathRoot()
{
    // An empty Name is the root.
    const std::wstring root;
    return SetPathWith(setpath::DontCreate, &root);
}

HRESULT Session::SetPathParent()
{
    return SetPathWith(setpath::Parent | setpath::DontCreate, nullptr);
}

HRESULT Session::SetPath(const std::wstring& folder, bool create)
{
    if (folder.empty())
        return E_INVALIDARG;
    return SetPathWith(create ? 0 : setpath::DontCreate, &folder);
}

HRESULT Session::GetType(const char* type, std::vector<uint8_t>& data)
{
    data.clear();
    RETURN_IF_FAILED(BeginGetType(type));
    return ReadWhole(data);
}

HRESULT Session::GetFile(const std::wstring& name, std::vector<uint8_t>& data)
{
    data.clear();
    RETURN_IF_FAILED(BeginGetFile(name));
    return ReadWhole(data);
}

HRESULT Session::ReadWhole(std::vector<uint8_t>& data)
{
    std::vector<uint8_t> chunk;
    for (bool done = false; !done;) {
        RETURN_IF_FAILED(NextChunk(chunk, done));
        data.insert(data.end(), chunk.begin(), chunk.end());
    }
    return S_OK;
}

HRESULT Session::BeginGetType(const char* type)
{
    if (!type || !*type)
        return E_INVALIDARG;
    Request request(op::Get | kFinal);
    Identify(request);
    request.Ascii(hi::Type, type);
    return BeginGet(request);
}

HRESULT Session::BeginGetFile(const std::wstring& name)
{
    if (name.empty())
        return E_INVALIDARG;
    Request request(op::Get | kFinal);
    Identify(request);
    request.Text(hi::Name, name);
    return BeginGet(request);
}

HRESULT Session::BeginGet(Request& request)
{
    RETURN_IF_FAILED(Ready(State::Idle));
    pending_.clear();
    objectLength_ = kUnknownLength;
    state_ = State::Getting;
    const HRESULT hr = TakeGetResponse(request);
    if (FAILED(hr))
        state_ = State::Idle; // a request too large for the packet ends nothing else
    return hr;
}

HRESULT Session::TakeGetResponse(Request& request)
{
    Response response;
    RETURN_IF_FAILED(Exchange(request, response));
    const HRESULT hr = ResultFromResponse(response.code);
    if (FAILED(hr)) {
        state_ = State::Idle;
        return hr;
    }
    more_ = hr == S_FALSE;
    // Body and End-of-Body both carry data; a last answer may have neither.
    for (const Header& header : response.headers) {
        if (header.id == hi::Body || header.id == hi::EndOfBody)
            pending_.insert(pending_.end(), header.data, header.data + header.size);
        else if (header.id == hi::Length)
            objectLength_ = header.value;
    }
    return S_OK;
}

HRESULT Session::NextChunk(std::vector<uint8_t>& data, bool& done)
{
    data.clear();
    done = false;
    RETURN_IF_FAILED(Ready(State::Getting));
    for (int empty = 0; pending_.empty() && more_; ++empty) {
        // A peer that asks to go on forever without data is broken, not slow.
        if (empty == kMostEmptyAnswers)
            return Fail(kMalformed);
        Request request(op::Get | kFinal);
        Identify(request);
        RETURN_IF_FAILED(TakeGetResponse(request));
    }
    data.swap(pending_);
    done = !more_;
    if (done)
        state_ = State::Idle;
    return S_OK;
}

size_t Session::PutChunkSize() const
{
    return packetSize_ - kPrefix - (hasConnectionId_ ? kConnectionIdSize : 0) - kHeaderPrefix;
}

HRESULT Session::BeginPut(const std::wstring& name, uint32_t length, const SYSTEMTIME* modifiedUtc)
{
    if (name.empty())
        return E_INVALIDARG;
    RETURN_IF_FAILED(Ready(State::Idle));
    Request request(op::Put);
    Identify(request);
    request.Text(hi::Name, name);
    request.Four(hi::Length, length);
    if (modifiedUtc)
        request.UtcTime(hi::Time, *modifiedUtc);
    Response response;
    RETURN_IF_FAILED(Exchange(request, response));
    // The peer must ask for the body; one that refuses (full, forbidden) says so here.
    const HRESULT hr = ResultFromResponse(response.code);
    if (hr != S_FALSE)
        return FAILED(hr) ? hr : kMalformed;
    pending_.clear();
    state_ = State::Putting;
    return S_OK;
}

HRESULT Session::WriteChunk(const uint8_t* data, size_t size)
{
    RETURN_IF_FAILED(Ready(State::Putting));
    // Full packets go out as soon as more data follows them; the rest waits,
    // so that the final packet carries the last data.
    const size_t chunkSize = PutChunkSize();
    size_t taken = 0;
    for (;;) {
        const size_t count = std::min(chunkSize - pending_.size(), size - taken);
        pending_.insert(pending_.end(), data + taken, data + taken + count);
        taken += count;
        if (taken == size)
            return S_OK;
        RETURN_IF_FAILED(SendBody(op::Put, hi::Body));
    }
}

HRESULT Session::FinishPut()
{
    RETURN_IF_FAILED(Ready(State::Putting));
    const HRESULT hr = SendBody(op::Put | kFinal, hi::EndOfBody);
    state_ = State::Idle;
    return hr;
}

HRESULT Session::SendBody(uint8_t opcode, uint8_t header)
{
    Request request(opcode);
    Identify(request);
    request.Bytes(header, pending_.data(), pending_.size());
    pending_.clear();
    Response response;
    RETURN_IF_FAILED(Exchange(request, response));
    // An empty End-of-Body in the last answer is as good as none.
    const HRESULT hr = ResultFromResponse(response.code);
    if (hr == ((opcode & kFinal) ? S_OK : S_FALSE))
        return S_OK;
    state_ = State::Idle;
    return FAILED(hr) ? hr : kMalformed;
}

HRESULT Session::Delete(const std::wstring& name)
{
    if (name.empty())
        return E_INVALIDARG;
    RETURN_IF_FAILED(Ready(State::Idle));
    Request request(op::Put | kFinal);
    Identify(request);
    request.Text(hi::Name, name);
    Response response;
    RETURN_IF_FAILED(Exchange(request, response));
    return Final(response);
}

HRESULT Session::Abort()
{
    if (!connected_ || state_ == State::Idle)
        return S_OK;
    state_ = State::Idle;
    pending_.clear();
    more_ = false;
    Request request(op::Abort);
    Identify(request);
    Response response;
    RETURN_IF_FAILED(Exchange(request, response));
    return Final(response);
}

} // namespace obex
