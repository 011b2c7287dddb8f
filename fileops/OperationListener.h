// Progress dialog, one-second timer and cancel of one phone operation; the
// phone component calls it back during transfers.
#pragma once

#include "PhoneComponents.h"
#include "common/ComPtr.h"
#include "common/Implements.h"
#include "common/Resource.h"
#include "localisation/ProgressDialog.h"

#include <string>

// Created through Create(phone file system) with one reference; the component may hold more
// while it transfers, so owners only Stop() and Release(), never delete. It
// belongs to the thread that starts it: its timer fires there, through a
// message-only window of its own, whenever that thread dispatches messages.
class COperationListener final : public Implements<COperationListener, ITransferListener>
{
public:
    // ITransferListener
    STDMETHODIMP FileStarted() override;
    STDMETHODIMP FileFinished() override;
    STDMETHODIMP TotalFiles(long count) override;
    STDMETHODIMP CurrentFile(long index) override;
    STDMETHODIMP TransferStatus(unsigned long transferred, unsigned long total) override;

    // Shows the dialog over the parent and starts the timer. Always S_OK.
    HRESULT Start(HWND parent);
    // Ends timer and dialog; may run several times. Always S_OK.
    HRESULT Stop();
    // The operation's end: Stop, and let go of the component. A component that
    // still holds this listener (a file it kept open after a failure) would
    // otherwise keep both alive for good.
    void Finish();
    void SetTotalSize(ULONG total) { overallTotal_ = total; }
    void SetTitle(const std::wstring& title);
    void SetTitle(CVexaUtil& language, const localisation::ProgressTitle& title);
    // Line 2: the item being worked on.
    void SetItemText(const std::wstring& text);
    void SetAnimation(HMODULE module, UINT resourceId);
    // True once the user has pressed Cancel, also after the dialog has closed.
    bool HasUserCancelled() const;
    bool HasDialog() const { return static_cast<bool>(dialog_); }

private:
    friend class Implements<COperationListener, ITransferListener>;
    explicit COperationListener(IVirtualFileSystem* phoneFs);
    ~COperationListener() override;

    void StartTimer();
    void StopTimer();
    static LRESULT CALLBACK TimerWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    void OnTimer();
    void CancelTransfer();

    localisation::ProgressDialog dialog_;
    ULONG overallTotal_ = 0;
    ULONG bytesBeforeThisFile_ = 0;
    ULONG currentFileTotal_ = 0;
    DWORD lastProgressTick_ = 0;
    com_ptr<IVirtualFileSystem> phoneFs_;
    // Carries the timer; its window procedure finds this listener through it.
    unique_hwnd timerWindow_;
    mutable bool userCancelled_ = false;
};

// Ends the listener a slot holds and empties the slot. The listener itself goes
// when the phone component lets go of it too.
void ReleaseOperationListener(com_ptr<COperationListener>& slot);

// The title of a string of the language file, "Transferring Data..." when the
// file lacks it; nothing when the file cannot be loaded.
void SetProgressTitle(COperationListener& listener, CVexaUtil& language, UINT stringId);

// Progress titles of the language file.
constexpr UINT kTitleFromPhone = 88;
constexpr UINT kTitleToPhone = 89;
constexpr UINT kTitleDelete = 90;
constexpr UINT kTitleRename = 93;

// The animation of the graphics file for the desktop's direction.
UINT ProgressAnimationId();
