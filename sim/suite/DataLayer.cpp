#include "DataLayer.h"

#include "SuiteErrors.h"
#include "SuiteState.h"
#include "ZentrelQuelvar.h"
#include "common/Trace.h"

#include <cwchar>
#include <map>
#include <vector>

namespace {

const wchar_t* const kDataTypes[] = {L"Contacts", L"Text Messages", L"Multimedia Messages"};
constexpr wchar_t kPhonePrefix[] = L"ALIAS:";
// Answer of CancelSync for a synchronisation that has ended or never was.
constexpr HRESULT kNoSuchSync = static_cast<HRESULT>(0x80046012);

struct Pace {
    DWORD intervalMs = 100;
    long ongoingCount = 3;
    bool keepCallback = false;
} g_pace;

// One running synchronisation. It holds its store, and with it the process,
// until its end has been reported.
struct Sync {
    com_ptr<IDataStore> store;
    com_ptr<IDataStoreNotify> callback;
    std::wstring target;
    std::wstring dataType;
    HRESULT failure = S_OK;
    bool silent = false;  // says nothing after STARTED, and keeps the callback
    bool dropped = false; // lets the callback go after STARTED without an end
    long ongoingCount = 0;
    bool keepCallback = false;
    long step = 0;      // notifications sent so far
    bool ended = false; // FINISHED or CANCELED sent
    bool cancelRequested = false;
    bool delivering = false; // a notification is on its way; the timer waits
    UINT_PTR timer = 0;
};

std::map<UINT, Sync> g_syncs;
UINT g_lastSyncId = 0;

void AppendRecord(const wchar_t* operation, const std::wstring& entry)
{
    std::wstring earlier;
    suite::TakeRecordedCall(operation, earlier);
    suite::RecordCall(operation, earlier.empty() ? entry : earlier + L";" + entry);
}

bool IsDataType(const wchar_t* name)
{
    for (const wchar_t* known : kDataTypes) {
        if (_wcsicmp(known, name) == 0)
            return true;
    }
    return false;
}

void EndSync(UINT id)
{
    auto found = g_syncs.find(id);
    if (found == g_syncs.end())
        return;
    KillTimer(nullptr, found->second.timer);
    g_syncs.erase(found); // releases callback and store
}

void CALLBACK SyncTimer(HWND, UINT, UINT_PTR timer, DWORD)
{
    auto found = g_syncs.begin();
    while (found != g_syncs.end() && found->second.timer != timer)
        ++found;
    if (found == g_syncs.end()) {
        KillTimer(nullptr, timer);
        return;
    }
    const UINT id = found->first;
    Sync& sync = found->second;
    if (sync.delivering)
        return;

    SYNCSTATUS status = ONGOING;
    HRESULT reported = S_OK;
    bool late = false;
    if (sync.ended) {
        status = FINISHED, reported = E_FAIL, late = true;
    } else if (sync.step == 0) {
        status = STARTED;
    } else if (sync.cancelRequested) {
        status = CANCELED, reported = suite_error::Cancelled;
    } else if (sync.step > sync.ongoingCount) {
        status = FINISHED, reported = sync.failure;
    }
    const bool end = status == CANCELED || status == FINISHED;
    const UINT sent = static_cast<UINT>(sync.step);
    const UINT total = static_cast<UINT>(sync.ongoingCount);
    ++sync.step;

    // The call may bring other calls in (a cancel, a new synchronisation); this
    // one's timer stays quiet meanwhile. The entry itself stays where it is.
    com_ptr<IDataStoreNotify> callback = sync.callback;
    sync.delivering = true;
    const HRESULT answer = callback->NotifySyncStatus(id, status, reported, sent, total, 0);
    sync.delivering = false;
    QTRACE(L"NotifySyncStatus(%u, %d, 0x%08lX) -> 0x%08lX\n", id, static_cast<int>(status),
           static_cast<unsigned long>(reported), static_cast<unsigned long>(answer));
    if (late) {
        wchar_t text[16];
        swprintf(text, 16, L"0x%08lX", static_cast<unsigned long>(answer));
        suite::RecordCall(L"LateNotify", text);
        EndSync(id);
        return;
    }
    if (status == FINISHED && reported == S_OK && answer == S_OK)
        AppendRecord(L"Updated", sync.target + L"|" + sync.dataType);
    // A caller that has gone away ends the synchronisation too.
    if (FAILED(answer) || (end && !sync.keepCallback) || (status == STARTED && sync.dropped)) {
        EndSync(id);
        return;
    }
    if (status == STARTED && sync.silent) {
        KillTimer(nullptr, sync.timer);
        sync.timer = 0;
        return;
    }
    sync.ended = end;
}

} // namespace

namespace suite {
void SetSyncPace(DWORD intervalMs, long ongoingCount, bool keepCallback)
{
    g_pace = {intervalMs, ongoingCount, keepCallback};
}

void EndSilentSyncs()
{
    // Out of the table first: releasing a callback is a call out.
    std::vector<Sync> silent;
    for (auto sync = g_syncs.begin(); sync != g_syncs.end();) {
        if (!sync->second.silent) {
            ++sync;
            continue;
        }
        silent.push_back(std::move(sync->second));
        sync = g_syncs.erase(sync);
    }
}
} // namespace suite

HRESULT DataLayer::GetDataStore(BSTR target, BSTR dataType, IUnknown** store)
{
    if (!store)
        return E_POINTER;
    *store = nullptr;
    HRESULT hr = suite::TakeFault(L"GetDataStore");
    if (hr != S_OK)
        return hr;
    const std::wstring phonePath = target ? target : L"";
    if (phonePath.compare(0, 6, kPhonePrefix) != 0 || phonePath.find(L'\\') != std::wstring::npos ||
        !IsDataType(dataType ? dataType : L""))
        return suite_error::BadPath;
    PhoneInfo phone;
    hr = suite::Store().FindPhone(phonePath.substr(6), phone);
    if (FAILED(hr))
        return hr;
    if (!phone.connected)
        return suite_error::NotFound;
    com_ptr<DataStore> created = DataStore::Create(phonePath);
    if (!created)
        return E_OUTOFMEMORY;
    *store = static_cast<IDataStore*>(created.detach());
    return S_OK;
}

HRESULT DataStore::Synchronize(BSTR dataType, IUnknown* callback, UINT* syncId)
{
    if (!syncId || !callback)
        return E_POINTER;
    *syncId = 0;
    HRESULT hr = suite::TakeFault(L"Synchronize");
    if (hr != S_OK)
        return hr;
    if (!IsDataType(dataType ? dataType : L""))
        return suite_error::BadPath;
    Sync sync;
    hr = callback->QueryInterface(IID_IDataStoreNotify, sync.callback.put_void());
    if (FAILED(hr))
        return hr;
    sync.store = com_ptr<IDataStore>(this);
    sync.target = target_;
    sync.dataType = dataType;
    sync.failure = suite::TakeFault(L"SyncStatus");
    sync.silent = suite::TakeFault(L"SyncSilent") != S_OK;
    sync.dropped = suite::TakeFault(L"SyncDropped") != S_OK;
    sync.ongoingCount = g_pace.ongoingCount;
    sync.keepCallback = g_pace.keepCallback;
    sync.timer = SetTimer(nullptr, 0, g_pace.intervalMs, SyncTimer);
    if (!sync.timer)
        return HRESULT_FROM_WIN32(GetLastError());
    const UINT id = ++g_lastSyncId;
    g_syncs.emplace(id, std::move(sync));
    AppendRecord(L"Synchronize", target_ + L"|" + dataType);
    *syncId = id;
    return S_OK;
}

HRESULT DataStore::CancelSync(UINT syncId)
{
    AppendRecord(L"CancelSync", std::to_wstring(syncId));
    HRESULT hr = suite::TakeFault(L"CancelSync");
    if (hr != S_OK)
        return hr;
    auto found = g_syncs.find(syncId);
    if (found == g_syncs.end() || found->second.ended)
        return kNoSuchSync;
    if (found->second.cancelRequested)
        return suite_error::Cancelled;
    found->second.cancelRequested = true;
    return S_OK;
}
