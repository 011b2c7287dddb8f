// The singleton class: every object forwards to one shared main object.
#pragma once

#include "common/ComObject.h"
#include "ZentrelQuelvar.h"

namespace server {

class QuelvarSingleton : public IQuelvar, public ISupportErrorInfo, public ObjectRoot
{
public:
    HRESULT FinalConstruct();
    void FinalRelease();
    HRESULT InternalQueryInterface(REFIID iid, void** object);

    STDMETHODIMP InterfaceSupportsErrorInfo(REFIID iid) override;

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

private:
    template <typename Call> HRESULT Forward(Call&& call);
};

// The shared main object, null until the first singleton object needs it.
extern IQuelvar* g_pQuelvar;

} // namespace server
