// The main object: one per client of the Quelvar class, and the shared object of
// the singleton class.
#pragma once

#include "PhoneComponents.h"
#include "ZentrelQuelvar.h"
#include "common/ComPtr.h"
#include "common/Resource.h"
#include "mirror/DeviceMapping.h"
#include "mirror/Listing.h"
#include "phone/PhoneFileSystem.h"
#include "server/ComObject.h"

#include <string>
#include <vector>

class CComQuelvar : public ISupportErrorInfo,
                    public IQuelvar,
                    public IDeviceNotifySink,
                    public server::ObjectRoot,
                    public phone::ComponentOwner
{
public:
    CComQuelvar();
    ~CComQuelvar() override;

    HRESULT FinalConstruct();
    void FinalRelease();
    HRESULT InternalQueryInterface(REFIID iid, void** object);

    // ISupportErrorInfo
    STDMETHODIMP InterfaceSupportsErrorInfo(REFIID iid) override;

    // IQuelvar
    STDMETHODIMP RefreshFolder(BSTR aPCFolderPath, VARIANT_BOOL bFiles) override;
    STDMETHODIMP SHFileOperation(VARIANT vntFileOp) override;
    STDMETHODIMP CreateFolder(BSTR aPCFolderPath) override;
    STDMETHODIMP Terminate() override;
    STDMETHODIMP DownloadVFSFile(BSTR CurrentFileName, LONG CurrentFileIndex, LONG TotalFileCount, LONG TotalFileSize,
                                 LONG hwnd, VARIANT* pvntData) override;
    STDMETHODIMP UploadVFSFile(VARIANT vntData, BSTR aPCFile, LONG FileSize, DATE LastWriteTime, LONG hwnd) override;
    STDMETHODIMP GetImei(BSTR alias, BSTR* friendlyname) override;
    STDMETHODIMP Refresh(LEVEL level, BSTR target) override;
    STDMETHODIMP GetCapabilityObject(BSTR PCFolder, VARIANT* pvntCapabilityobject) override;
    STDMETHODIMP HideProgressDialog() override;
    STDMETHODIMP Convert(BSTR filename, short targetformat, short sourceformat, BSTR* outputfilename,
                         LONG hWndParent) override;
    STDMETHODIMP OpenHtmlHelp(LONG hwnd, BSTR filename, LONG command, LONG data, LONG* hwndHelp) override;

    // IDeviceNotifySink
    STDMETHODIMP DeviceEvent(LONG kind, LONG param1, LONG param2) override;
    STDMETHODIMP DeviceEventEx(LONG kind, LONG param1, LONG param2, LONG param3) override;
    STDMETHODIMP DeviceDisconnect(BSTR imei, BSTR alias) override;
    STDMETHODIMP DeviceConnect(BSTR imei, BSTR alias) override;

    // phone::ComponentOwner
    void ReconnectPhoneComponent() override;
    ITransferListener* CurrentListener() override;

    // The object that worker threads reach; the latest constructed one.
    static CComQuelvar* Current();
    // Registered message posted to a caller's window when a file operation ends.
    static UINT FileOperationEndMessage();

private:
    HRESULT ReadVFSRootFolder(IVirtualFileSystem* component, ITransferListener* listener);
    HRESULT StartListening();
    HRESULT StopListening();
    HRESULT CreateNotifyRegistry(com_ptr<IDeviceNotifyRegistry>& registry);
    void HideMirrorFoldersOfAbsentPhones(const std::vector<mirror::VFSItem>& connected);
    HRESULT CreatePhoneComponent(com_ptr<IVirtualFileSystem>& component);
    // The alias of the phone whose mirror folder holds the PC path.
    bool DeviceOfPcPath(const std::wstring& pcPath, std::wstring& alias);
    // S_OK and the phone path of a PC path in a mirror folder; S_FALSE when the path
    // lies in no mirror folder; a failure when it cannot be translated.
    HRESULT PhonePathOf(const std::wstring& pcPath, std::wstring& phonePath);

    mirror::DeviceMappingTable m_mappings;
    com_ptr<IVirtualFileSystem> m_pVFS;
    DWORD m_dwCookie = 0;
    ITransferListener* m_pOperationListener = nullptr;
    wchar_t m_szLanguageFile[MAX_PATH] = {};
    DWORD m_dwRtlLayout = 0;
    unique_hmodule m_graphics;
};
