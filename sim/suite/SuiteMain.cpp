// The suite's process: registration from the command line, or the local server
// with its class objects, message loop and idle shutdown.
#include "DataLayer.h"
#include "DeviceInformation.h"
#include "DeviceNotifyRegistry.h"
#include "PhoneCommands.h"
#include "PhoneControl.h"
#include "Registration.h"
#include "SuiteControl.h"
#include "SuiteState.h"
#include "VirtualFileSystem.h"
#include "common/Resource.h"
#include "common/Trace.h"

#include <cwchar>

namespace {

// Wine fails the client of a server that ends within about a second of its
// start, so the process lingers at least this long, and as long when idle.
const DWORD kMinimumLifetimeMs = 3000;
const DWORD kIdleShutdownMs = 3000;
const UINT kIdleCheckMs = 250;

DWORD g_startTick = 0;

bool HasSwitch(const wchar_t* commandLine, const wchar_t* name)
{
    for (const wchar_t* at = commandLine; (at = wcspbrk(at, L"-/")) != nullptr; ++at) {
        size_t length = wcslen(name);
        if (_wcsnicmp(at + 1, name, length) == 0 && (at[length + 1] == 0 || iswspace(at[length + 1])))
            return true;
    }
    return false;
}

struct ClassRegistration {
    const CLSID& clsid;
    com_ptr<IClassFactory> factory;
    DWORD cookie;
} g_registrations[] = {
    {CLSID_VirtualFileSystem, ClassObjectOf<VirtualFileSystem>(), 0},
    {CLSID_DeviceNotifyRegistry, ClassObjectOf<DeviceNotifyRegistry>(), 0},
    {CLSID_DeviceInformation, ClassObjectOf<DeviceInformation>(), 0},
    {CLSID_SimPhoneSuite, ClassObjectOf<SuiteControl>(), 0},
    {CLSID_PhoneControl, ClassObjectOf<PhoneControl>(), 0},
    {CLSID_PhoneCommands, ClassObjectOf<PhoneCommands>(), 0}, // media conversion
    {CLSID_DataLayer, ClassObjectOf<DataLayer>(), 0},
};

void RegisterClassObjects()
{
    for (ClassRegistration& registration : g_registrations) {
        HRESULT hr = CoRegisterClassObject(registration.clsid, registration.factory.get(), CLSCTX_LOCAL_SERVER,
                                           REGCLS_MULTIPLEUSE, &registration.cookie);
        QTRACE(L"CoRegisterClassObject -> 0x%08lX\n", static_cast<unsigned long>(hr));
        static_cast<void>(hr);
    }
}

void RevokeClassObjects()
{
    for (ClassRegistration& registration : g_registrations) {
        if (registration.cookie)
            CoRevokeClassObject(registration.cookie);
        registration.cookie = 0;
    }
}

bool ClassObjectsRegistered()
{
    return g_registrations[0].cookie != 0;
}

// Class objects are withdrawn before the process decides to end, so that no new
// client reaches a process that is about to go; a creation that was already on
// its way keeps the process running and the class objects come back.
void CALLBACK CheckIdle(HWND, UINT, UINT_PTR, DWORD)
{
    if (suite::LockCount() != 0 || suite::IdleMilliseconds() < kIdleShutdownMs ||
        GetTickCount() - g_startTick < kMinimumLifetimeMs || !ClassObjectsRegistered())
        return;
    RevokeClassObjects();
    if (suite::LockCount() == 0)
        PostQuitMessage(0);
    else
        RegisterClassObjects();
}

} // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR commandLine, int)
{
    g_startTick = GetTickCount();
    trace::Initialise(L"SimPhoneSuite");
    const bool registering = HasSwitch(commandLine, L"RegServer");
    const bool unregistering = HasSwitch(commandLine, L"UnregServer");
    com_apartment apartment(COINIT_APARTMENTTHREADED);
    if (FAILED(apartment.result()))
        return 1;
    if (registering || unregistering) {
        HRESULT hr = registering ? RegisterSuite() : UnregisterSuite();
        return SUCCEEDED(hr) ? 0 : 2;
    }

    RegisterClassObjects();
    suite::SetRevokeClassObjects(RevokeClassObjects);

    UINT_PTR timer = SetTimer(nullptr, 0, kIdleCheckMs, CheckIdle);
    for (;;) {
        MSG message;
        while (GetMessageW(&message, nullptr, 0, 0) > 0) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
        // A call queued before the quit may have created an object after all.
        if (suite::LockCount() == 0)
            break;
        RegisterClassObjects();
    }
    KillTimer(nullptr, timer);
    RevokeClassObjects();
    return 0;
}
