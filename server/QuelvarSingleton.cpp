#include "QuelvarSingleton.h"

#include "ServerModule.h"
#include "common/ErrorFlow.h"
#include "common/ComPtr.h"
#include "common/Resource.h"
#include "common/Trace.h"

namespace server {

IQuelvar* g_pQuelvar = nullptr;

HRESULT QuelvarSingleton::InternalQueryInterface(REFIID iid, void** object)
{
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IQuelvar))
        return Answer(static_cast<IQuelvar*>(this), object);
    if (IsEqualIID(iid, IID_ISupportErrorInfo))
        return Answer(static_cast<ISupportErrorInfo*>(this), object);
    return E_NOINTERFACE;
}

HRESULT QuelvarSingleton::FinalConstruct()
{
    critical_section_lock lock(g_singletonLock);
    if (g_pQuelvar)
        return S_OK;
    // The class object of this same process answers, so the shared object lives here.
    HRESULT hr = CoCreateInstance(CLSID_Quelvar, nullptr, CLSCTX_LOCAL_SERVER, IID_IQuelvar,
                                  reinterpret_cast<void**>(&g_pQuelvar));
    if (FAILED(hr)) {
        QTRACE(L"(): CoCreateInstance(CLSID_Quelvar... failed: 0x%X\n", hr);
        g_pQuelvar = nullptr;
    }
    return hr;
}

void QuelvarSingleton::FinalRelease()
{
    if (g_pQuelvar)
        QTRACE(L"(): Releasing...\n");
}

STDMETHODIMP QuelvarSingleton::InterfaceSupportsErrorInfo(REFIID iid)
{
    return IsEqualIID(iid, IID_IQuelvar) ? S_OK : S_FALSE;
}

// The shared object is kept alive for the length of the call by a reference
// taken under the singleton lock, so a concurrent Terminate cannot free it.
template <typename Call> HRESULT QuelvarSingleton::Forward(Call&& call)
{
    com_ptr<IQuelvar> shared;
    {
        critical_section_lock lock(g_singletonLock);
        shared = com_ptr<IQuelvar>(g_pQuelvar);
    }
    if (!shared) {
        QTRACE(L"(): g_pQuelvar is NULL.\n");
        return E_POINTER;
    }
    return call(shared.get());
}

STDMETHODIMP QuelvarSingleton::RefreshFolder(BSTR aPCFolderPath, VARIANT_BOOL bFiles)
{
    return Forward([&](IQuelvar* q) { return q->RefreshFolder(aPCFolderPath, bFiles); });
}

STDMETHODIMP QuelvarSingleton::SHFileOperation(VARIANT vntFileOp)
{
    return Forward([&](IQuelvar* q) { return q->SHFileOperation(vntFileOp); });
}

STDMETHODIMP QuelvarSingleton::CreateFolder(BSTR aPCFolderPath)
{
    return Forward([&](IQuelvar* q) { return q->CreateFolder(aPCFolderPath); });
}

STDMETHODIMP QuelvarSingleton::DownloadVFSFile(BSTR CurrentFileName, LONG CurrentFileIndex, LONG TotalFileCount,
                                               LONG TotalFileSize, LONG hwnd, VARIANT* pvntData)
{
    return Forward([&](IQuelvar* q) {
        return q->DownloadVFSFile(CurrentFileName, CurrentFileIndex, TotalFileCount, TotalFileSize, hwnd, pvntData);
    });
}

STDMETHODIMP QuelvarSingleton::UploadVFSFile(VARIANT vntData, BSTR aPCFile, LONG FileSize, DATE LastWriteTime,
                                             LONG hwnd)
{
    return Forward([&](IQuelvar* q) { return q->UploadVFSFile(vntData, aPCFile, FileSize, LastWriteTime, hwnd); });
}

STDMETHODIMP QuelvarSingleton::GetImei(BSTR alias, BSTR* friendlyname)
{
    return Forward([&](IQuelvar* q) { return q->GetImei(alias, friendlyname); });
}

STDMETHODIMP QuelvarSingleton::Refresh(LEVEL level, BSTR target)
{
    return Forward([&](IQuelvar* q) { return q->Refresh(level, target); });
}

STDMETHODIMP QuelvarSingleton::GetCapabilityObject(BSTR PCFolder, VARIANT* pvntCapabilityobject)
{
    return Forward([&](IQuelvar* q) { return q->GetCapabilityObject(PCFolder, pvntCapabilityobject); });
}

STDMETHODIMP QuelvarSingleton::HideProgressDialog()
{
    return Forward([&](IQuelvar* q) { return q->HideProgressDialog(); });
}

STDMETHODIMP QuelvarSingleton::Convert(BSTR filename, short targetformat, short sourceformat, BSTR* outputfilename,
                                       LONG hWndParent)
{
    return Forward(
        [&](IQuelvar* q) { return q->Convert(filename, targetformat, sourceformat, outputfilename, hWndParent); });
}

STDMETHODIMP QuelvarSingleton::OpenHtmlHelp(LONG hwnd, BSTR filename, LONG command, LONG data, LONG* hwndHelp)
{
    return Forward([&](IQuelvar* q) { return q->OpenHtmlHelp(hwnd, filename, command, data, hwndHelp); });
}

STDMETHODIMP QuelvarSingleton::Terminate()
{
    com_ptr<IQuelvar> shared;
    {
        critical_section_lock lock(g_singletonLock);
        shared = com_ptr<IQuelvar>::attach(g_pQuelvar);
        g_pQuelvar = nullptr;
    }
    HRESULT hr = E_POINTER;
    if (shared)
        hr = shared->Terminate();
    else
        QTRACE(L"(): g_pQuelvar is NULL.\n");
    // Brings the whole server down: the monitor sees the count at zero.
    while (g_module.Unlock() > 0) {
    }
    return hr;
}

} // namespace server
