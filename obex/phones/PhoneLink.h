// One OBEX session per phone, shared by every component instance of every
// caller: requests to a phone queue on its lock, the session is connected on
// first use, and a dropped one is made anew on the next request.
#pragma once

#include "Capability.h"
#include "ListingEntries.h"
#include "PhoneConfig.h"
#include "obex/protocol/ObexSession.h"

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace obex {

// A memory as the server sees it: drive "C:" and its label, and where it lies
// on the phone (an empty folder: the phone's OBEX root).
struct PhoneMemory {
    wchar_t drive = L'C';
    std::wstring label;
    std::wstring memType;
    std::wstring folder;
};

constexpr wchar_t kRootMemoryLabel[] = L"Phone memory";
constexpr wchar_t kRootMemoryType[] = L"DEV";

// The memories a phone's root listing shows: its folders named as drives
// ("C:", "E:"), or, when it has none, the root itself as one memory.
std::vector<PhoneMemory> MemoriesOf(const std::vector<ListingEntry>& root);

// The current folder's listing as the server reads it.
HRESULT ReadListing(Session& session, std::wstring& listing, std::vector<ListingEntry>& entries);

class PhoneLink
{
public:
    using Work = std::function<HRESULT(Session& session, const std::vector<PhoneMemory>& memories)>;

    PhoneLink(std::wstring address, SessionOptions options);
    PhoneLink(const PhoneLink&) = delete;
    PhoneLink& operator=(const PhoneLink&) = delete;

    // Runs work with the phone's session, connected first. A request that finds
    // the connection of an earlier one dropped is tried once more on a new one.
    // Work answers the suite's codes (SuiteErrors.h), and so does a failed connect.
    HRESULT Run(const Work& work);
    // True when the phone answers; one busy with a request answers.
    bool Answering();
    // The last answer of Answering, without asking the phone: -1 never asked.
    int LastKnown() const { return known_; }
    // The capability object, read once per connection; S_OK with empty text
    // when the phone has none.
    HRESULT Capability(std::string& capability);
    // What the capability object gave when it was last read; empty when never.
    CapabilityInfo KnownCapability();

private:
    HRESULT Connect();
    HRESULT RunLocked(const Work& work);

    const std::wstring address_;
    const SessionOptions options_;
    std::mutex mutex_; // one request at a time
    std::unique_ptr<Session> session_;
    std::vector<PhoneMemory> memories_;
    bool capabilityRead_ = false;
    std::string capability_;
    std::mutex knownMutex_;
    CapabilityInfo knownCapability_;
    volatile LONG known_ = -1;
};

// The link of a configured phone; phones of one address share it.
std::shared_ptr<PhoneLink> LinkOf(const PhoneEntry& phone);

} // namespace obex
