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

// Random faults. The suite's own death is one of them, so the state lives in
// the registry and a fresh process goes on with the next draw.
const wchar_t kChaosKey[] = L"Software\\SimPhoneSuite";
const wchar_t kChaosValue[] = L"Chaos";
// The file-system operations that may fail at random.
const wchar_t* const kChaosOperations[] = {L"fopen", L"fread", L"fwrite", L"fclose",     L"fgettime", L"fsettime",
                                           L"mkdir", L"rmdir", L"rename", L"deletefile", L"readdir"};
enum ChaosKind { Cancel, Failure, Full, Death, KindCount };
struct ChaosState {
    DWORD seed = 0;
    DWORD permille = 0; // 0: off
    DWORD draws = 0;
    DWORD injected[KindCount] = {};
};

bool LoadChaos(ChaosState& state)
{
    DWORD size = sizeof(state);
    return RegGetValueW(HKEY_LOCAL_MACHINE, kChaosKey, kChaosValue, RRF_RT_REG_BINARY, nullptr, &state, &size) ==
               ERROR_SUCCESS &&
           size == sizeof(state);
}

void SaveChaos(const ChaosState* state)
{
    unique_hkey key;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, kChaosKey, 0, nullptr, 0, KEY_WRITE, nullptr, key.put(), nullptr) !=
        ERROR_SUCCESS)
        return;
    if (state)
        RegSetValueExW(key.get(), kChaosValue, 0, REG_BINARY, reinterpret_cast<const BYTE*>(state), sizeof(*state));
    else
        RegDeleteValueW(key.get(), kChaosValue);
}

// splitmix64: draw n of a seed, the same on every run.
unsigned long long Draw(DWORD seed, DWORD n)
{
    unsigned long long z = (static_cast<unsigned long long>(seed) << 32 | n) + 0x9E3779B97F4A7C15ull;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

void Die()
{
    // As `kill` does, but without answering the call in progress.
    if (g_revokeClassObjects)
        g_revokeClassObjects();
    TerminateProcess(GetCurrentProcess(), 1);
}

HRESULT TakeChaos(const std::wstring& operation)
{
    bool drawn = false;
    for (const wchar_t* name : kChaosOperations)
        drawn = drawn || operation == name;
    ChaosState state;
    if (!drawn || !LoadChaos(state) || state.permille == 0)
        return S_OK;
    const unsigned long long r = Draw(state.seed, state.draws++);
    HRESULT code = S_OK;
    bool die = false;
    if (r % 1000 < state.permille) {
        // Memory full only where the phone finds out; death a rarer thing than the others.
        const bool atClose = operation == L"fclose";
        const unsigned pick = static_cast<unsigned>((r >> 32) % (atClose ? 13 : 9));
        const ChaosKind kind = pick < 4 ? Cancel : pick < 8 ? Failure : pick == 8 ? Death : Full;
        ++state.injected[kind];
        const HRESULT codes[] = {suite_error::Cancelled, suite_error::StoreFailure, suite_error::MemoryFull, S_OK};
        code = codes[kind];
        die = kind == Death;
        QTRACE(L"%ls: chaos draw %lu, kind %d\n", operation.c_str(), state.draws - 1, static_cast<int>(kind));
    }
    SaveChaos(&state);
    if (die)
        Die();
    return code;
}

std::wstring ChaosRecord()
{
    ChaosState state;
    if (!LoadChaos(state))
        return std::wstring();
    return L"seed=" + std::to_wstring(state.seed) + L" permille=" + std::to_wstring(state.permille) + L" calls=" +
           std::to_wstring(state.draws) + L" cancel=" + std::to_wstring(state.injected[Cancel]) + L" failure=" +
           std::to_wstring(state.injected[Failure]) + L" full=" + std::to_wstring(state.injected[Full]) + L" death=" +
           std::to_wstring(state.injected[Death]);
}

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
    if (Lower(operation) == L"chaos") {
        // The seed in the code, the chance per thousand calls in the count; 0 ends it, keeping the figures.
        if (count < 0 || count > 1000)
            return E_INVALIDARG;
        ChaosState state;
        if (count == 0 && !LoadChaos(state))
            return S_OK;
        if (count > 0)
            state = ChaosState{static_cast<DWORD>(code), static_cast<DWORD>(count)};
        state.permille = static_cast<DWORD>(count);
        SaveChaos(&state);
        return S_OK;
    }
    if (operation.empty() || code == S_OK || count < 0)
        return E_INVALIDARG;
    g_faults[Lower(operation)] = Fault{code, count};
    return S_OK;
}

void ClearFaults()
{
    g_faults.clear();
    g_lastCalls.clear();
    SaveChaos(nullptr);
}

HRESULT TakeFault(const wchar_t* operation)
{
    const HRESULT chaos = TakeChaos(operation);
    if (chaos != S_OK)
        return chaos;
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
    if (Lower(operation) == L"chaos") {
        // The figures stay until chaos starts again or the faults are cleared.
        arguments = ChaosRecord();
        return !arguments.empty();
    }
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
    // The most alive at once since the last question.
    std::wstring& peak = g_lastCalls[L"filesystempeak"];
    if (peak.empty() || _wtol(peak.c_str()) < g_fileSystemCount)
        peak = std::to_wstring(g_fileSystemCount);
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
