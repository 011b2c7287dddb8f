#include "Processes.h"

#include "TestSupport.h"
#include "common/Resource.h"

#include <tlhelp32.h>

namespace testing_support {

std::vector<DWORD> FindProcesses(const std::wstring& exeName)
{
    std::vector<DWORD> ids;
    unique_file snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot)
        return ids;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof(entry);
    for (BOOL more = Process32FirstW(snapshot.get(), &entry); more; more = Process32NextW(snapshot.get(), &entry)) {
        if (_wcsicmp(entry.szExeFile, exeName.c_str()) == 0)
            ids.push_back(entry.th32ProcessID);
    }
    return ids;
}

bool WaitForNoProcess(const std::wstring& exeName, DWORD timeoutMs)
{
    DWORD start = GetTickCount();
    while (!FindProcesses(exeName).empty()) {
        if (GetTickCount() - start > timeoutMs)
            return false;
        Sleep(100);
    }
    return true;
}

namespace {
bool Terminate(const std::wstring& exeName)
{
    bool killed = false;
    for (DWORD id : FindProcesses(exeName)) {
        unique_handle process(OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, id));
        if (process) {
            TerminateProcess(process.get(), 1);
            WaitForSingleObject(process.get(), 10000);
            killed = true;
        }
    }
    return killed;
}
} // namespace

void KillProcesses(const std::wstring& exeName)
{
    // Wine's COM service keeps the class objects of a killed server registered;
    // ending the service too lets it start clean on the next activation.
    if (Terminate(exeName))
        Terminate(L"rpcss.exe");
}

std::wstring ServerExe()
{
    return ProductDir() + L"\\ZentrelQuelvar.exe";
}

void RegisterServer()
{
    RunProgram(L"\"" + ServerExe() + L"\" /RegServer");
}

} // namespace testing_support
