#include "LocalServer.h"

#include "common/ModuleLock.h"

namespace {

// Wine fails the client of a server that ends within about a second of its
// start, so the process lingers at least this long, and as long when idle.
const DWORD kMinimumLifetimeMs = 3000;
const DWORD kIdleShutdownMs = 3000;
const UINT kIdleCheckMs = 250;
const DWORD kPauseAfterRevokeMs = 1000;

} // namespace

LocalServer::LocalServer(std::vector<ClassObject> classes, LONG (*lockCount)(), DWORD (*idleMilliseconds)())
    : classes_(std::move(classes)), lockCount_(lockCount), idleMilliseconds_(idleMilliseconds),
      startTick_(GetTickCount())
{
}

void LocalServer::RegisterClassObjects()
{
    for (ClassObject& entry : classes_)
        CoRegisterClassObject(*entry.clsid, entry.factory.get(), CLSCTX_LOCAL_SERVER, REGCLS_MULTIPLEUSE,
                              &entry.cookie);
}

void LocalServer::RevokeClassObjects()
{
    for (ClassObject& entry : classes_) {
        if (entry.cookie)
            CoRevokeClassObject(entry.cookie);
        entry.cookie = 0;
    }
}

// Class objects are withdrawn before the process decides to end, so that no new
// client reaches a process that is about to go; a creation that was already on
// its way keeps the process running and the class objects come back.
void LocalServer::CheckIdle()
{
    if (lockCount_() != 0 || idleMilliseconds_() < kIdleShutdownMs ||
        GetTickCount() - startTick_ < kMinimumLifetimeMs || classes_.empty() || classes_[0].cookie == 0)
        return;
    RevokeClassObjects();
    if (lockCount_() == 0)
        PostQuitMessage(0);
    else
        RegisterClassObjects();
}

int LocalServer::Run()
{
    RegisterClassObjects();
    const UINT_PTR timer = SetTimer(nullptr, 0, kIdleCheckMs, nullptr);
    for (;;) {
        MSG message;
        while (GetMessageW(&message, nullptr, 0, 0) > 0) {
            if (message.message == WM_TIMER && message.hwnd == nullptr && message.wParam == timer) {
                CheckIdle();
                continue;
            }
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
        // A call queued before the quit, or from a client that reached a class
        // object just before the revoke, may create an object after all.
        ServeCallsFor(kPauseAfterRevokeMs);
        if (lockCount_() == 0)
            break;
        RegisterClassObjects();
    }
    KillTimer(nullptr, timer);
    RevokeClassObjects();
    return 0;
}
