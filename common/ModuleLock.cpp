#include "ModuleLock.h"

namespace {
volatile LONG g_lockCount = 0;
void (*volatile g_onIdle)() = nullptr;
} // namespace

LONG LockModule()
{
    return InterlockedIncrement(&g_lockCount);
}

LONG UnlockModule()
{
    LONG count = InterlockedDecrement(&g_lockCount);
    if (count <= 0) {
        if (void (*onIdle)() = g_onIdle)
            onIdle();
    }
    return count;
}

LONG ModuleLockCount()
{
    return g_lockCount;
}

void SetModuleIdleHandler(void (*onIdle)())
{
    g_onIdle = onIdle;
}

void ServeCallsFor(DWORD milliseconds)
{
    const DWORD start = GetTickCount();
    for (DWORD elapsed = 0; elapsed < milliseconds; elapsed = GetTickCount() - start) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, milliseconds - elapsed, QS_ALLINPUT);
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message != WM_QUIT)
                DispatchMessageW(&msg);
        }
    }
}
