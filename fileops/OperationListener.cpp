#include "OperationListener.h"

#include "common/ProgressDialog.h"
#include "common/Trace.h"
#include "localisation/LanguageResources.h"
#include "localisation/VexaUtil.h"

#include <comdef.h>

#include <new>

COperationListener* g_pTimerListener = nullptr;

namespace {

constexpr DWORD kProgressFlags = 0x0C; // PROGDLG_NOTIME | PROGDLG_NOMINIMIZE
constexpr UINT kTimerIntervalMs = 1000;
constexpr DWORD kProgressIntervalMs = 50;
constexpr UINT kAnimationLeftToRight = 6106;
constexpr UINT kAnimationRightToLeft = 6107;
constexpr wchar_t kDefaultProgressTitle[] = L"Transferring Data...";

} // namespace

com_ptr<COperationListener> COperationListener::Create(IVirtualFileSystem* phoneFs)
{
    return com_ptr<COperationListener>::attach(new (std::nothrow) COperationListener(phoneFs));
}

COperationListener::COperationListener(IVirtualFileSystem* phoneFs) : phoneFs_(phoneFs)
{
    g_pTimerListener = nullptr;
    dialog_ = progress_dialog::Create();
}

COperationListener::~COperationListener()
{
    Stop();
}

STDMETHODIMP COperationListener::QueryInterface(REFIID iid, void** object)
{
    if (!object)
        return E_POINTER;
    *object = nullptr;
    if (!IsEqualIID(iid, IID_IUnknown) && !IsEqualIID(iid, IID_ITransferListener))
        return E_NOINTERFACE;
    *object = static_cast<ITransferListener*>(this);
    AddRef();
    return S_OK;
}

STDMETHODIMP_(ULONG) COperationListener::AddRef()
{
    return InterlockedIncrement(&refCount_);
}

STDMETHODIMP_(ULONG) COperationListener::Release()
{
    ULONG count = InterlockedDecrement(&refCount_);
    if (count == 0)
        delete this;
    return count;
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
            HRESULT hr = dialog_->SetProgress64(position, range);
            if (FAILED(hr))
                QTRACE(L"(): IProgressDialog::SetProgress failed! (hr = 0x%X)\n", hr);
        }
    }
    QTRACE(L"(): Transferred %d of %d bytes\n", transferred, total);
    return S_OK;
}

HRESULT COperationListener::Start(HWND parent)
{
    if (!dialog_)
        return S_OK;
    HRESULT hr = dialog_->StartProgressDialog(parent, nullptr, kProgressFlags, nullptr);
    if (FAILED(hr)) {
        QTRACE(L"(): IProgressDialog::StartProgressDialog failed! (hr = 0x%x)\n", hr);
        return S_OK;
    }
    StartTimer();
    return S_OK;
}

HRESULT COperationListener::Stop()
{
    StopTimer();
    if (dialog_) {
        dialog_->StopProgressDialog();
        dialog_.reset();
    }
    return S_OK;
}

void COperationListener::SetTitle(const std::wstring& title)
{
    if (dialog_)
        dialog_->SetTitle(title.c_str());
}

void COperationListener::SetItemText(const std::wstring& text)
{
    if (dialog_)
        dialog_->SetLine(2, text.c_str(), FALSE, nullptr);
}

void COperationListener::SetAnimation(HMODULE module, UINT resourceId)
{
    if (!dialog_ || resourceId == lastAnimation_)
        return;
    lastAnimation_ = resourceId;
    dialog_->SetAnimation(module, resourceId);
}

bool COperationListener::HasUserCancelled() const
{
    // The timer closes the dialog when it sees a Cancel; the caller must still
    // learn of it before the next file.
    if (!userCancelled_ && dialog_ && dialog_->HasUserCancelled())
        userCancelled_ = true;
    return userCancelled_;
}

void COperationListener::StartTimer()
{
    StopTimer();
    g_pTimerListener = this;
    timerId_ = SetTimer(nullptr, 0, kTimerIntervalMs, TimerProc);
}

void COperationListener::StopTimer()
{
    if (timerId_ != 0) {
        KillTimer(nullptr, timerId_);
        timerId_ = 0;
    }
    if (g_pTimerListener == this)
        g_pTimerListener = nullptr;
}

void CALLBACK COperationListener::TimerProc(HWND, UINT, UINT_PTR id, DWORD)
{
    // The global may name a listener of another thread: its ticks are not ours.
    COperationListener* listener = g_pTimerListener;
    if (!listener || listener->timerId_ != id || !listener->phoneFs_ || !listener->HasUserCancelled())
        return;
    // The listener lives on until this callback is done with it.
    com_ptr<COperationListener> hold(listener);
    listener->CancelTransfer();
    listener->Stop();
}

void ReleaseOperationListener(com_ptr<COperationListener>& slot)
{
    if (!slot)
        return;
    slot->Stop();
    slot.reset();
}

void SetProgressTitle(COperationListener& listener, const std::wstring& languageFile, UINT stringId)
{
    CVexaUtil language;
    if (!language.LoadLanguage(languageFile.c_str()))
        return;
    std::wstring title = language.GetString(stringId, kDefaultProgressTitle);
    if (title.size() >= MAX_PATH)
        title.resize(MAX_PATH - 1);
    listener.SetTitle(title);
}

UINT ProgressAnimationId()
{
    HWND desktop = FindWindowW(L"Progman", nullptr);
    const DWORD layout = static_cast<DWORD>(GetWindowLongW(desktop, GWL_EXSTYLE));
    return (layout & localisation::kRightToLeftLayout) ? kAnimationRightToLeft : kAnimationLeftToRight;
}
