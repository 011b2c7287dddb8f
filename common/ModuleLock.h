// The server's lock count. Every live object and every running operation holds
// one lock; the server's shutdown monitor is told when the count drops to zero.
#pragma once

#include <windows.h>

LONG LockModule();
LONG UnlockModule();
LONG ModuleLockCount();
// Called on every unlock that leaves the count at zero or below; set once by
// the server before any object exists.
void SetModuleIdleHandler(void (*onIdle)());

// Dispatches what arrives (calls into the apartment among it) for that long. A
// server that has revoked its class objects serves on a little: a client may have
// reached one just before the revoke, and its creation request must not fail.
void ServeCallsFor(DWORD milliseconds);

// One counted lock for the owner's lifetime; a copy holds a lock of its own.
class ModuleLock
{
public:
    ModuleLock() { LockModule(); }
    ModuleLock(const ModuleLock&) { LockModule(); }
    ModuleLock& operator=(const ModuleLock&) { return *this; }
    ~ModuleLock() { UnlockModule(); }
};
