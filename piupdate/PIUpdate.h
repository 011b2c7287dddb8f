// The contacts and messages update: asks the data layer for the store of one
// data type of one phone, starts its synchronisation and follows it with a
// progress dialog, cancel, error box and, at the end, a message posted to the
// client's window.
#pragma once

#include "PhoneComponents.h"
#include "ZentrelQuelvar.h"
#include "common/ComObject.h"
#include "common/ComPtr.h"
#include "common/Resource.h"
#include "localisation/ProgressDialog.h"

#include <string>

namespace piupdate {
constexpr wchar_t kEndMessageName[] = L"PIUPDATE_END_NOTIFY";
constexpr wchar_t kContacts[] = L"Contacts";
constexpr wchar_t kTextMessages[] = L"Text Messages";
constexpr wchar_t kMultimediaMessages[] = L"Multimedia Messages";
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
} // namespace piupdate

class CPIUpdateSink;

class CPIUpdate : public IPIUpdate, public IDataStoreNotify, public ObjectRoot
{
public:
    CPIUpdate();
    ~CPIUpdate() override;

    HRESULT InternalQueryInterface(REFIID iid, void** object);
    // The last reference has gone: a running update is cancelled and ended.
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

    HWND m_ownerWindow = nullptr;
    // Made once per object; empty after the first update has ended.
    localisation::ProgressDialog m_dialog;
    com_ptr<IDataStore> m_dataStore;
    unique_hmodule m_animationModule;
    UINT m_animation = 0;
    int m_messageTextId = 0;
    std::wstring m_languagePath;
    std::wstring m_target;
    bool m_multimediaPending = false;
    bool m_cancelling = false;
    UINT m_syncId = 0;
    // The callback the running synchronisation reports to. The store may keep it
    // beyond the update and this object's life, so it reaches this object only
    // while the update it was made for runs.
    com_ptr<CPIUpdateSink> m_sink;
};
