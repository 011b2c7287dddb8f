// Finding and answering top-level windows of other threads and processes, the
// way a user would: message boxes, progress dialogs.
#pragma once

#include <windows.h>

#include <future>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace testing_support {

// Waits for a visible top-level dialog window (class #32770) with the title.
HWND WaitForDialog(const std::wstring& title, DWORD timeoutMs = 10000);
// Every visible top-level dialog with the title, of any process; the owner
// window (GW_OWNER) tells apart those of two operations.
std::vector<HWND> VisibleDialogs(const std::wstring& title);
// Text of the dialog's child control with the given id.
std::wstring ControlText(HWND dialog, int id);
// Presses the button with the given id.
void ClickButton(HWND dialog, int id);
// Presses the button and waits until the dialog is hidden: the next dialog
// with the same title is then another one. False when it stays.
bool AnswerBox(HWND dialog, int id, DWORD timeoutMs = 30000);
// Position and upper limit of a progress dialog's bar.
std::pair<LRESULT, LRESULT> ProgressBar(HWND dialog);
// Answers a dialog from a thread of its own, as a user would: waits for it, takes
// the text of the control `textId` (a message box's text by default) and presses
// the button. The text, or nullopt when no such dialog came in time.
std::future<std::optional<std::wstring>> AnswerDialog(const std::wstring& title, int button, int textId = 65535,
                                                      DWORD timeoutMs = 10000);

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

// Waits until the condition holds without dispatching this thread's messages: no
// timer of its own fires, and its messages stay queued. False on time-out.
template <typename Condition> bool WaitWithoutMessages(Condition condition, DWORD timeoutMs = 30000)
{
    const DWORD start = GetTickCount();
    while (!condition()) {
        if (GetTickCount() - start > timeoutMs)
            return false;
        WaitForSingleObject(GetCurrentProcess(), 10);
    }
    return true;
}

} // namespace testing_support
