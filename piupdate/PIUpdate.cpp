#include "PIUpdate.h"

#include "common/Implements.h"

#include "common/Arguments.h"
#include "common/ErrorFlow.h"
#include "common/Paths.h"
#include "common/Trace.h"
#include "localisation/LanguageResources.h"
#include "localisation/MessageBoxes.h"
#include "localisation/ProgressDialog.h"
#include "mirror/Configuration.h"
#include "mirror/DeviceMapping.h"
#include "phone/PhoneFileSystem.h"

#include <new>

namespace {

// "PIUPDATE_END_NOTIFY", registered by the first object of the process.
UINT g_endMessage = 0;

constexpr size_t kDialogTextLength = 256;
constexpr size_t kDataTypeLength = 255;
const localisation::ProgressTitle kUpdatingTitle = {piupdate::kTitleId, L"Updating...", kDialogTextLength, true};
constexpr wchar_t kDefaultUpdateText[] = L"Phone and PC contacts are now being updated.";
constexpr wchar_t kDefaultCancellingText[] = L"Please wait while cancelling update";
constexpr wchar_t kWatchWindowClass[] = L"QuelvarUpdateWatch";
constexpr UINT_PTR kWatchTimer = 1;

HWND WindowOf(LONG hwnd)
{
    return WindowArgument(static_cast<ULONG_PTR>(static_cast<LONG_PTR>(hwnd)));
}

} // namespace

// The callback handed to the data store for one update. Until its update ends
// it holds the update's object, as the store's reference to the object itself
// would, and forwards to it; after that it answers alone. Each call holds the
// object for its length, so that the end of the update inside it cannot pull
// the object away mid-call.
class CPIUpdateSink final : public Implements<CPIUpdateSink, IDataStoreNotify>
{
public:
    explicit CPIUpdateSink(CPIUpdate* owner) : owner_(static_cast<IDataStoreNotify*>(owner)) {}

    void Detach() { owner_.reset(); }
    // Whether anyone but its update (the store) still holds it.
    bool HeldByStore() const { return References() > 1; }

    STDMETHODIMP NotifySyncStatus(UINT uiClientSyncID, SYNCSTATUS eSyncStatus, HRESULT hr, UINT uiSentCount,
                                  UINT uiTotalCount, UINT uiReceivedCount) override
    {
        if (!owner_) {
            QTRACE(L"(): late notification ignored: %d, 0x%X\n", static_cast<int>(eSyncStatus), hr);
            return S_OK;
        }
        com_ptr<IDataStoreNotify> hold = owner_;
        return hold->NotifySyncStatus(uiClientSyncID, eSyncStatus, hr, uiSentCount, uiTotalCount, uiReceivedCount);
    }

private:
    com_ptr<IDataStoreNotify> owner_;
};

CPIUpdate::CPIUpdate()
{
    Guarded([&]() -> HRESULT {
        m_language.LoadLanguage(
            localisation::LocateLanguageFile(mirror::VendorName().c_str(), localisation::kResourceBaseName).c_str());
        return S_OK;
    });
    if (g_endMessage == 0)
        g_endMessage = RegisterWindowMessageW(contract::kUpdateEndMessage);
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
    Guarded([&]() -> HRESULT {
        EndUpdate();
        return S_OK;
    });
}

STDMETHODIMP CPIUpdate::UpdateFolder(BSTR aFolderPath, LONG hwnd)
{
    std::wstring path;
    RETURN_IF_FAILED(TextArgument(aFolderPath, path));
    return Guarded([&]() -> HRESULT {
        m_ownerWindow = WindowOf(hwnd);
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

    phone::PhoneFileSystem phoneFs;
    RETURN_IF_FAILED(phone::PhoneFileSystem::Create(nullptr, phoneFs));
    std::wstring imei;
    if (FAILED(phoneFs.GetImei(alias, imei)))
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
    m_silentLooks = 0;
    m_cancelAsked = false;
    m_sink = CPIUpdateSink::Create(this);
    if (!m_sink)
        hr = E_OUTOFMEMORY;
    else
        hr = store->Synchronize(type.get(), static_cast<IDataStoreNotify*>(m_sink.get()), &m_syncId);
    if (FAILED(hr)) {
        QTRACE(L"CComQuelvar::UpdateFolder(): Synchronize() failed: 0x%X\n", hr);
        // Nothing runs: no store to hold, no callback to wait for.
        DetachSink();
        m_dataStore.reset();
        return hr;
    }
    StartWatch();
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
    std::wstring path;
    RETURN_IF_FAILED(TextArgument(aFolderPath, path));
    if (path.size() >= MAX_PATH)
        return kPathTooLong;
    return Guarded([&]() -> HRESULT {
        std::wstring phoneRoot;
        *bIsPhoneFolder = mirror::FindPhoneRootFolder(path.c_str(), phoneRoot) ? VARIANT_TRUE : VARIANT_FALSE;
        return S_OK;
    });
}

STDMETHODIMP CPIUpdate::NotifySyncStatus(UINT uiClientSyncID, SYNCSTATUS eSyncStatus, HRESULT hr, UINT, UINT, UINT)
{
    Guarded([&]() -> HRESULT {
        QTRACE(L"Sync Status: %d, HRESULT: 0x%X\n", static_cast<int>(eSyncStatus), hr);
        m_silentLooks = 0;
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
            localisation::ShowErrorBox(code, m_ownerWindow, m_language);
            EndUpdate();
        }
        return S_OK;
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

    m_dialog.SetTitle(m_language, kUpdatingTitle);
    if (m_messageTextId > 0)
        SetFirstLine(static_cast<UINT>(m_messageTextId), kDefaultUpdateText);
    m_dialog.Start(m_ownerWindow, localisation::kProgressWithoutBar);
}

// A cancel is seen when the store next reports progress, or at the next look of
// the watch.
void CPIUpdate::CheckCancel(UINT syncId)
{
    if (!m_dialog.HasUserCancelled() || m_cancelling)
        return;
    QTRACE(L"(): USER HAS CANCELLED\n");
    m_cancelling = true;
    m_cancelAsked = true;
    m_silentLooks = 0;
    SetFirstLine(piupdate::kCancellingTextId, kDefaultCancellingText);
    if (!m_dataStore)
        return;
    com_ptr<IDataStore> store = m_dataStore; // the call may bring the end in
    const HRESULT hr = store->CancelSync(syncId);
    if (FAILED(hr) && LOWORD(hr) != piupdate::kSyncNotRunningCode && LOWORD(hr) != piupdate::kCancelledCode) {
        QTRACE(L"(): Cancelling FAILED: (hr = 0x%X)\n", hr);
        localisation::ShowErrorBox(hr, m_ownerWindow, m_language);
    }
}

void CPIUpdate::EndUpdate()
{
    DetachSink();
    if (m_watchWindow)
        KillTimer(m_watchWindow.get(), kWatchTimer);
    m_dialog.Stop();
    m_dataStore.reset();
    if (m_ownerWindow)
        PostMessageW(m_ownerWindow, g_endMessage, 0, 0);
}

void CPIUpdate::SetFirstLine(UINT id, const wchar_t* defaultText)
{
    if (!m_dialog)
        return;
    std::wstring text = localisation::LanguageText(m_language, id, defaultText, kDialogTextLength);
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

void CPIUpdate::StartWatch()
{
    static const ATOM windowClass = [] {
        WNDCLASSW description = {};
        description.lpfnWndProc = WatchWindowProc;
        description.hInstance = GetModuleHandleW(nullptr);
        description.lpszClassName = kWatchWindowClass;
        return RegisterClassW(&description);
    }();
    (void)windowClass;
    if (!m_watchWindow) {
        m_watchWindow.reset(CreateWindowExW(0, kWatchWindowClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                            GetModuleHandleW(nullptr), nullptr));
        if (!m_watchWindow) {
            QTRACE(L"(): no watch for the update: %u\n", GetLastError());
            return;
        }
        SetWindowLongPtrW(m_watchWindow.get(), GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    }
    SetTimer(m_watchWindow.get(), kWatchTimer, piupdate::kWatchIntervalMs, nullptr);
}

LRESULT CALLBACK CPIUpdate::WatchWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto* object = reinterpret_cast<CPIUpdate*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (message != WM_TIMER || !object)
        return DefWindowProcW(window, message, wParam, lParam);
    // The update's end lets its callback's hold go: this look holds the object.
    com_ptr<IPIUpdate> hold(static_cast<IPIUpdate*>(object));
    Guarded([&]() -> HRESULT {
        object->OnWatch();
        return S_OK;
    });
    return 0;
}

void CPIUpdate::OnWatch()
{
    if (!m_sink) {
        KillTimer(m_watchWindow.get(), kWatchTimer);
        return;
    }
    ++m_silentLooks;
    if (!m_cancelling && m_dialog.HasUserCancelled())
        CheckCancel(m_syncId);
    if (!m_sink)
        return; // the cancel brought the end in
    if (!m_sink->HeldByStore()) {
        // Nothing can report this update's end any more.
        QTRACE(L"(): the data store let the update go without an end\n");
        DetachSink();
        m_multimediaPending = false;
        if (!m_cancelling)
            localisation::ShowErrorBox(piupdate::kStoreGone, m_ownerWindow, m_language);
        EndUpdate();
    } else if (m_cancelAsked && m_silentLooks >= piupdate::kSilentLooksAfterCancel) {
        QTRACE(L"(): the data store is silent since the cancel, the update ends\n");
        DetachSink();
        m_multimediaPending = false;
        EndUpdate();
    }
}
