// ObexPhones.exe: the phone suite over OBEX FTP. Registration from the command
// line, the configuration commands, or the local server COM starts.
#include "Components.h"
#include "ConfigCommands.h"
#include "DeviceInfo.h"
#include "NotifyRegistry.h"
#include "ObexFileSystem.h"
#include "phone/LocalServer.h"
#include "phone/SuiteRegistration.h"
#include "common/Resource.h"

#include <shellapi.h>

#include <string>
#include <vector>

namespace {

volatile DWORD g_idleSince = GetTickCount();

void MarkIdle()
{
    g_idleSince = GetTickCount();
}

DWORD IdleMilliseconds()
{
    return ModuleLockCount() == 0 ? GetTickCount() - g_idleSince : 0;
}

com_ptr<IClassFactory> ClassOf(obex::Creator create)
{
    return com_ptr<IClassFactory>(obex::ClassObject::Create(create).get());
}

int Serve()
{
    SetModuleIdleHandler(MarkIdle);
    LocalServer server({{&CLSID_VirtualFileSystem, ClassOf(obex::CreateOf<obex::ObexFileSystem>), 0},
                        {&CLSID_DeviceNotifyRegistry, ClassOf(obex::CreateOf<obex::NotifyRegistry>), 0},
                        {&CLSID_DeviceInformation, ClassOf(obex::CreateOf<obex::DeviceInfo>), 0},
                        {&CLSID_PhoneControl, ClassOf(obex::CreateOf<obex::PhoneControl>), 0},
                        {&CLSID_PhoneCommands, ClassOf(obex::CreateOf<obex::PhoneCommands>), 0},
                        {&CLSID_DataLayer, ClassOf(obex::CreateOf<obex::DataLayer>), 0}},
                       ModuleLockCount, IdleMilliseconds);
    return server.Run();
}

std::vector<std::wstring> Arguments()
{
    int count = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &count);
    std::vector<std::wstring> arguments;
    for (int i = 1; argv && i < count; ++i)
        arguments.emplace_back(argv[i]);
    LocalFree(argv);
    return arguments;
}

bool IsSwitch(const std::vector<std::wstring>& arguments, const wchar_t* name)
{
    return arguments.size() == 1 && (arguments[0][0] == L'/' || arguments[0][0] == L'-') &&
           _wcsicmp(arguments[0].c_str() + 1, name) == 0;
}

// The program has no console of its own: it writes to the handles it was given,
// or to the console of the command prompt that started it.
void Write(DWORD which, const std::wstring& text)
{
    HANDLE handle = GetStdHandle(which);
    if ((!handle || handle == INVALID_HANDLE_VALUE) && AttachConsole(ATTACH_PARENT_PROCESS))
        handle = GetStdHandle(which);
    if (!handle || handle == INVALID_HANDLE_VALUE || text.empty())
        return;
    DWORD written = 0;
    if (WriteConsoleW(handle, text.c_str(), static_cast<DWORD>(text.size()), &written, nullptr))
        return;
    const int length =
        WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string utf8(length, '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), &utf8[0], length, nullptr, nullptr);
    WriteFile(handle, utf8.data(), static_cast<DWORD>(utf8.size()), &written, nullptr);
}

} // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR, int)
{
    const std::vector<std::wstring> arguments = Arguments();
    if (obex::IsConfigCommand(arguments)) {
        std::wstring out, error;
        const int code = obex::RunConfigCommand(arguments, obex::PhoneConfig(), out, error);
        Write(STD_OUTPUT_HANDLE, out);
        Write(STD_ERROR_HANDLE, error);
        return code;
    }
    const bool serving = arguments.empty() || IsSwitch(arguments, L"Embedding");
    // Served objects live in the multithreaded apartment: calls arrive on RPC
    // threads, so a Cancel reaches a transfer that another call still runs.
    com_apartment apartment(serving ? COINIT_MULTITHREADED : COINIT_APARTMENTTHREADED);
    if (FAILED(apartment.result()))
        return obex::kExitRegistry;
    if (serving)
        return Serve();
    const std::vector<suite_registration::ClassEntry> classes = suite_registration::PhoneComponentClasses();
    if (IsSwitch(arguments, L"RegServer"))
        return SUCCEEDED(suite_registration::Register(classes, 1)) ? obex::kExitOk : obex::kExitRegistry;
    if (IsSwitch(arguments, L"UnregServer"))
        return SUCCEEDED(suite_registration::Unregister(classes, {&LIBID_PhoneComponentsLib})) ? obex::kExitOk
                                                                                               : obex::kExitRegistry;
    std::wstring out, error;
    const int code = obex::RunConfigCommand(arguments, obex::PhoneConfig(), out, error);
    Write(STD_ERROR_HANDLE, error);
    return code;
}
