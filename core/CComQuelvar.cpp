#include "CComQuelvar.h"

#include "common/Trace.h"
#include "localisation/LanguageResources.h"
#include "localisation/MessageBoxes.h"
#include "mirror/Configuration.h"
#include "mirror/MirrorRefresh.h"
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

HRESULT CComQuelvar::ReadVFSRootFolder(IVirtualFileSystem* component, ITransferListener* listener)
{
    // Every failure here is traced and absorbed: a phone not found now connects later.
    std::vector<mirror::VFSItem> files, phones;
    try {
        phone::PhoneFileSystem phoneFs(component, nullptr);
        std::wstring listing = phoneFs.readdir(L"", listener);
        unique_bstr text(listing.c_str());
        mirror::ReadMirrorRoot();
        if (FAILED(mirror::GetFilesAndFolders(text.get(), files, phones, mirror::MirrorRoot()))) {
            QTRACE(L"CComQuelvar::ReadVFSRootFolder(): GetFilesAndFolders failed\n");
            return S_OK;
        }
        for (const mirror::VFSItem& item : phones) {
            std::wstring imei;
            try {
                imei = phoneFs.GetImei(item.phoneName);
            } catch (const _com_error&) {
                QTRACE(L"CComQuelvar::ReadVFSRootFolder(): VFSGetIMEI failed (alias = %s)\n", item.phoneName);
                continue;
            }
            unique_bstr imeiText(imei.c_str());
            unique_bstr alias(item.phoneName);
            // Exactly as a notification would arrive.
            if (FAILED(static_cast<IDeviceNotifySink*>(this)->DeviceConnect(imeiText.get(), alias.get())))
                QTRACE(L"CComQuelvar::ReadVFSRootFolder(): DeviceConnect failed (alias = %s)\n", item.phoneName);
        }
    } catch (const _com_error& error) {
        QTRACE(L"CComQuelvar::ReadVFSRootFolder(): VFS::readdir failed: HRESULT 0X%x\n", error.Error());
        return S_OK;
    }
    HideMirrorFoldersOfAbsentPhones(phones);
    return S_OK;
}

// Mirror folders of phones that are not connected are hidden.
void CComQuelvar::HideMirrorFoldersOfAbsentPhones(const std::vector<mirror::VFSItem>& connected)
{
    mirror::ReadMirrorRoot();
    std::wstring root = mirror::MirrorRoot();
    if (root.empty())
        return;
    std::vector<std::wstring> files, folders;
    mirror::GetPcFolderContents(root.c_str(), files, folders);
    for (const std::wstring& name : folders) {
        std::wstring folder = root + L"\\" + name;
        DWORD attributes = GetFileAttributesW(folder.c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_HIDDEN))
            continue;
        if (GetFileAttributesW((folder + L"\\" + mirror::kImeiFileName).c_str()) == INVALID_FILE_ATTRIBUTES)
            continue;
        bool isConnected = false;
        for (const mirror::VFSItem& item : connected)
            isConnected = isConnected || _wcsicmp(item.phoneName, name.c_str()) == 0;
        if (!isConnected)
            SetFileAttributesW(folder.c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
    }
}

HRESULT CComQuelvar::CreateNotifyRegistry(com_ptr<IDeviceNotifyRegistry>& registry)
{
    HRESULT hr = CoCreateInstance(CLSID_DeviceNotifyRegistry, nullptr, CLSCTX_LOCAL_SERVER, IID_IDeviceNotifyRegistry,
                                  registry.put_void());
    if (FAILED(hr))
        QTRACE(L"(): CoCreateInstance(CLSID_DeviceNotifyRegistry... failed (hr = 0x%x)\n", hr);
    return hr;
}

HRESULT CComQuelvar::StartListening()
{
    QTRACE(L"(): thread id = %ld\n", GetCurrentThreadId());
    com_ptr<IDeviceNotifyRegistry> registry;
    HRESULT hr = CreateNotifyRegistry(registry);
    if (FAILED(hr))
        return hr;
    IUnknown* identity = static_cast<IQuelvar*>(this);
    QTRACE(L"(): pReg->Add(0x%X)\n", identity);
    LONG cookie = 0;
    hr = registry->Add(identity, &cookie);
    if (FAILED(hr)) {
        QTRACE(L"(): pReg->Add failed (hr = 0x%x)\n", hr);
    } else {
        m_dwCookie = static_cast<DWORD>(cookie);
        QTRACE(L"(): pReg->Add succeeded (cookie = %ld)\n", cookie);
    }
    return hr;
}

HRESULT CComQuelvar::StopListening()
{
    com_ptr<IDeviceNotifyRegistry> registry;
    HRESULT hr = CreateNotifyRegistry(registry);
    if (FAILED(hr))
        return hr;
    if (m_dwCookie != 0) {
        QTRACE(L"(): pReg->Remove(cookie = %ld)\n", m_dwCookie);
        hr = registry->Remove(static_cast<LONG>(m_dwCookie));
        if (FAILED(hr))
            QTRACE(L"(): pReg->Remove failed (hr = 0x%x)\n", hr);
        m_dwCookie = 0;
    }
    return hr;
}

STDMETHODIMP CComQuelvar::Terminate()
{
    return server::Guarded([&]() -> HRESULT {
        HRESULT hr = StopListening();
        for (const std::wstring& alias : m_mappings.Aliases())
            m_mappings.OnDeviceDisconnected(L"", alias.c_str());
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

STDMETHODIMP CComQuelvar::RefreshFolder(BSTR aPCFolderPath, VARIANT_BOOL bFiles)
{
    return server::Guarded([&]() -> HRESULT {
        com_ptr<IVirtualFileSystem> component;
        HRESULT hr = CreatePhoneComponent(component);
        if (FAILED(hr)) {
            QTRACE(L"(): pVFS.CoCreateInstance failed! (hr = 0x%X)\n", hr);
            return hr;
        }
        phone::PhoneFileSystem phoneFs(component.get(), this);
        return mirror::RefreshFolder(phoneFs, m_mappings, aPCFolderPath ? aPCFolderPath : L"", bFiles, nullptr);
    });
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

bool CComQuelvar::DeviceOfPcPath(const std::wstring& pcPath, std::wstring& alias)
{
    mirror::DeviceMapping row = m_mappings.FindMappingForPC(pcPath.c_str());
    if (row.empty())
        return false;
    alias = row.device;
    return true;
}

HRESULT CComQuelvar::PhonePathOf(const std::wstring& pcPath, std::wstring& phonePath)
{
    if (m_mappings.FindMappingForPC(pcPath.c_str()).empty())
        return S_FALSE;
    return m_mappings.ConvertPCNameToVFSName(pcPath.c_str(), phonePath);
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

STDMETHODIMP CComQuelvar::DeviceDisconnect(BSTR imei, BSTR alias)
{
    server::Guarded([&]() { return m_mappings.OnDeviceDisconnected(imei ? imei : L"", alias ? alias : L""); });
    return S_OK;
}

STDMETHODIMP CComQuelvar::DeviceConnect(BSTR imei, BSTR alias)
{
    // An unsupported phone is refused by the table; the notification itself succeeds.
    server::Guarded([&]() { return m_mappings.OnDeviceConnected(imei ? imei : L"", alias ? alias : L""); });
    return S_OK;
}
