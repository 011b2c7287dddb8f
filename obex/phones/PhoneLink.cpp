#include "PhoneLink.h"

#include "obex/protocol/FolderListing.h"
#include "obex/protocol/ObexResults.h"
#include "SuiteErrors.h"
#include "common/ErrorFlow.h"
#include "common/Trace.h"

#include <cwctype>
#include <map>

namespace obex {

std::vector<PhoneMemory> MemoriesOf(const std::vector<ListingEntry>& root)
{
    std::vector<PhoneMemory> memories;
    for (const ListingEntry& entry : root) {
        const std::wstring& name = entry.name;
        if (!entry.folder || name.size() != 2 || name[1] != L':' || name[0] > 0x7F || !iswalpha(name[0]))
            continue;
        memories.push_back({static_cast<wchar_t>(towupper(name[0])), entry.label.empty() ? name : entry.label,
                            entry.memType.empty() ? kRootMemoryType : entry.memType, name});
    }
    if (memories.empty())
        memories.push_back({L'C', kRootMemoryLabel, kRootMemoryType, L""});
    return memories;
}

HRESULT ReadListing(Session& session, std::wstring& listing, std::vector<ListingEntry>& entries)
{
    std::vector<uint8_t> raw;
    RETURN_IF_FAILED(session.GetType(kFolderListingType, raw));
    RETURN_IF_FAILED(NormaliseFolderListing(std::string(raw.begin(), raw.end()), listing));
    return ReadListingEntries(listing, entries);
}

PhoneLink::PhoneLink(std::wstring address, SessionOptions options) : address_(std::move(address)), options_(options) {}

HRESULT PhoneLink::Connect()
{
    session_.reset();
    capabilityRead_ = false;
    capability_.clear();
    std::unique_ptr<Transport> transport;
    RETURN_IF_FAILED(OpenTransport(address_, options_.timeoutMs, transport));
    auto session = std::make_unique<Session>(std::move(transport), options_);
    RETURN_IF_FAILED(session->Connect());
    std::wstring listing;
    std::vector<ListingEntry> root;
    RETURN_IF_FAILED(session->SetPathRoot());
    RETURN_IF_FAILED(ReadListing(*session, listing, root));
    memories_ = MemoriesOf(root);
    session_ = std::move(session);
    QTRACE(L"(): %ls connected, packet size %u\n", address_.c_str(), session_->PacketSize());
    return S_OK;
}

HRESULT PhoneLink::RunLocked(const Work& work)
{
    for (int attempt = 0;; ++attempt) {
        const bool reused = session_ && session_->Connected();
        if (!reused)
            RETURN_IF_FAILED(SuiteResult(Connect()));
        const HRESULT hr = work(*session_, memories_);
        if (session_->Connected())
            return hr;
        session_.reset();
        // The phone may have dropped the idle connection since the last request.
        if (!reused || attempt > 0 || hr != suite_error::ConnectionLost)
            return hr;
    }
}

HRESULT PhoneLink::Run(const Work& work)
{
    std::lock_guard<std::mutex> lock(mutex_);
    const HRESULT hr = RunLocked(work);
    InterlockedExchange(&known_, session_ && session_->Connected() ? 1 : 0);
    return hr;
}

bool PhoneLink::Answering()
{
    std::unique_lock<std::mutex> lock(mutex_, std::try_to_lock);
    if (!lock.owns_lock())
        return true;
    const HRESULT hr =
        RunLocked([](Session& session, const std::vector<PhoneMemory>&) { return SuiteResult(session.SetPathRoot()); });
    const bool answering = SUCCEEDED(hr) || (session_ && session_->Connected());
    InterlockedExchange(&known_, answering ? 1 : 0);
    return answering;
}

HRESULT PhoneLink::Capability(std::string& capability)
{
    capability.clear();
    const HRESULT hr = Run([&](Session& session, const std::vector<PhoneMemory>&) {
        if (!capabilityRead_) {
            std::vector<uint8_t> data;
            RETURN_IF_FAILED(SuiteResult(session.SetPathRoot()));
            const HRESULT got = session.GetType(kCapabilityType, data);
            // A phone without one answers an OBEX failure; the session goes on.
            if (FAILED(got) && !session.Connected())
                return SuiteResult(got);
            capability_ = SUCCEEDED(got) ? std::string(data.begin(), data.end()) : std::string();
            capabilityRead_ = true;
            std::lock_guard<std::mutex> known(knownMutex_);
            knownCapability_ = ReadCapability(capability_);
        }
        capability = capability_;
        return S_OK;
    });
    return hr;
}

CapabilityInfo PhoneLink::KnownCapability()
{
    std::lock_guard<std::mutex> lock(knownMutex_);
    return knownCapability_;
}

std::shared_ptr<PhoneLink> LinkOf(const PhoneEntry& phone)
{
    static std::mutex mutex;
    static std::map<std::wstring, std::shared_ptr<PhoneLink>> links;
    std::wstring key = phone.address;
    for (wchar_t& c : key)
        c = towlower(c);
    std::lock_guard<std::mutex> lock(mutex);
    std::shared_ptr<PhoneLink>& link = links[key];
    if (!link)
        link = std::make_shared<PhoneLink>(phone.address, SessionOptions{});
    return link;
}

} // namespace obex
