// The server module: lock count, shutdown monitor, class table, registration.
#pragma once

#include "AtlModule.h"
#include "common/ModuleLock.h"
#include "common/Resource.h"

namespace server {

constexpr DWORD kIdleTimeoutMs = 5000;
constexpr DWORD kPauseAfterRevokeMs = 1000;

class ServerModule
{
public:
    HRESULT Init(AtlObjectMapEntry* classTable, HINSTANCE instance, const GUID* libid);
    void Term();

    LONG Lock();
    // The unlock rule: at zero or below the shutdown monitor is told.
    LONG Unlock();
    LONG LockCount() const { return ModuleLockCount(); }

    HRESULT RegisterServer();
    HRESULT UnregisterServer();
    HRESULT UpdateRegistryFromResource(UINT resourceId, BOOL doRegister);

    void SetMessageLoopThread(DWORD threadId) { messageLoopThread_ = threadId; }
    bool StartMonitor();
    HRESULT RegisterClassObjects(DWORD context, DWORD flags);
    HRESULT RevokeClassObjects();

    HINSTANCE Instance() const { return record_.instance; }

private:
    static void OnIdle();
    static DWORD WINAPI MonitorThread(void* context);
    void MonitorShutdown();

    AtlModuleRecord record_{};
    const GUID* libid_ = nullptr;
    DWORD messageLoopThread_ = 0;
    HANDLE shutdownEvent_ = nullptr; // closed by the monitor just before it posts WM_QUIT
    volatile LONG activity_ = 0;
};

extern ServerModule g_module;

// The process-wide critical section that guards the shared main object.
extern critical_section g_singletonLock;

} // namespace server
