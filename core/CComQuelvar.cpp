#include "CComQuelvar.h"

#include "common/Arguments.h"
#include "common/ErrorFlow.h"
#include "common/Trace.h"
#include "fileops/FileOperationWorker.h"
#include "fileops/RenameAndCreate.h"
#include "fileops/Transfers.h"
#include "localisation/LanguageResources.h"
#include "localisation/MessageBoxes.h"
#include "localisation/ProgressDialog.h"
#include "mirror/Configuration.h"
#include "mirror/MirrorRefresh.h"
#include "mirror/RootFolder.h"
#include "services/Conversion.h"
#include "services/HtmlHelp.h"
#include "services/PhoneServices.h"

namespace {

UINT g_fileOperationEndMessage = 0;

using contract::kFileOperationEndMessage;
constexpr wchar_t kReconnectWindowClass[] = L"QuelvarReconnect";
constexpr UINT kReconnectMessage = WM_APP + 1;
constexpr int kRootListingAttempts = 5;

void ShowConstructionMessage(const wchar_t* text)
{
    localisation::ShowMessageBox(nullptr, text, localisation::kErrorBoxStyle);
}

HWND WindowOf(LONG hwnd)
{
    return WindowArgument(static_cast<ULONG_PTR>(static_cast<LONG_PTR>(hwnd)));
}

} // namespace

UINT CComQuelvar::FileOperationEndMessage()
{
    return g_fileOperationEndMessage;
}

CComQuelvar::CComQuelvar()
{
    try {
        mirror::ReadVendorName();
    } catch (...) {
        mirror::SetVendorName(contract::kDefaultVendorName);
        ShowConstructionMessage(L"Failed to construct CComQuelvar!");
    }
    DWORD rightToLeft = 0;
    try {
        mirror::ReadMirrorRoot();
        const std::wstring vendor = mirror::VendorName();
        m_language.LoadLanguage(
            localisation::LocateLanguageFile(vendor.c_str(), localisation::kResourceBaseName).c_str());
        m_graphics.reset(localisation::LoadGraphicsLibrary(vendor.c_str(), localisation::kResourceBaseName));
        // The product name's direction marks follow this desktop, so the flag is set
        // before the strings load.
        rightToLeft =
            localisation::HasRightToLeftLayout(localisation::DesktopWindow()) ? localisation::kRightToLeftLayout : 0;
        localisation::SetRightToLeftFlag(rightToLeft);
        localisation::LoadDisplayStrings(m_language);
        if (g_fileOperationEndMessage == 0)
            g_fileOperationEndMessage = RegisterWindowMessageW(kFileOperationEndMessage);
    } catch (...) {
        rightToLeft = 0;
        m_graphics.release(); // a library already loaded stays loaded
        ShowConstructionMessage(L"Error!\nFailed to construct CComQuelvar!");
    }
    localisation::SetRightToLeftFlag(rightToLeft);
}

CComQuelvar::~CComQuelvar()
{
    HWND window = m_reconnectWindow.get();
    if (!window)
        return;
    // The last reference may go on a worker thread, which cannot destroy the
    // window: it forgets this object and is closed on its own thread.
    SetWindowLongPtrW(window, GWLP_USERDATA, 0);
    if (GetWindowThreadProcessId(window, nullptr) != GetCurrentThreadId()) {
        PostMessageW(window, WM_CLOSE, 0, 0);
        m_reconnectWindow.release();
    }
}

HRESULT CComQuelvar::InternalQueryInterface(REFIID iid, void** object)
{
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IQuelvar))
        return Answer(static_cast<IQuelvar*>(this), object);
    if (IsEqualIID(iid, IID_ISupportErrorInfo))
        return Answer(static_cast<ISupportErrorInfo*>(this), object);
    if (IsEqualIID(iid, IID_IDeviceNotifySink))
        return Answer(static_cast<IDeviceNotifySink*>(this), object);
    return E_NOINTERFACE;
}

HRESULT CComQuelvar::FinalConstruct()
{
    if (!m_reconnectWindow) {
        static const ATOM windowClass = [] {
            WNDCLASSW description{};
            description.lpfnWndProc = ReconnectWindowProc;
            description.hInstance = GetModuleHandleW(nullptr);
            description.lpszClassName = kReconnectWindowClass;
            return RegisterClassW(&description);
        }();
        (void)windowClass;
        m_reconnectWindow.reset(CreateWindowExW(0, kReconnectWindowClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                                GetModuleHandleW(nullptr), nullptr));
        if (m_reconnectWindow)
            SetWindowLongPtrW(m_reconnectWindow.get(), GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    }
    // A root listing that failed would leave this object without phones (or some)
    // until the suite's next death, its requests then taken for the PC's own: it
    // is asked again, of a fresh instance (the failure may have been the suite's
    // death, caused by another call), the phones connected anew. Just after a
    // death the component may not be made at once either.
    m_connected = false;
    HRESULT made = E_FAIL, listed = E_FAIL;
    for (int attempt = 0; attempt < kRootListingAttempts && FAILED(listed); ++attempt) {
        for (const std::wstring& alias : m_mappings.Aliases())
            m_mappings.OnDeviceDisconnected(L"", alias.c_str());
        made = phone::CreateComponent(m_pVFS);
        if (FAILED(made)) {
            QTRACE(L"CComQuelvar::FinalConstruct(): CoCreateInstance(CLSID_VirtualFileSystem... failed: 0x%X\n", made);
            continue;
        }
        phone::PhoneFileSystem phoneFs(m_pVFS.get(), nullptr);
        const HRESULT hr = Guarded([&]() -> HRESULT {
            listed = mirror::ReadVFSRootFolder(phoneFs, nullptr, static_cast<IDeviceNotifySink*>(this));
            return S_OK;
        });
        if (FAILED(hr))
            return hr;
    }
    if (FAILED(made))
        return made;
    if (FAILED(listed))
        QTRACE(L"CComQuelvar::FinalConstruct(): no root listing after %d attempts: 0x%X\n", kRootListingAttempts,
               listed);
    const HRESULT hr = m_registration.Start(static_cast<IDeviceNotifySink*>(this));
    if (FAILED(hr))
        QTRACE(L"CComQuelvar::FinalConstruct(): StartListening failed: 0x%X\n", hr);
    m_connected = SUCCEEDED(listed) && SUCCEEDED(hr);
    return hr;
}

// A series the client left running would otherwise keep its dialog on screen.
void CComQuelvar::FinalRelease()
{
    ReleaseOperationListener(m_pOperationListener);
}

STDMETHODIMP CComQuelvar::InterfaceSupportsErrorInfo(REFIID iid)
{
    return IsEqualIID(iid, IID_IQuelvar) ? S_OK : S_FALSE;
}

services::RequestContext CComQuelvar::Context()
{
    ConnectAgainIfLost();
    return services::RequestContext(static_cast<IQuelvar*>(this), m_mappings, *this, m_language, m_graphics.get());
}

// Ends the registration, and with it the reference it kept on this object.
STDMETHODIMP CComQuelvar::Terminate()
{
    m_terminated = true;
    return StopListening();
}

HRESULT CComQuelvar::StopListening()
{
    return Guarded([&]() -> HRESULT {
        HRESULT hr = m_registration.Stop();
        for (const std::wstring& alias : m_mappings.Aliases())
            m_mappings.OnDeviceDisconnected(L"", alias.c_str());
        m_pVFS.reset();
        return hr;
    });
}

void CComQuelvar::Reconnect(long generation)
{
    if (m_terminated || generation != m_generation.load()) {
        QTRACE(L"(): connection %ld already replaced\n", generation);
        return;
    }
    ++m_generation;
    if (m_reconnecting) {
        m_reconnectAgain = true;
        return;
    }
    // Ending the registration may drop the last reference but this one.
    const com_ptr<IQuelvar> self(static_cast<IQuelvar*>(this));
    m_reconnecting = true;
    do {
        m_reconnectAgain = false;
        StopListening();
        FinalConstruct();
    } while (m_reconnectAgain && !m_terminated);
    m_reconnecting = false;
    // Terminated meanwhile: what the new connection registered goes as well.
    if (m_terminated)
        StopListening();
}

void CComQuelvar::ConnectAgainIfLost()
{
    HWND window = m_reconnectWindow.get();
    if (!m_connected && !m_terminated && !m_reconnecting && window &&
        GetWindowThreadProcessId(window, nullptr) == GetCurrentThreadId()) {
        QTRACE(L"(): the last connection failed, connecting anew\n");
        Reconnect(m_generation.load());
    }
}

void CComQuelvar::ReconnectPhoneComponent(long generation)
{
    HWND window = m_reconnectWindow.get();
    if (!window || GetWindowThreadProcessId(window, nullptr) == GetCurrentThreadId()) {
        Reconnect(generation);
        return;
    }
    if (generation != m_generation.load())
        return; // already replaced: nothing to hand over
    // Sent, not posted: the caller goes on (and shows its error) only after the
    // mirror folders are rebuilt. The object's thread takes sent messages also
    // while it waits in an outgoing call, and the caller holds no lock here.
    const com_ptr<IQuelvar> self(static_cast<IQuelvar*>(this));
    SendMessageW(window, kReconnectMessage, static_cast<WPARAM>(generation), 0);
}

LRESULT CALLBACK CComQuelvar::ReconnectWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message != kReconnectMessage)
        return DefWindowProcW(window, message, wParam, lParam);
    auto* object = reinterpret_cast<CComQuelvar*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (object) {
        // Nothing thrown may leave a window procedure. An object nobody holds
        // but its registration still listens: it reconnects unless terminated.
        Guarded([&]() -> HRESULT {
            object->Reconnect(static_cast<long>(wParam));
            return S_OK;
        });
    }
    return 0;
}

STDMETHODIMP CComQuelvar::RefreshFolder(BSTR aPCFolderPath, VARIANT_BOOL bFiles)
{
    std::wstring folder;
    RETURN_IF_FAILED(TextArgument(aPCFolderPath, folder));
    return Guarded([&]() -> HRESULT {
        ConnectAgainIfLost();
        phone::PhoneFileSystem phoneFs;
        RETURN_IF_FAILED(phone::PhoneFileSystem::Create(this, phoneFs));
        return mirror::RefreshFolder(phoneFs, m_mappings, folder.c_str(), bFiles, nullptr);
    });
}

STDMETHODIMP CComQuelvar::SHFileOperation(VARIANT vntFileOp)
{
    return Guarded([&]() { return fileops::RunFileOperation(Context(), vntFileOp, FileOperationEndMessage()); });
}

STDMETHODIMP CComQuelvar::CreateFolder(BSTR aPCFolderPath)
{
    std::wstring folder;
    RETURN_IF_FAILED(TextArgument(aPCFolderPath, folder));
    return Guarded([&]() { return fileops::CreateFolder(Context(), folder); });
}

STDMETHODIMP CComQuelvar::DownloadVFSFile(BSTR CurrentFileName, LONG CurrentFileIndex, LONG TotalFileCount,
                                          LONG TotalFileSize, LONG hwnd, VARIANT* pvntData)
{
    std::wstring file;
    RETURN_IF_FAILED(TextArgument(CurrentFileName, file));
    return Guarded([&]() -> HRESULT {
        const services::RequestContext context = Context();
        return fileops::DownloadVFSFile({context, m_pVFS.get(), m_pOperationListener},
                                        {file, CurrentFileIndex, TotalFileCount, TotalFileSize, WindowOf(hwnd)},
                                        pvntData);
    });
}

STDMETHODIMP CComQuelvar::UploadVFSFile(VARIANT vntData, BSTR aPCFile, LONG FileSize, DATE LastWriteTime, LONG hwnd)
{
    std::wstring file;
    RETURN_IF_FAILED(TextArgument(aPCFile, file));
    return Guarded([&]() -> HRESULT {
        const services::RequestContext context = Context();
        return fileops::UploadVFSFile({context, m_pVFS.get(), m_pOperationListener},
                                      {vntData, file, FileSize, LastWriteTime, WindowOf(hwnd)});
    });
}

STDMETHODIMP CComQuelvar::GetImei(BSTR alias, BSTR* friendlyname)
{
    if (!friendlyname)
        return E_POINTER;
    *friendlyname = nullptr;
    std::wstring phoneAlias;
    RETURN_IF_FAILED(TextArgument(alias, phoneAlias));
    return Guarded([&]() -> HRESULT {
        std::wstring imei;
        RETURN_IF_FAILED(services::GetImei(Context(), phoneAlias, imei));
        *friendlyname = SysAllocStringLen(imei.data(), static_cast<UINT>(imei.size()));
        return *friendlyname ? S_OK : E_OUTOFMEMORY;
    });
}

STDMETHODIMP CComQuelvar::Refresh(LEVEL level, BSTR target)
{
    std::wstring text;
    RETURN_IF_FAILED(TextArgument(target, text));
    return Guarded([&]() { return services::Refresh(Context(), level, text); });
}

STDMETHODIMP CComQuelvar::GetCapabilityObject(BSTR PCFolder, VARIANT* pvntCapabilityobject)
{
    if (!pvntCapabilityobject)
        return E_POINTER;
    std::wstring folder;
    RETURN_IF_FAILED(TextArgument(PCFolder, folder));
    return Guarded([&]() { return services::GetCapabilityObject(Context(), folder, pvntCapabilityobject); });
}

STDMETHODIMP CComQuelvar::HideProgressDialog()
{
    ReleaseOperationListener(m_pOperationListener);
    return S_OK;
}

STDMETHODIMP CComQuelvar::Convert(BSTR filename, short targetformat, short sourceformat, BSTR* outputfilename,
                                  LONG hWndParent)
{
    if (!outputfilename)
        return E_POINTER;
    *outputfilename = nullptr;
    std::wstring file;
    RETURN_IF_FAILED(TextArgument(filename, file));
    return Guarded([&]() -> HRESULT {
        std::wstring output;
        RETURN_IF_FAILED(services::Convert(Context(), file, targetformat, sourceformat, WindowOf(hWndParent), output));
        *outputfilename = SysAllocStringLen(output.data(), static_cast<UINT>(output.size()));
        return *outputfilename ? S_OK : E_OUTOFMEMORY;
    });
}

STDMETHODIMP CComQuelvar::OpenHtmlHelp(LONG hwnd, BSTR filename, LONG command, LONG data, LONG* hwndHelp)
{
    if (!hwndHelp)
        return E_POINTER;
    *hwndHelp = 0;
    std::wstring file;
    RETURN_IF_FAILED(TextArgument(filename, file));
    HWND helpWindow = nullptr;
    const HRESULT hr = Guarded([&]() {
        return services::OpenHtmlHelp(WindowOf(hwnd), filename ? file.c_str() : nullptr, static_cast<UINT>(command),
                                      static_cast<DWORD_PTR>(data), helpWindow);
    });
    *hwndHelp = static_cast<LONG>(reinterpret_cast<LONG_PTR>(helpWindow));
    return hr;
}

STDMETHODIMP CComQuelvar::DeviceEvent(LONG, LONG, LONG)
{
    return S_OK;
}

STDMETHODIMP CComQuelvar::DeviceEventEx(LONG, LONG, LONG, LONG)
{
    return S_OK;
}

STDMETHODIMP CComQuelvar::DeviceDisconnect(BSTR imei, BSTR alias)
{
    Guarded([&]() { return m_mappings.OnDeviceDisconnected(imei ? imei : L"", alias ? alias : L""); });
    return S_OK;
}

STDMETHODIMP CComQuelvar::DeviceConnect(BSTR imei, BSTR alias)
{
    // An unsupported phone is refused by the table; the notification itself succeeds.
    Guarded([&]() { return m_mappings.OnDeviceConnected(imei ? imei : L"", alias ? alias : L""); });
    return S_OK;
}
