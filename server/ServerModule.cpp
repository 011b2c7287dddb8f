#include "ServerModule.h"

#include "common/ComPtr.h"
#include "common/Resource.h"
#include "common/Trace.h"

#include <oleauto.h>

namespace server {

ServerModule g_module;
critical_section g_singletonLock;

HRESULT ServerModule::Init(AtlObjectMapEntry* classTable, HINSTANCE instance, const GUID* libid)
{
    record_.cbSize = sizeof(record_);
    libid_ = libid;
    HRESULT hr = AtlModuleInit(&record_, classTable, instance);
    record_.atlBuildVersion = 0x0300;
    SetModuleIdleHandler(OnIdle);
    return hr;
}

void ServerModule::Term()
{
    AtlModuleTerm(&record_);
}

LONG ServerModule::Lock()
{
    return LockModule();
}

LONG ServerModule::Unlock()
{
    return UnlockModule();
}

void ServerModule::OnIdle()
{
    InterlockedExchange(&g_module.activity_, 1);
    if (HANDLE event = g_module.shutdownEvent_)
        SetEvent(event);
}

HRESULT ServerModule::UpdateRegistryFromResource(UINT resourceId, BOOL doRegister)
{
    return AtlModuleUpdateRegistryFromResourceD(&record_, MAKEINTRESOURCEW(resourceId), doRegister, nullptr, nullptr);
}

HRESULT ServerModule::RegisterServer()
{
    return AtlModuleRegisterServer(&record_, TRUE, nullptr);
}

HRESULT ServerModule::UnregisterServer()
{
    // Every class's script runs, whatever the others did.
    for (AtlObjectMapEntry* entry = record_.objectMap; entry && entry->clsid; ++entry)
        entry->updateRegistry(FALSE);

    wchar_t path[MAX_PATH];
    DWORD length = GetModuleFileNameW(record_.typeLibInstance, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return HRESULT_FROM_WIN32(ERROR_FILENAME_EXCED_RANGE);
    com_ptr<ITypeLib> typeLib;
    HRESULT hr = LoadTypeLibEx(path, REGKIND_NONE, typeLib.put());
    if (FAILED(hr))
        return hr;
    unique_tlibattr attributes(typeLib.get());
    if (FAILED(attributes.result()))
        return attributes.result();
    HRESULT unregistered = UnRegisterTypeLib(attributes->guid, attributes->wMajorVerNum, attributes->wMinorVerNum,
                                             attributes->lcid, attributes->syskind);
    QTRACE(L"(): UnRegisterTypeLib: 0x%X\n", unregistered);
    (void)unregistered;
    return S_OK;
}

bool ServerModule::StartMonitor()
{
    shutdownEvent_ = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    if (!shutdownEvent_)
        return false;
    // The monitor runs until it posts WM_QUIT; nobody waits for it.
    unique_handle thread(CreateThread(nullptr, 0, MonitorThread, this, 0, nullptr));
    return static_cast<bool>(thread);
}

DWORD WINAPI ServerModule::MonitorThread(void* context)
{
    static_cast<ServerModule*>(context)->MonitorShutdown();
    return 0;
}

void ServerModule::MonitorShutdown()
{
    for (;;) {
        WaitForSingleObject(shutdownEvent_, INFINITE);
        DWORD wait;
        do {
            InterlockedExchange(&activity_, 0);
            wait = WaitForSingleObject(shutdownEvent_, kIdleTimeoutMs);
        } while (wait == WAIT_OBJECT_0);
        if (!activity_ && ModuleLockCount() <= 0)
            break;
    }
    unique_handle event(InterlockedExchangePointer(&shutdownEvent_, nullptr));
    event.reset();
    PostThreadMessageW(messageLoopThread_, WM_QUIT, 0, 0);
}

HRESULT ServerModule::RegisterClassObjects(DWORD context, DWORD flags)
{
    return AtlModuleRegisterClassObjects(&record_, context, flags);
}

HRESULT ServerModule::RevokeClassObjects()
{
    return AtlModuleRevokeClassObjects(&record_);
}

} // namespace server
