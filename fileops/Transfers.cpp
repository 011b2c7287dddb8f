#include "Transfers.h"

#include "PhoneFile.h"
#include "common/ByteArray.h"
#include "common/Dates.h"
#include "common/ErrorFlow.h"
#include "common/Paths.h"
#include "common/Trace.h"
#include "mirror/MirrorRefresh.h"
#include "phone/VFSItem.h"

namespace fileops {

namespace {

constexpr wchar_t kUploadedPermissions[] = L"RWD";

// Ends a listener still held and shows a new one over the parent.
HRESULT StartNewListener(const TransferOwner& owner, ULONG totalSize, UINT titleId, HWND parent)
{
    ReleaseOperationListener(owner.listener);
    owner.listener = COperationListener::Create(owner.phoneComponent);
    if (!owner.listener)
        return E_OUTOFMEMORY;
    owner.listener->SetTotalSize(totalSize);
    SetProgressTitle(*owner.listener.get(), owner.context.Language(), titleId);
    owner.listener->SetAnimation(owner.context.Graphics(), ProgressAnimationId());
    owner.listener->Start(parent);
    return S_OK;
}

// Ends the call's listener unless a call that came in meanwhile has put
// another one into the slot (which has ended this one already).
void EndListener(const TransferOwner& owner, const com_ptr<COperationListener>& listener)
{
    if (owner.listener.get() == listener.get())
        ReleaseOperationListener(owner.listener);
}

// The phone path of a PC path in a mirror folder; a path that does not fit is
// refused rather than cut.
HRESULT PhonePathOf(const services::RequestContext& context, const std::wstring& pcFile, std::wstring& phonePath)
{
    HRESULT hr =
        pcFile.size() < MAX_PATH ? context.Mappings().ConvertPCNameToVFSName(pcFile.c_str(), phonePath) : kPathTooLong;
    // A path in no phone's mirror folder names no phone file: the component is not asked.
    if (SUCCEEDED(hr) && phonePath.empty())
        hr = E_FAIL;
    if (FAILED(hr))
        QTRACE(L"(): Failed to convet pc name to vfs name! (%s)\n", pcFile.c_str());
    return hr;
}

// The listing entry the uploaded file's shortcut records.
phone::VFSItem UploadedItem(const UploadRequest& request)
{
    phone::VFSItem item{};
    phone::CopyField(item.phoneName, request.pcFile.c_str());
    item.size = request.size;
    item.modified = request.modified;
    phone::CopyField(item.userPerm, kUploadedPermissions);
    return item;
}

HRESULT ReadRequested(const TransferOwner& owner, const DownloadRequest& request, COperationListener* listener,
                      VARIANT* data)
{
    QTRACE(L"(): PCFileName = %ws\n", request.pcFile.c_str());
    std::wstring phonePath;
    RETURN_IF_FAILED(PhonePathOf(owner.context, request.pcFile, phonePath));
    phone::PhoneFileSystem phoneFs(owner.phoneComponent, &owner.context.Owner());
    return ReadPhoneFile({phoneFs, listener, owner.context.Graphics()}, phonePath, data);
}

HRESULT WriteRequested(const TransferOwner& owner, const UploadRequest& request, COperationListener* listener)
{
    QTRACE(L"(): aPCFile = %s\n", request.pcFile.c_str());
    std::wstring phonePath;
    RETURN_IF_FAILED(PhonePathOf(owner.context, request.pcFile, phonePath));
    phone::PhoneFileSystem phoneFs(owner.phoneComponent, &owner.context.Owner());
    HRESULT result =
        WritePhoneFile({phoneFs, listener, owner.context.Graphics()}, phonePath, request.data, request.modified);
    if (SUCCEEDED(result))
        result = RecordShortcut(request.pcFile, UploadedItem(request));
    // The folder shows the phone as it is now, whatever became of the file:
    // its own failure leaves the write's result standing.
    const std::wstring folder = paths::Parent(request.pcFile);
    ContinueOnFailure(mirror::RefreshFolder(phoneFs, owner.context.Mappings(), folder.c_str(), VARIANT_TRUE, listener),
                      L"the refresh of the folder");
    return result;
}

} // namespace

HRESULT DownloadVFSFile(const TransferOwner& owner, const DownloadRequest& request, VARIANT* data)
{
    if (request.count < 0) {
        QTRACE(L"(): TotalFileCount argument (%ld) out of range!\n", request.count);
        return E_INVALIDARG;
    }
    if (request.totalSize < 0) {
        QTRACE(L"(): TotalFileSize argument (%ld) out of range!\n", request.totalSize);
        return E_INVALIDARG;
    }
    if (request.index < 0 || request.index >= request.count) {
        QTRACE(L"(): CurrentFileIndex argument (%ld) out of range!\n", request.index);
        return E_INVALIDARG;
    }
    if (!data)
        return E_POINTER;

    if (request.index == 0 || !owner.listener) {
        QTRACE(L"(): Creating new m_pOperationListener...!\n");
        RETURN_IF_FAILED(
            StartNewListener(owner, static_cast<ULONG>(request.totalSize), kTitleFromPhone, request.parent));
    } else if (owner.listener->HasUserCancelled()) {
        ReleaseOperationListener(owner.listener);
        return E_ABORT;
    }
    // Held for the whole call: a client may end the series while the phone reads.
    const com_ptr<COperationListener> listener = owner.listener;

    const HRESULT hr = ReadRequested(owner, request, listener.get(), data);
    if (FAILED(hr) || request.index == request.count - 1)
        EndListener(owner, listener);
    return hr;
}

HRESULT UploadVFSFile(const TransferOwner& owner, const UploadRequest& request)
{
    if (request.data.vt != (VT_ARRAY | VT_UI1))
        return E_INVALIDARG;
    size_t bytes = 0;
    RETURN_IF_FAILED(ByteArraySize(request.data.parray, bytes));
    // What the shortcut file records must be a size and a date.
    SYSTEMTIME modified;
    if (request.size < 0 || !DateToSystemTime(request.modified, modified)) {
        QTRACE(L"(): FileSize (%ld) or LastWriteTime out of range!\n", request.size);
        return E_INVALIDARG;
    }

    RETURN_IF_FAILED(StartNewListener(owner, 0, kTitleToPhone, request.parent));
    const com_ptr<COperationListener> listener = owner.listener;
    if (listener->HasUserCancelled()) {
        EndListener(owner, listener);
        return E_ABORT;
    }

    const HRESULT hr = WriteRequested(owner, request, listener.get());
    EndListener(owner, listener);
    return hr;
}

} // namespace fileops
