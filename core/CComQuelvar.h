// The main object: one per client of the Quelvar class, and the shared object of
// the singleton class. A facade: every request is handed to its room.
#pragma once

#include "PhoneComponents.h"
#include "ZentrelQuelvar.h"
#include "common/ComObject.h"
#include "common/ComPtr.h"
#include "common/Resource.h"
#include "fileops/OperationListener.h"
#include "localisation/VexaUtil.h"
#include "mirror/DeviceMapping.h"
#include "phone/DeviceNotifications.h"
#include "phone/PhoneFileSystem.h"
#include "services/RequestContext.h"

#include <atomic>

class CComQuelvar : public ISupportErrorInfo,
                    public IQuelvar,
                    public IDeviceNotifySink,
                    public ObjectRoot,
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

    // phone::ComponentOwner: on another thread the reconnect is handed to this
    // object's own thread, and the caller waits for it.
    long ComponentGeneration() const override { return m_generation.load(); }
    void ReconnectPhoneComponent(long generation) override;

    // Registered message posted to a caller's window when a file operation ends.
    static UINT FileOperationEndMessage();

    // What a request needs of this object, holding it alive while it runs.
    services::RequestContext Context();

private:
    static LRESULT CALLBACK ReconnectWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    // Listens anew through a fresh component when the connection `generation`
    // failed and is still current, unless a client has terminated this object.
    void Reconnect(long generation);
    // A connection that could not be made (no component, no root listing, no
    // registration) is made again at the next request on the object's thread.
    void ConnectAgainIfLost();
    HRESULT StopListening();

    mirror::DeviceMappingTable m_mappings;
    com_ptr<IVirtualFileSystem> m_pVFS;
    phone::DeviceNotificationRegistration m_registration;
    // The single-file transfers' listener; a download series keeps it between calls.
    com_ptr<COperationListener> m_pOperationListener;
    CVexaUtil m_language; // loaded once; may have no file
    unique_hmodule m_graphics;
    // Receives reconnect requests of other threads on the thread that made the object.
    unique_hwnd m_reconnectWindow;
    bool m_terminated = false;
    // A reconnect runs on the object's thread; one asked for meanwhile (by a call
    // let in during its outgoing calls) makes it go round once more.
    bool m_reconnecting = false;
    bool m_reconnectAgain = false;
    bool m_connected = false;
    // The number of the component connection; written on the object's thread only.
    std::atomic<long> m_generation{0};
};
