// Finding and answering top-level windows of other threads and processes, the
// way a user would: message boxes, progress dialogs.
#pragma once

#include <windows.h>

#include <string>
#include <utility>
#include <vector>

namespace testing_support {

// Every visible top-level dialog window (class #32770) with the title, now.
std::vector<HWND> FindDialogs(const std::wstring& title);
// Waits for a visible top-level dialog window (class #32770) with the title.
HWND WaitForDialog(const std::wstring& title, DWORD timeoutMs = 10000);
// Text of the dialog's child control with the given id.
std::wstring ControlText(HWND dialog, int id);
// Presses the button with the given id.
void ClickButton(HWND dialog, int id);
// Position and upper limit of a progress dialog's bar.
std::pair<LRESULT, LRESULT> ProgressBar(HWND dialog);

// Waits until the condition holds, dispatching this thread's messages (timers,
// calls into this apartment) meanwhile; false on time-out.
template <typename Condition> bool PumpUntil(Condition condition, DWORD timeoutMs = 10000)
{
    const DWORD start = GetTickCount();
    while (!condition()) {
        if (GetTickCount() - start > timeoutMs)
            return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageW(&message);
    }
    return true;
}

} // namespace testing_support
