// Process-wide state of the suite: the server lock, injected faults, transfer
// speed and cancel, and the registered notification sinks. Everything runs on
// the one apartment thread, so no state needs a lock.
#pragma once

#include "PhoneStore.h"
#include "PhoneComponents.h"
#include "common/ComPtr.h"

#include <windows.h>

#include <string>

namespace suite {

// Every object and every registered sink holds the server while it lives.
void LockServer();
void UnlockServer();
LONG LockCount();
// Milliseconds since the lock count last dropped to zero (or since start).
DWORD IdleMilliseconds();

PhoneStore Store();

// The next `count` calls of an operation fail with `code`.
HRESULT SetFault(const std::wstring& operation, HRESULT code, long count);
void ClearFaults();
// S_OK, or the injected code of the named operation (one call used up).
HRESULT TakeFault(const wchar_t* operation);

// The arguments of an operation's last call, kept for the tests until they take
// them; ClearFaults forgets them too.
void RecordCall(const wchar_t* operation, const std::wstring& arguments);
bool TakeRecordedCall(const std::wstring& operation, std::wstring& arguments);

struct TransferSettings {
    DWORD delayMs = 0;
    DWORD chunkSize = 64 * 1024;
};
TransferSettings& Transfers();

// Waits while dispatching messages, so that calls from clients (a cancel) get in.
void PumpMessagesFor(DWORD milliseconds);

HRESULT AddSink(IUnknown* sink, long& cookie);
HRESULT RemoveSink(long cookie);
long SinkCount();
// Sinks added since the process started.
long AddCount();
// Phone file-system instances alive: each counts itself while it lives.
void CountFileSystem(long change);
long FileSystemCount();
long FileSystemsMade();
// Tells every sink; a failing sink does not stop the others, a vanished one is dropped.
void NotifySinks(bool connected, const std::wstring& imei, const std::wstring& alias);

// Ends the process shortly after the current call has answered. The class
// objects are revoked first: the platform's activation service does not notice
// a dead server on its own, and new clients must start a fresh process.
void TerminateSoon();
// What TerminateSoon runs before it ends the process.
void SetRevokeClassObjects(void (*revoke)());

} // namespace suite
