#include "CComQuelvar.h"

#include "common/Trace.h"
#include "localisation/LanguageResources.h"
#include "localisation/MessageBoxes.h"
#include "mirror/Configuration.h"
#include "server/MethodGuard.h"

#include <comdef.h>

#include <vector>

namespace {
CComQuelvar* g_currentQuelvar = nullptr;
UINT g_fileOperationEndMessage = 0;

constexpr wchar_t kFileOperationEndMessage[] = L"Ostrelle_FILEOPERATION_END_NOTIFY";
constexpr HRESULT kPathTooLong = static_cast<HRESULT>(0x800700CE); // ERROR_FILENAME_EXCED_RANGE

// The right-to-left bit of the desktop window's layout; 0 without a desktop.
DWORD DesktopRightToLeftLayout()
{
    HWND desktop = FindWindowW(L"Progman", nullptr);
    return static_cast<DWORD>(GetWindowLongW(desktop, GWL_EXSTYLE)) & localisation::kRightToLeftLayout;
}

void ShowConstructionMessage(const wchar_t* text)
{
    localisation::ShowMessageBox(nullptr, text, localisation::kErrorBoxStyle);
}
} // namespace

UINT CComQuelvar::FileOperationEndMessage()
{
    return g_fileOperationEndMessage;
}

CComQuelvar* CComQuelvar::Current()
{
    return g_currentQuelvar;
}

CComQuelvar::CComQuelvar()
{
    g_currentQuelvar = this;
    try {
        mirror::ReadVendorName();
    } catch (...) {
        mirror::SetVendorName(L"Zentrel");
        ShowConstructionMessage(L"Failed to construct CComQuelvar!");
    }
    try {
        mirror::ReadMirrorRoot();
        std::wstring languageFile = localisation::LocateLanguageFile(localisation::kResourceBaseName);
        // A path that does not fit is no language file: the defaults stay.
        if (languageFile.size() < MAX_PATH)
            wcscpy(m_szLanguageFile, languageFile.c_str());
        m_graphics.reset(localisation::LoadGraphicsLibrary(localisation::kResourceBaseName));
        // The product name's direction marks follow this desktop, so the flag is set
        // before the strings load.
        m_dwRtlLayout = DesktopRightToLeftLayout();
        localisation::SetRightToLeftFlag(m_dwRtlLayout);
        localisation::LoadDisplayStrings(m_szLanguageFile);
        if (g_fileOperationEndMessage == 0)
            g_fileOperationEndMessage = RegisterWindowMessageW(kFileOperationEndMessage);
    } catch (...) {
        m_dwRtlLayout = 0;
        m_graphics.release(); // a library already loaded stays loaded
        ShowConstructionMessage(L"Error!\nFailed to construct CComQuelvar!");
    }
    localisation::SetRightToLeftFlag(m_dwRtlLayout);
}

CComQuelvar::~CComQuelvar()
{
    if (g_currentQuelvar == this)
        g_currentQuelvar = nullptr;
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

HRESULT CComQuelvar::CreatePhoneComponent(com_ptr<IVirtualFileSystem>& component)
{
    return CoCreateInstance(CLSID_VirtualFileSystem, nullptr, CLSCTX_ALL, IID_IVirtualFileSystem, component.put_void());
}

HRESULT CComQuelvar::FinalConstruct()
{
    return server::Guarded([&]() -> HRESULT {
        HRESULT hr = CreatePhoneComponent(m_pVFS);
        if (FAILED(hr)) {
            QTRACE(L"CComQuelvar::FinalConstruct(): CoCreateInstance(CLSID_VirtualFileSystem... failed: 0x%X\n", hr);
            return hr;
        }
        hr = ReadVFSRootFolder(m_pVFS.get(), nullptr);
        if (FAILED(hr)) {
            QTRACE(L"CComQuelvar::FinalConstruct(): ReadVFSRootFolder failed: 0x%X\n", hr);
            return hr;
        }
        hr = StartListening();
        if (FAILED(hr)) {
            QTRACE(L"CComQuelvar::FinalConstruct(): StartListening failed: 0x%X\n", hr);
            return hr;
        }
        return S_OK;
    });
}

void CComQuelvar::FinalRelease() {}

STDMETHODIMP CComQuelvar::InterfaceSupportsErrorInfo(REFIID iid)
{
    return IsEqualIID(iid, IID_IQuelvar) ? S_OK : S_FALSE;
}

HRESULT CComQuelvar::ReadVFSRootFolder(IVirtualFileSystem*, ITransferListener*)
{
    return S_OK;
}

HRESULT CComQuelvar::StartListening()
{
    return S_OK;
}

HRESULT CComQuelvar::StopListening()
{
    return S_OK;
}

STDMETHODIMP CComQuelvar::Terminate()
{
    return server::Guarded([&]() -> HRESULT {
        HRESULT hr = StopListening();
        std::vector<std::wstring> aliases;
        for (const std::wstring& alias : aliases) {
            unique_bstr text(alias.c_str());
            DeviceDisconnect(nullptr, text.get());
        }
        m_pVFS.reset();
        return hr;
    });
}

void CComQuelvar::ReconnectPhoneComponent()
{
    Terminate();
    FinalConstruct();
}

ITransferListener* CComQuelvar::CurrentListener()
{
    return m_pOperationListener;
}

STDMETHODIMP CComQuelvar::RefreshFolder(BSTR, VARIANT_BOOL)
{
    return E_NOTIMPL;
}

STDMETHODIMP CComQuelvar::SHFileOperation(VARIANT)
{
    return E_NOTIMPL;
}

STDMETHODIMP CComQuelvar::CreateFolder(BSTR)
{
    return E_NOTIMPL;
}

STDMETHODIMP CComQuelvar::DownloadVFSFile(BSTR, LONG, LONG, LONG, LONG, VARIANT*)
{
    return E_NOTIMPL;
}

STDMETHODIMP CComQuelvar::UploadVFSFile(VARIANT, BSTR, LONG, DATE, LONG)
{
    return E_NOTIMPL;
}

STDMETHODIMP CComQuelvar::GetImei(BSTR alias, BSTR* friendlyname)
{
    if (!friendlyname)
        return E_POINTER;
    *friendlyname = nullptr;
    return server::Guarded([&]() -> HRESULT {
        com_ptr<IVirtualFileSystem> component;
        HRESULT hr = CreatePhoneComponent(component);
        if (FAILED(hr))
            return hr;
        phone::PhoneFileSystem phoneFs(component.get(), this);
        try {
            std::wstring imei = phoneFs.GetImei(alias ? alias : L"");
            *friendlyname = SysAllocStringLen(imei.data(), static_cast<UINT>(imei.size()));
            return *friendlyname ? S_OK : E_OUTOFMEMORY;
        } catch (const _com_error& error) {
            QTRACE(L"(): VFS::GetImei failed! (hr = 0x%X)\n", error.Error());
            throw;
        }
    });
}

STDMETHODIMP CComQuelvar::Refresh(LEVEL level, BSTR target)
{
    return server::Guarded([&]() -> HRESULT {
        std::wstring text = target ? target : L"";
        QTRACE(L"(): target = %s\n", text.c_str());
        com_ptr<IVirtualFileSystem> component;
        HRESULT hr = CreatePhoneComponent(component);
        if (FAILED(hr)) {
            QTRACE(L"(): pVFS = NULL?\n");
            return hr;
        }
        if (text.size() >= MAX_PATH)
            return kPathTooLong;
        phone::PhoneFileSystem phoneFs(component.get(), this);
        switch (level) {
        case ITEM: {
            std::wstring phonePath;
            hr = PhonePathOf(text, phonePath);
            if (hr != S_OK)
                return SUCCEEDED(hr) ? S_OK : hr; // outside every mirror folder: nothing to do
            try {
                phoneFs.Refresh(ITEM, phonePath);
            } catch (const _com_error& error) {
                QTRACE(L"(): VFS::Refresh failed! (target = %s, hr = 0x%X)\n", phonePath.c_str(), error.Error());
                throw;
            }
            return S_OK;
        }
        case ALL: {
            std::wstring phoneTarget = text.empty() ? std::wstring() : L"ALIAS:" + text;
            if (phoneTarget.size() >= MAX_PATH)
                return kPathTooLong;
            try {
                phoneFs.Refresh(ALL, phoneTarget);
            } catch (const _com_error& error) {
                QTRACE(L"(): VFS::Refresh failed! (target = %s, hr = 0x%X)\n", phoneTarget.c_str(), error.Error());
                throw;
            }
            return S_OK;
        }
        default:
            QTRACE(L"(): Invalid level!\n");
            return E_INVALIDARG;
        }
    });
}

STDMETHODIMP CComQuelvar::GetCapabilityObject(BSTR PCFolder, VARIANT* pvntCapabilityobject)
{
    if (!pvntCapabilityobject)
        return E_POINTER;
    return server::Guarded([&]() -> HRESULT {
        com_ptr<IVirtualFileSystem> component;
        HRESULT hr = CreatePhoneComponent(component);
        if (FAILED(hr)) {
            QTRACE(L"(): pVFS = NULL?\n");
            return hr;
        }
        std::wstring folder = PCFolder ? PCFolder : L"";
        if (folder.size() >= MAX_PATH)
            return kPathTooLong;
        std::wstring alias;
        if (!DeviceOfPcPath(folder, alias))
            return S_OK; // outside every mirror folder: the variant stays as given
        std::wstring root = L"ALIAS:" + alias;
        if (!root.empty() && root.back() == L'\\')
            root.pop_back();
        phone::PhoneFileSystem phoneFs(component.get(), this);
        try {
            phoneFs.ReadObexCapability(root, pvntCapabilityobject);
        } catch (const _com_error& error) {
            QTRACE(L"(): VFS::ReadObexCapability failed! (path = %s, hr = 0x%X)\n", root.c_str(), error.Error());
            throw;
        }
        return S_OK;
    });
}

bool CComQuelvar::DeviceOfPcPath(const std::wstring&, std::wstring&)
{
    return false;
}

HRESULT CComQuelvar::PhonePathOf(const std::wstring&, std::wstring&)
{
    return S_FALSE;
}

STDMETHODIMP CComQuelvar::HideProgressDialog()
{
    return S_OK;
}

STDMETHODIMP CComQuelvar::Convert(BSTR, short, short, BSTR*, LONG)
{
    return E_NOTIMPL;
}

STDMETHODIMP CComQuelvar::OpenHtmlHelp(LONG, BSTR, LONG, LONG, LONG*)
{
    return E_NOTIMPL;
}

STDMETHODIMP CComQuelvar::DeviceEvent(LONG, LONG, LONG)
{
    return S_OK;
}

STDMETHODIMP CComQuelvar::DeviceEventEx(LONG, LONG, LONG, LONG)
{
    return S_OK;
}

STDMETHODIMP CComQuelvar::DeviceDisconnect(BSTR, BSTR)
{
    return S_OK;
}

STDMETHODIMP CComQuelvar::DeviceConnect(BSTR, BSTR)
{
    return S_OK;
}
