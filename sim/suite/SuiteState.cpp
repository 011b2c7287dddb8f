#include "SuiteState.h"

#include "SuiteErrors.h"
#include "common/Resource.h"
#include "common/Trace.h"

#include <map>
#include <thread>
#include <vector>

namespace suite {
namespace {

LONG g_locks = 0;
DWORD g_idleSince = GetTickCount();

struct Fault {
    HRESULT code = S_OK;
    long remaining = 0;
};
std::map<std::wstring, Fault> g_faults;           // by lower-case operation name
std::map<std::wstring, std::wstring> g_lastCalls; // by lower-case operation name

TransferSettings g_transfers;

std::map<long, com_ptr<IDeviceNotifySink>> g_sinks;
long g_nextCookie = 1;
long g_addCount = 0;
long g_fileSystemCount = 0;
long g_fileSystemsMade = 0;

void (*g_revokeClassObjects)() = nullptr;

std::wstring Lower(std::wstring text)
{
    for (wchar_t& c : text)
        c = static_cast<wchar_t>(towlower(c));
    return text;
}

bool IsGone(HRESULT hr)
{
    return hr == HRESULT_FROM_WIN32(RPC_S_SERVER_UNAVAILABLE) || hr == RPC_E_DISCONNECTED ||
           hr == HRESULT_FROM_WIN32(RPC_S_CALL_FAILED);
}

} // namespace

void LockServer()
{
    InterlockedIncrement(&g_locks);
}

void UnlockServer()
{
    if (InterlockedDecrement(&g_locks) == 0)
        g_idleSince = GetTickCount();
}

LONG LockCount()
{
    return g_locks;
}

DWORD IdleMilliseconds()
{
    return GetTickCount() - g_idleSince;
}

PhoneStore Store()
{
    return PhoneStore(PhoneStore::ConfiguredRoot());
}

HRESULT SetFault(const std::wstring& operation, HRESULT code, long count)
{
    if (operation.empty() || code == S_OK || count < 0)
        return E_INVALIDARG;
    g_faults[Lower(operation)] = Fault{code, count};
    return S_OK;
}

void ClearFaults()
{
    g_faults.clear();
    g_lastCalls.clear();
}

HRESULT TakeFault(const wchar_t* operation)
{
    auto found = g_faults.find(Lower(operation));
    if (found == g_faults.end() || found->second.remaining <= 0)
        return S_OK;
    --found->second.remaining;
    QTRACE(L"%ls: injected fault 0x%08lX\n", operation, static_cast<unsigned long>(found->second.code));
    return found->second.code;
}

void RecordCall(const wchar_t* operation, const std::wstring& arguments)
{
    g_lastCalls[Lower(operation)] = arguments;
}

bool TakeRecordedCall(const std::wstring& operation, std::wstring& arguments)
{
    arguments.clear();
    auto found = g_lastCalls.find(Lower(operation));
    if (found == g_lastCalls.end())
        return false;
    arguments = found->second;
    g_lastCalls.erase(found);
    return true;
}

TransferSettings& Transfers()
{
    return g_transfers;
}

void PumpMessagesFor(DWORD milliseconds)
{
    DWORD start = GetTickCount();
    for (;;) {
        DWORD elapsed = GetTickCount() - start;
        if (elapsed >= milliseconds)
            return;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, milliseconds - elapsed, QS_ALLINPUT);
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (message.message == WM_QUIT) {
                // Left for the main loop, which ends the process.
                PostQuitMessage(static_cast<int>(message.wParam));
                return;
            }
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }
}

HRESULT AddSink(IUnknown* sink, long& cookie)
{
    cookie = 0;
    if (!sink)
        return E_POINTER;
    com_ptr<IDeviceNotifySink> notifySink;
    HRESULT hr = sink->QueryInterface(__uuidof(IDeviceNotifySink), notifySink.put_void());
    if (FAILED(hr))
        return hr;
    cookie = g_nextCookie++;
    g_sinks.emplace(cookie, std::move(notifySink));
    ++g_addCount;
    LockServer();
    return S_OK;
}

HRESULT RemoveSink(long cookie)
{
    auto found = g_sinks.find(cookie);
    if (found == g_sinks.end())
        return E_INVALIDARG;
    g_sinks.erase(found);
    UnlockServer();
    return S_OK;
}

long SinkCount()
{
    return static_cast<long>(g_sinks.size());
}

long AddCount()
{
    return g_addCount;
}

void CountFileSystem(long change)
{
    g_fileSystemCount += change;
    if (change > 0)
        g_fileSystemsMade += change;
}

long FileSystemCount()
{
    return g_fileSystemCount;
}

long FileSystemsMade()
{
    return g_fileSystemsMade;
}

void NotifySinks(bool connected, const std::wstring& imei, const std::wstring& alias)
{
    // A sink may add or remove sinks from inside its callback: work on a copy.
    std::vector<std::pair<long, com_ptr<IDeviceNotifySink>>> sinks(g_sinks.begin(), g_sinks.end());
    unique_bstr imeiText(imei.c_str());
    unique_bstr aliasText(alias.c_str());
    for (auto& sink : sinks) {
        HRESULT hr = connected ? sink.second->DeviceConnect(imeiText.get(), aliasText.get())
                               : sink.second->DeviceDisconnect(imeiText.get(), aliasText.get());
        QTRACE(L"sink %ld answered 0x%08lX\n", sink.first, static_cast<unsigned long>(hr));
        if (IsGone(hr) && g_sinks.count(sink.first))
            RemoveSink(sink.first);
    }
}

void SetRevokeClassObjects(void (*revoke)())
{
    g_revokeClassObjects = revoke;
}

void TerminateSoon()
{
    if (g_revokeClassObjects)
        g_revokeClassObjects();
    std::thread([] {
        Sleep(200);
        TerminateProcess(GetCurrentProcess(), 1);
    }).detach();
}

} // namespace suite
