// Processes of the product seen from a test: finding, waiting for and ending them.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace testing_support {

std::vector<DWORD> FindProcesses(const std::wstring& exeName);
// Waits until no process of that name runs; false on time-out.
bool WaitForNoProcess(const std::wstring& exeName, DWORD timeoutMs);
void KillProcesses(const std::wstring& exeName);

// The server executable and its registration in the test prefix.
std::wstring ServerExe();
void RegisterServer();

} // namespace testing_support
