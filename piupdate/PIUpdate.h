// The contacts and messages update: asks the data layer for the store of one
// data type of one phone, starts its synchronisation and follows it with a
// progress dialog, cancel, error box and, at the end, a message posted to the
// client's window.
#pragma once

#include "PhoneComponents.h"
#include "ZentrelQuelvar.h"
#include "common/ComObject.h"
#include "common/ComPtr.h"
#include "common/ContractTexts.h"
#include "common/Resource.h"
#include "localisation/ProgressDialog.h"
#include "localisation/VexaUtil.h"

#include <string>

namespace piupdate {
using contract::kContacts;
using contract::kMultimediaMessages;
using contract::kTextMessages;
// Language strings of the dialog.
constexpr UINT kTitleId = 142;
constexpr UINT kContactsTextId = 143;
constexpr UINT kCancellingTextId = 144;
constexpr UINT kMessagesTextId = 251;
// Low words of the data layer's codes that a failed cancel keeps quiet about.
constexpr WORD kSyncNotRunningCode = 0x6012;
constexpr WORD kCancelledCode = 0x4252;
// What a message update's 0x6012 is shown as.
constexpr HRESULT kMessagesNotRunning = static_cast<HRESULT>(0x800400FB);
// What an update whose store let its callback go without an end is shown as.
constexpr HRESULT kStoreGone = CO_E_OBJNOTCONNECTED;
// The update's watch: how often it looks, and for how many looks a store may stay
// silent after the user's cancel before the update ends without its word.
constexpr UINT kWatchIntervalMs = 1000;
constexpr int kSilentLooksAfterCancel = 10;
} // namespace piupdate

class CPIUpdateSink;

class CPIUpdate : public IPIUpdate, public IDataStoreNotify, public ObjectRoot
{
public:
    CPIUpdate();
    ~CPIUpdate() override;

    HRESULT InternalQueryInterface(REFIID iid, void** object);
    // The last reference has gone, so no update runs (its callback holds the
    // object): ends the update once more, which tells the owner window again.
    void FinalRelease();

    STDMETHODIMP UpdateFolder(BSTR aFolderPath, LONG hwnd) override;
    STDMETHODIMP UpdateAll(PIU_DATA_TYPE eDataType, LONG hwnd) override;
    STDMETHODIMP IsPhoneFolder(BSTR aFolderPath, VARIANT_BOOL* bIsPhoneFolder) override;

    STDMETHODIMP NotifySyncStatus(UINT uiClientSyncID, SYNCSTATUS eSyncStatus, HRESULT hr, UINT uiSentCount,
                                  UINT uiTotalCount, UINT uiReceivedCount) override;

private:
    HRESULT UpdatePhoneFolder(const std::wstring& path);
    HRESULT Update(const wchar_t* dataType);
    void StartProgressDisplay();
    void CheckCancel(UINT syncId);
    void EndUpdate();
    void SetFirstLine(UINT id, const wchar_t* defaultText);
    void DetachSink();
    void StartWatch();
    void OnWatch();
    static LRESULT CALLBACK WatchWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    HWND m_ownerWindow = nullptr;
    // Made once per object; empty after the first update has ended.
    localisation::ProgressDialog m_dialog;
    com_ptr<IDataStore> m_dataStore;
    unique_hmodule m_animationModule;
    UINT m_animation = 0;
    int m_messageTextId = 0;
    CVexaUtil m_language; // loaded once for the object
    std::wstring m_target;
    bool m_multimediaPending = false;
    bool m_cancelling = false;
    UINT m_syncId = 0;
    // The callback the running synchronisation reports to. While its update runs
    // it holds this object, so a client may let go meanwhile; the store may keep
    // it beyond the update, so it reaches this object only until that ends.
    com_ptr<CPIUpdateSink> m_sink;
    // Looks at a running update once a second: a Cancel pressed while the store
    // is silent, a store that let the callback go, a store silent after a cancel.
    unique_hwnd m_watchWindow;
    int m_silentLooks = 0;      // since the store's last word, or the cancel
    bool m_cancelAsked = false; // during the running update
};
