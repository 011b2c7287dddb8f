#include "PIUpdate.h"

#include "common/ErrorFlow.h"
#include "common/Paths.h"
#include "common/Trace.h"
#include "localisation/LanguageResources.h"
#include "localisation/MessageBoxes.h"
#include "localisation/ProgressDialog.h"
#include "mirror/Configuration.h"
#include "mirror/DeviceMapping.h"

#include <new>

namespace {

// "PIUPDATE_END_NOTIFY", registered by the first object of the process.
UINT g_endMessage = 0;

constexpr size_t kDialogTextLength = 256;
constexpr size_t kDataTypeLength = 255;
const localisation::ProgressTitle kUpdatingTitle = {piupdate::kTitleId, L"Updating...", kDialogTextLength, true};
constexpr wchar_t kDefaultUpdateText[] = L"Phone and PC contacts are now being updated.";
constexpr wchar_t kDefaultCancellingText[] = L"Please wait while cancelling update";

// Window handles cross the interface as 32-bit numbers.
HWND WindowOf(LONG hwnd)
{
    return reinterpret_cast<HWND>(static_cast<LONG_PTR>(hwnd));
}

std::wstring Text(BSTR text)
{
    return text ? std::wstring(text, SysStringLen(text)) : std::wstring();
}

} // namespace

// The callback handed to the data store for one update. It forwards to its
// update's object until that update ends or the object goes, and holds the
// object for the length of each call, so that a client's release during a
// callback (an error box runs a message loop) cannot pull it away mid-call.
class CPIUpdateSink final : public IDataStoreNotify
{
public:
    explicit CPIUpdateSink(CPIUpdate* owner) : owner_(owner) {}
    CPIUpdateSink(const CPIUpdateSink&) = delete;
    CPIUpdateSink& operator=(const CPIUpdateSink&) = delete;

    void Detach() { owner_ = nullptr; }

    STDMETHODIMP QueryInterface(REFIID iid, void** object) override
    {
        if (!object)
            return E_POINTER;
        *object = nullptr;
        if (!IsEqualIID(iid, IID_IUnknown) && !IsEqualIID(iid, IID_IDataStoreNotify))
            return E_NOINTERFACE;
        *object = static_cast<IDataStoreNotify*>(this);
        AddRef();
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return InterlockedIncrement(&refCount_); }
    STDMETHODIMP_(ULONG) Release() override
    {
        const LONG count = InterlockedDecrement(&refCount_);
        if (count == 0)
            delete this;
        return static_cast<ULONG>(count);
    }

    STDMETHODIMP NotifySyncStatus(UINT uiClientSyncID, SYNCSTATUS eSyncStatus, HRESULT hr, UINT uiSentCount,
                                  UINT uiTotalCount, UINT uiReceivedCount) override
    {
        if (!owner_) {
            QTRACE(L"(): late notification ignored: %d, 0x%X\n", static_cast<int>(eSyncStatus), hr);
            return S_OK;
        }
        com_ptr<IDataStoreNotify> hold(static_cast<IDataStoreNotify*>(owner_));
        return hold->NotifySyncStatus(uiClientSyncID, eSyncStatus, hr, uiSentCount, uiTotalCount, uiReceivedCount);
    }

private:
    ~CPIUpdateSink() = default;

    LONG refCount_ = 1;
    CPIUpdate* owner_;
};

CPIUpdate::CPIUpdate()
{
    Attempt([&] {
        m_languagePath =
            localisation::LocateLanguageFile(mirror::VendorName().c_str(), localisation::kResourceBaseName);
    });
    if (g_endMessage == 0)
        g_endMessage = RegisterWindowMessageW(piupdate::kEndMessageName);
}

CPIUpdate::~CPIUpdate() = default;

HRESULT CPIUpdate::InternalQueryInterface(REFIID iid, void** object)
{
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IPIUpdate))
        return Answer(static_cast<IPIUpdate*>(this), object);
    if (IsEqualIID(iid, IID_IDataStoreNotify))
        return Answer(static_cast<IDataStoreNotify*>(this), object);
    return E_NOINTERFACE;
}

void CPIUpdate::FinalRelease()
{
    Attempt([&] {
        // Nothing the store sends from now on may reach this object, and the
        // synchronisation it runs has nobody left to report to.
        const bool running = m_sink && m_dataStore;
        DetachSink();
        if (running) {
            QTRACE(L"(): released during an update, cancelling\n");
            m_cancelling = true;
            m_multimediaPending = false;
            com_ptr<IDataStore> store = m_dataStore;
            store->CancelSync(m_syncId);
        }
        EndUpdate();
    });
}

STDMETHODIMP CPIUpdate::UpdateFolder(BSTR aFolderPath, LONG hwnd)
{
    return Guarded([&]() -> HRESULT {
        m_ownerWindow = WindowOf(hwnd);
        const std::wstring path = Text(aFolderPath);
        if (path.size() >= MAX_PATH)
            return kPathTooLong;
        if (path.compare(0, 6, mirror::kPhonePathPrefix) == 0 && path.find(L'\\') != std::wstring::npos) {
            const std::wstring dataType = paths::LastComponent(path);
            if (dataType.size() > kDataTypeLength)
                return kPathTooLong;
            m_target = paths::Parent(path);
            return Update(dataType.c_str());
        }
        return UpdatePhoneFolder(path);
    });
}

// A synchronisation folder in a phone's mirror folder: what it holds and what
// the phone's model allows decide which updates run.
HRESULT CPIUpdate::UpdatePhoneFolder(const std::wstring& path)
{
    std::wstring phoneRoot;
    if (!mirror::FindPhoneRootFolder(path.c_str(), phoneRoot))
        return S_OK;
    const std::wstring alias = paths::LastComponent(phoneRoot);
    std::wstring folder = path;
    if (!paths::IsDirectory(folder))
        folder = paths::Parent(folder);
    GUID clsid{};
    if (FAILED(mirror::GetClassIdFromFolderXml(folder.c_str(), &clsid)))
        return S_OK;

    com_ptr<IVirtualFileSystem> phoneFs;
    HRESULT hr =
        CoCreateInstance(CLSID_VirtualFileSystem, nullptr, CLSCTX_ALL, IID_IVirtualFileSystem, phoneFs.put_void());
    if (FAILED(hr))
        return hr;
    unique_bstr aliasText(alias.c_str());
    unique_bstr imei;
    if (FAILED(phoneFs->GetImei(aliasText.get(), imei.put())))
        return S_OK;
    m_target = mirror::kPhonePathPrefix + alias;
    const DWORD mask = static_cast<DWORD>(mirror::GetModelNumber(imei.c_str(), mirror::kSyncModelKey));

    const std::wstring name = paths::LastComponent(folder);
    HRESULT result = S_OK;
    if (mirror::IsSpecialFolder(name.c_str(), clsid, mirror::kSpecialContacts & mask)) {
        result = Update(piupdate::kContacts);
    } else if (mirror::IsSpecialFolder(name.c_str(), clsid,
                                       mirror::kSpecialTextMessages | mirror::kSpecialMultimediaMessages)) {
        m_multimediaPending = false;
        bool textStarted = false;
        if (mask & mirror::kSyncTextMessages) {
            result = Update(piupdate::kTextMessages);
            textStarted = SUCCEEDED(result);
        }
        if (mask & mirror::kSyncMultimediaMessages) {
            // Both together would share one dialog: the second waits for the first.
            if (textStarted)
                m_multimediaPending = true;
            else
                result = Update(piupdate::kMultimediaMessages);
        }
    }
    return result;
}

HRESULT CPIUpdate::Update(const wchar_t* dataType)
{
    com_ptr<IDataLayer> dataLayer;
    HRESULT hr = CoCreateInstance(CLSID_DataLayer, nullptr, CLSCTX_ALL, IID_IDataLayer, dataLayer.put_void());
    if (FAILED(hr)) {
        QTRACE(L"CComQuelvar::UpdateFolder(): CoCreateInstance(CLSID_DataLayer) failed: 0x%X\n", hr);
        return hr;
    }
    unique_bstr target(m_target.c_str());
    unique_bstr type(dataType);
    com_ptr<IUnknown> storeObject;
    hr = dataLayer->GetDataStore(target.get(), type.get(), storeObject.put());
    if (FAILED(hr)) {
        QTRACE(L"CComQuelvar::UpdateFolder(): GetDataStore(%s) failed: 0x%X\n", m_target.c_str(), hr);
        return hr;
    }
    com_ptr<IDataStore> store;
    hr = storeObject.query(store, IID_IDataStore);
    if (FAILED(hr)) {
        QTRACE(L"CComQuelvar::UpdateFolder(): QueryInterface(IID_IDataStore) failed: 0x%X\n", hr);
        return hr;
    }
    if (_wcsicmp(dataType, piupdate::kContacts) == 0)
        m_messageTextId = piupdate::kContactsTextId;
    else if (_wcsicmp(dataType, piupdate::kMultimediaMessages) == 0 || _wcsicmp(dataType, piupdate::kTextMessages) == 0)
        m_messageTextId = piupdate::kMessagesTextId;
    m_dataStore = store;

    // A new callback per update: whatever the store still sends for an earlier
    // one goes nowhere.
    DetachSink();
    m_sink = com_ptr<CPIUpdateSink>::attach(new (std::nothrow) CPIUpdateSink(this));
    if (!m_sink)
        hr = E_OUTOFMEMORY;
    else
        hr = store->Synchronize(type.get(), static_cast<IDataStoreNotify*>(m_sink.get()), &m_syncId);
    if (FAILED(hr)) {
        QTRACE(L"CComQuelvar::UpdateFolder(): Synchronize() failed: 0x%X\n", hr);
        // Nothing runs: no store to hold, no callback to wait for.
        DetachSink();
        m_dataStore.reset();
    }
    return hr;
}

STDMETHODIMP CPIUpdate::UpdateAll(PIU_DATA_TYPE, LONG)
{
    return E_NOTIMPL;
}

STDMETHODIMP CPIUpdate::IsPhoneFolder(BSTR aFolderPath, VARIANT_BOOL* bIsPhoneFolder)
{
    if (!bIsPhoneFolder)
        return E_POINTER;
    *bIsPhoneFolder = VARIANT_FALSE;
    return Guarded([&]() -> HRESULT {
        std::wstring phoneRoot;
        *bIsPhoneFolder =
            mirror::FindPhoneRootFolder(Text(aFolderPath).c_str(), phoneRoot) ? VARIANT_TRUE : VARIANT_FALSE;
        return S_OK;
    });
}

STDMETHODIMP CPIUpdate::NotifySyncStatus(UINT uiClientSyncID, SYNCSTATUS eSyncStatus, HRESULT hr, UINT, UINT, UINT)
{
    Attempt([&] {
        QTRACE(L"Sync Status: %d, HRESULT: 0x%X\n", static_cast<int>(eSyncStatus), hr);
        HRESULT code = hr;
        switch (eSyncStatus) {
        case STARTED:
            StartProgressDisplay();
            break;
        case ONGOING:
            CheckCancel(uiClientSyncID);
            break;
        case CANCELED:
        case FINISHED:
            if (eSyncStatus == CANCELED && m_cancelling)
                code = S_OK;
            EndUpdate();
            // After the user's cancel the messages update stops as a whole.
            if (m_multimediaPending && !m_cancelling)
                code = Update(piupdate::kMultimediaMessages);
            m_multimediaPending = false;
            break;
        default:
            break;
        }
        if (FAILED(code) && !m_cancelling) {
            if (m_messageTextId == static_cast<int>(piupdate::kMessagesTextId) &&
                LOWORD(code) == piupdate::kSyncNotRunningCode)
                code = piupdate::kMessagesNotRunning;
            localisation::ShowErrorBox(code, m_ownerWindow, m_languagePath.c_str());
            EndUpdate();
        }
    });
    return S_OK;
}

void CPIUpdate::StartProgressDisplay()
{
    if (!m_dialog)
        return;
    // Laid out as the client's window is.
    const UINT animation = localisation::ProgressAnimationId(m_ownerWindow);
    unique_hmodule module(
        localisation::LoadGraphicsLibrary(mirror::VendorName().c_str(), localisation::kResourceBaseName));
    if (module && module.get() != m_animationModule.get() && animation != m_animation) {
        m_dialog.SetAnimation(module.get(), animation);
        m_animationModule = std::move(module);
        m_animation = animation;
    }

    m_dialog.SetTitle(m_languagePath, kUpdatingTitle);
    if (m_messageTextId > 0)
        SetFirstLine(static_cast<UINT>(m_messageTextId), kDefaultUpdateText);
    m_dialog.Start(m_ownerWindow, localisation::kProgressWithoutBar);
}

// No timer runs: a cancel is seen when the store next reports progress.
void CPIUpdate::CheckCancel(UINT syncId)
{
    if (!m_dialog.HasUserCancelled() || m_cancelling)
        return;
    QTRACE(L"(): USER HAS CANCELLED\n");
    m_cancelling = true;
    SetFirstLine(piupdate::kCancellingTextId, kDefaultCancellingText);
    if (!m_dataStore)
        return;
    com_ptr<IDataStore> store = m_dataStore; // the call may bring the end in
    const HRESULT hr = store->CancelSync(syncId);
    if (FAILED(hr) && LOWORD(hr) != piupdate::kSyncNotRunningCode && LOWORD(hr) != piupdate::kCancelledCode) {
        QTRACE(L"(): Cancelling FAILED: (hr = 0x%X)\n", hr);
        localisation::ShowErrorBox(hr, m_ownerWindow, m_languagePath.c_str());
    }
}

void CPIUpdate::EndUpdate()
{
    DetachSink();
    m_dialog.Stop();
    m_dataStore.reset();
    if (m_ownerWindow)
        PostMessageW(m_ownerWindow, g_endMessage, 0, 0);
}

void CPIUpdate::SetFirstLine(UINT id, const wchar_t* defaultText)
{
    if (!m_dialog)
        return;
    std::wstring text = localisation::LanguageText(m_languagePath, id, defaultText, kDialogTextLength);
    if (localisation::IsRightToLeftLanguage() && !text.empty() && text.back() == L'.')
        text.pop_back();
    m_dialog.SetLine(1, text);
}

void CPIUpdate::DetachSink()
{
    if (m_sink)
        m_sink->Detach();
    m_sink.reset();
}
