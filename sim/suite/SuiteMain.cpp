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
#include "phone/LocalServer.h"

#include <cwchar>

namespace {

bool HasSwitch(const wchar_t* commandLine, const wchar_t* name)
{
    for (const wchar_t* at = commandLine; (at = wcspbrk(at, L"-/")) != nullptr; ++at) {
        size_t length = wcslen(name);
        if (_wcsnicmp(at + 1, name, length) == 0 && (at[length + 1] == 0 || iswspace(at[length + 1])))
            return true;
    }
    return false;
}

// The one server of the process, for the suite's kill to revoke its class objects.
LocalServer* g_server = nullptr;

void RevokeClassObjects()
{
    if (g_server)
        g_server->RevokeClassObjects();
}

} // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR commandLine, int)
{
    LocalServer server({{&CLSID_VirtualFileSystem, ClassObjectOf<VirtualFileSystem>(), 0},
                        {&CLSID_DeviceNotifyRegistry, ClassObjectOf<DeviceNotifyRegistry>(), 0},
                        {&CLSID_DeviceInformation, ClassObjectOf<DeviceInformation>(), 0},
                        {&CLSID_SimPhoneSuite, ClassObjectOf<SuiteControl>(), 0},
                        {&CLSID_PhoneControl, ClassObjectOf<PhoneControl>(), 0},
                        {&CLSID_PhoneCommands, ClassObjectOf<PhoneCommands>(), 0}, // media conversion
                        {&CLSID_DataLayer, ClassObjectOf<DataLayer>(), 0}},
                       suite::LockCount, suite::IdleMilliseconds);
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
    g_server = &server;
    suite::SetRevokeClassObjects(RevokeClassObjects);
    return server.Run();
}
