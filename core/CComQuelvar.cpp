#include "CComQuelvar.h"

#include "common/Trace.h"
#include "server/MethodGuard.h"

#include <comdef.h>

#include <vector>

namespace {
CComQuelvar* g_currentQuelvar = nullptr;
} // namespace

CComQuelvar* CComQuelvar::Current()
{
    return g_currentQuelvar;
}

CComQuelvar::CComQuelvar()
{
    g_currentQuelvar = this;
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

STDMETHODIMP CComQuelvar::Refresh(LEVEL, BSTR)
{
    return E_NOTIMPL;
}

STDMETHODIMP CComQuelvar::GetCapabilityObject(BSTR, VARIANT*)
{
    return E_NOTIMPL;
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
