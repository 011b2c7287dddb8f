#include "OperationListener.h"

#include "common/Trace.h"

#include <new>

namespace {

constexpr UINT kTimerIntervalMs = 1000;
constexpr UINT_PTR kTimerId = 1;
constexpr DWORD kProgressIntervalMs = 50;
constexpr wchar_t kDefaultProgressTitle[] = L"Transferring Data...";
constexpr wchar_t kTimerWindowClass[] = L"QuelvarOperationTimer";

// Registered once for the process; a second registration finds it there.
bool RegisterTimerWindowClass(WNDPROC procedure)
{
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.lpfnWndProc = procedure;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = kTimerWindowClass;
    return RegisterClassExW(&windowClass) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

} // namespace

COperationListener::COperationListener(IVirtualFileSystem* phoneFs) : phoneFs_(phoneFs) {}

COperationListener::~COperationListener()
{
    Stop();
}

STDMETHODIMP COperationListener::FileStarted()
{
    currentFileTotal_ = 0;
    return S_OK;
}

STDMETHODIMP COperationListener::FileFinished()
{
    bytesBeforeThisFile_ += currentFileTotal_;
    currentFileTotal_ = 0;
    return S_OK;
}

STDMETHODIMP COperationListener::TotalFiles(long)
{
    return S_OK;
}

STDMETHODIMP COperationListener::CurrentFile(long)
{
    return S_OK;
}

void COperationListener::CancelTransfer()
{
    QTRACE(L"(): Trying to Cancel...\n");
    HRESULT hr = phoneFs_->Cancel();
    if (FAILED(hr))
        QTRACE(L"(): VFS::Cancel failed! (hr = 0x%X)\n", hr);
}

STDMETHODIMP COperationListener::TransferStatus(unsigned long transferred, unsigned long total)
{
    if (dialog_) {
        if (phoneFs_ && HasUserCancelled())
            CancelTransfer();
        // Each bar update waits for the dialog's thread to paint, which costs more
        // than a chunk's callback itself: a file's first and last report and one
        // a tick show everything a user can follow.
        const bool firstOfFile = currentFileTotal_ == 0;
        currentFileTotal_ = total;
        const DWORD now = GetTickCount();
        if (firstOfFile || transferred >= total || now - lastProgressTick_ >= kProgressIntervalMs) {
            lastProgressTick_ = now;
            ULONGLONG position = transferred;
            ULONGLONG range = total;
            if (overallTotal_ > 0) {
                range = overallTotal_;
                position = static_cast<ULONGLONG>(bytesBeforeThisFile_) + transferred;
            }
            dialog_.SetProgress(position, range);
        }
    }
    QTRACE(L"(): Transferred %d of %d bytes\n", transferred, total);
    return S_OK;
}

HRESULT COperationListener::Start(HWND parent)
{
    if (dialog_ && SUCCEEDED(dialog_.Start(parent, localisation::kProgressWithBar)))
        StartTimer();
    return S_OK;
}

HRESULT COperationListener::Stop()
{
    StopTimer();
    dialog_.Stop();
    return S_OK;
}

void COperationListener::Finish()
{
    Stop();
    phoneFs_.reset();
}

void COperationListener::SetTitle(const std::wstring& title)
{
    dialog_.SetTitle(title);
}

void COperationListener::SetTitle(CVexaUtil& language, const localisation::ProgressTitle& title)
{
    dialog_.SetTitle(language, title);
}

void COperationListener::SetItemText(const std::wstring& text)
{
    dialog_.SetLine(2, text);
}

void COperationListener::SetAnimation(HMODULE module, UINT resourceId)
{
    dialog_.SetAnimation(module, resourceId);
}

bool COperationListener::HasUserCancelled() const
{
    // The timer closes the dialog when it sees a Cancel; the caller must still
    // learn of it before the next file.
    if (!userCancelled_ && dialog_.HasUserCancelled())
        userCancelled_ = true;
    return userCancelled_;
}

// The window is made on the thread that starts the listener, so its ticks
// arrive there and nowhere else.
void COperationListener::StartTimer()
{
    StopTimer();
    if (!RegisterTimerWindowClass(TimerWindowProc)) {
        QTRACE(L"(): RegisterClassEx failed! (error %u)\n", GetLastError());
        return;
    }
    timerWindow_.reset(CreateWindowExW(0, kTimerWindowClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                       GetModuleHandleW(nullptr), nullptr));
    if (!timerWindow_) {
        QTRACE(L"(): CreateWindowEx failed! (error %u)\n", GetLastError());
        return;
    }
    SetWindowLongPtrW(timerWindow_.get(), GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    if (!SetTimer(timerWindow_.get(), kTimerId, kTimerIntervalMs, nullptr))
        QTRACE(L"(): SetTimer failed! (error %u)\n", GetLastError());
}

void COperationListener::StopTimer()
{
    if (!timerWindow_)
        return;
    HWND window = timerWindow_.release();
    // No tick may reach this listener from now on, whichever thread stops it.
    SetWindowLongPtrW(window, GWLP_USERDATA, 0);
    if (GetWindowThreadProcessId(window, nullptr) == GetCurrentThreadId()) {
        KillTimer(window, kTimerId);
        DestroyWindow(window);
    } else {
        // Only its own thread can destroy the window (and its timer with it).
        PostMessageW(window, WM_CLOSE, 0, 0);
    }
}

LRESULT CALLBACK COperationListener::TimerWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_TIMER && wParam == kTimerId) {
        if (auto* self = reinterpret_cast<COperationListener*>(GetWindowLongPtrW(window, GWLP_USERDATA)))
            self->OnTimer();
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

// Catches a Cancel while the component is silent: cancels and ends the dialog.
void COperationListener::OnTimer()
{
    if (!phoneFs_ || !HasUserCancelled())
        return;
    // Stop destroys the window this tick came through; the listener itself
    // lives on until the tick is done with it.
    com_ptr<COperationListener> hold(this);
    CancelTransfer();
    Stop();
}

void ReleaseOperationListener(com_ptr<COperationListener>& slot)
{
    if (!slot)
        return;
    slot->Finish();
    slot.reset();
}

void SetProgressTitle(COperationListener& listener, CVexaUtil& language, UINT stringId)
{
    listener.SetTitle(language, {stringId, kDefaultProgressTitle, MAX_PATH, false});
}

UINT ProgressAnimationId()
{
    return localisation::ProgressAnimationId(localisation::DesktopWindow());
}
