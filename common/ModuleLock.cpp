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
