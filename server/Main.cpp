// Process entry of the server: command line, registration, single instance,
// class objects, message loop and shutdown.
#include "ClassFactory.h"
#include "CommandLine.h"
#include "common/ComObject.h"
#include "common/ModuleLock.h"
#include "QuelvarSingleton.h"
#include "ServerModule.h"
#include "common/Resource.h"
#include "common/Trace.h"
#include "core/CComQuelvar.h"
#include "piupdate/PIUpdate.h"
#include "resources/resource.h"

#include <shlwapi.h>

#include <cwctype>
#include <string>

namespace {

HRESULT WINAPI UpdateQuelvarRegistry(BOOL doRegister)
{
    return server::g_module.UpdateRegistryFromResource(IDR_QUELVAR, doRegister);
}

HRESULT WINAPI UpdateSingletonRegistry(BOOL doRegister)
{
    return server::g_module.UpdateRegistryFromResource(IDR_QUELVARSINGLETON, doRegister);
}

HRESULT WINAPI UpdatePIUpdateRegistry(BOOL doRegister)
{
    return server::g_module.UpdateRegistryFromResource(IDR_PIUPDATE, doRegister);
}

// The registration functions of the module library call this unchecked.
const void* WINAPI NoCategories()
{
    return nullptr;
}

AtlObjectMapEntry g_classTable[] = {
    {&CLSID_Quelvar, UpdateQuelvarRegistry, server::GetClassObject<1>, CreateInstance<CComQuelvar>, nullptr, 0, nullptr,
     NoCategories, nullptr},
    {&CLSID_QuelvarSingleton, UpdateSingletonRegistry, server::GetClassObject<2>,
     CreateInstance<server::QuelvarSingleton>, nullptr, 0, nullptr, NoCategories, nullptr},
    {&CLSID_PIUpdate, UpdatePIUpdateRegistry, server::GetClassObject<3>, CreateInstance<CPIUpdate>, nullptr, 0, nullptr,
     NoCategories, nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr, 0, nullptr, nullptr, nullptr},
};

HRESULT Register()
{
    server::g_module.UpdateRegistryFromResource(IDR_PIUPDATE, TRUE);
    server::g_module.UpdateRegistryFromResource(IDR_APPID, TRUE);
    return server::g_module.RegisterServer();
}

HRESULT Unregister()
{
    server::g_module.UpdateRegistryFromResource(IDR_PIUPDATE, FALSE);
    server::g_module.UpdateRegistryFromResource(IDR_APPID, FALSE);
    return server::g_module.UnregisterServer();
}

void RunMessageLoop()
{
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0)) {
        try {
            DispatchMessageW(&msg);
        } catch (...) {
            QTRACE(L"(): Unknown exception, msg: hwnd = 0x%X, message = 0x%X(%d)\n", msg.hwnd, msg.message,
                   msg.message);
            QTRACE(L"\twParam = 0x%X, lParam = 0x%X\n", msg.wParam, msg.lParam);
        }
    }
}

// The mutex name is the executable's full path without backslashes, lower case.
unique_handle CreateInstanceMutex(bool& serving)
{
    wchar_t path[MAX_PATH];
    DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) {
        serving = false;
        return unique_handle();
    }
    std::wstring name;
    for (const wchar_t* p = path; *p; ++p) {
        if (*p != L'\\')
            name += static_cast<wchar_t>(towlower(*p));
    }
    unique_handle mutex(CreateMutexW(nullptr, TRUE, name.c_str()));
    if (!mutex) {
        serving = false;
    } else if (GetLastError() == ERROR_ALREADY_EXISTS) {
        serving = false;
        mutex.reset();
    }
    return mutex;
}

int ServerMain(HINSTANCE instance)
{
    const wchar_t* commandLine = GetCommandLineW();

    wchar_t modulePath[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, modulePath, MAX_PATH);
    trace::Initialise(PathFindFileNameW(modulePath));

    CoInitialize(nullptr);
    server::g_module.Init(g_classTable, instance, &LIBID_ZENTRELQUELVARLib);
    server::g_module.SetMessageLoopThread(GetCurrentThreadId());

    HRESULT exitCode = S_OK;
    bool serving = true;
    switch (server::ScanCommandLine(commandLine)) {
    case server::CommandLineAction::Unregister:
        exitCode = Unregister();
        serving = false;
        break;
    case server::CommandLineAction::Register:
        exitCode = Register();
        serving = false;
        break;
    case server::CommandLineAction::Serve:
        break;
    }

    unique_handle mutex = CreateInstanceMutex(serving);
    while (serving) {
        server::g_module.StartMonitor();
        server::g_module.RegisterClassObjects(CLSCTX_LOCAL_SERVER, REGCLS_MULTIPLEUSE);
        RunMessageLoop();
        server::g_module.RevokeClassObjects();
        // A client may have reached a class object just before the revoke: its
        // creation request is served, and an object made so keeps the server.
        ServeCallsFor(server::kPauseAfterRevokeMs);
        serving = server::g_module.LockCount() > 0;
    }

    server::g_module.Term();
    CoUninitialize();
    if (mutex)
        ReleaseMutex(mutex.get());
    return static_cast<int>(exitCode);
}

} // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, LPWSTR, int)
{
    return ServerMain(instance);
}
