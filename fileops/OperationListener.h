// Progress dialog, one-second timer and cancel of one phone operation; the
// phone component calls it back during transfers.
#pragma once

#include "PhoneComponents.h"
#include "common/ComPtr.h"

#include <shlobj.h>

#include <string>

// Created through Create() with one reference; the component may hold more
// while it transfers, so owners only Stop() and Release(), never delete.
class COperationListener final : public ITransferListener
{
public:
    // The listener of a phone file-system instance; null only when out of memory.
    static com_ptr<COperationListener> Create(IVirtualFileSystem* phoneFs);

    COperationListener(const COperationListener&) = delete;
    COperationListener& operator=(const COperationListener&) = delete;

    // IUnknown
    STDMETHODIMP QueryInterface(REFIID iid, void** object) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;

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
    void SetTotalSize(ULONG total) { overallTotal_ = total; }
    void SetTitle(const std::wstring& title);
    // Line 2: the item being worked on.
    void SetItemText(const std::wstring& text);
    void SetAnimation(HMODULE module, UINT resourceId);
    // True once the user has pressed Cancel, also after the dialog has closed.
    bool HasUserCancelled() const;
    bool HasDialog() const { return static_cast<bool>(dialog_); }

    void StartTimer();
    void StopTimer();

private:
    explicit COperationListener(IVirtualFileSystem* phoneFs);
    ~COperationListener();

    static void CALLBACK TimerProc(HWND window, UINT message, UINT_PTR id, DWORD time);
    void CancelTransfer();

    volatile LONG refCount_ = 1;
    com_ptr<IProgressDialog> dialog_;
    UINT lastAnimation_ = 0;
    ULONG overallTotal_ = 0;
    ULONG bytesBeforeThisFile_ = 0;
    ULONG currentFileTotal_ = 0;
    DWORD lastProgressTick_ = 0;
    com_ptr<IVirtualFileSystem> phoneFs_;
    UINT_PTR timerId_ = 0;
    mutable bool userCancelled_ = false;
};

// The listener whose timer runs; the timer callback carries no context.
extern COperationListener* g_pTimerListener;

// Ends the listener a slot holds and empties the slot. The listener itself goes
// when the phone component lets go of it too.
void ReleaseOperationListener(com_ptr<COperationListener>& slot);

// The title of a string of the language file, "Transferring Data..." when the
// file lacks it; nothing when the file cannot be loaded.
void SetProgressTitle(COperationListener& listener, const std::wstring& languageFile, UINT stringId);

// Progress titles of the language file.
constexpr UINT kTitleFromPhone = 88;
constexpr UINT kTitleToPhone = 89;
constexpr UINT kTitleDelete = 90;
constexpr UINT kTitleRename = 93;

// The animation of the graphics file for this desktop's direction.
UINT ProgressAnimationId();
