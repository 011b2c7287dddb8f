// Finding and answering top-level windows of other threads and processes, the
// way a user would: message boxes, progress dialogs.
#pragma once

#include <windows.h>

#include <string>

namespace testing_support {

// Waits for a visible top-level dialog window (class #32770) with the title.
HWND WaitForDialog(const std::wstring& title, DWORD timeoutMs = 10000);
// Text of the dialog's child control with the given id.
std::wstring ControlText(HWND dialog, int id);
// Presses the button with the given id.
void ClickButton(HWND dialog, int id);

} // namespace testing_support
