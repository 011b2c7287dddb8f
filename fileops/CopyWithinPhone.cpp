#include "CopyWithinPhone.h"

#include "CopyFromPhone.h"
#include "CopyToPhone.h"
#include "common/ErrorFlow.h"
#include "common/Paths.h"
#include "common/Trace.h"
#include "mirror/Configuration.h"

namespace fileops {

HRESULT CopyVFSToVFS(const services::RequestContext& context, phone::PhoneFileSystem& phoneFs,
                     FileOperationRequest& request, COperationListener& listener)
{
    const bool move = request.Function() == FO_MOVE;
    std::vector<std::wstring> sources, targets;
    RETURN_IF_FAILED(request.Sources(sources));
    RETURN_IF_FAILED(request.Targets(targets));
    if (sources.empty() || targets.empty())
        return E_INVALIDARG;
    std::wstring target = targets.front();
    paths::TrimOneTrailingBackslash(target);
    RETURN_IF_FAILED(CheckTargetFolder(target));

    CopyFromPhone download(context, phoneFs, listener);
    std::vector<std::wstring> downloaded;
    RETURN_IF_FAILED(download.DownloadToScratch(sources, downloaded));
    if (downloaded.empty())
        return S_OK;

    // The downloads arrive in the target mirror folder the way PC items would.
    CopySources collected;
    CollectCopySources(downloaded, target, collected);
    listener.SetTotalSize(collected.totalSize);
    std::vector<wchar_t> from, to;
    RETURN_IF_FAILED(mirror::MakePathList(downloaded, from));
    RETURN_IF_FAILED(mirror::MakePathList({target}, to));
    SHFILEOPSTRUCTW operation = request.ShellOperation();
    operation.pFrom = from.data();
    operation.pTo = to.data();
    CopyOutcome outcome;
    bool copiedAll = false;
    const HRESULT hr = PlaceAndUpload(context, phoneFs, operation, collected, listener, outcome, copiedAll);
    if (FAILED(hr)) {
        QTRACE(L"(): CopyToVFS failed!\n");
        return hr;
    }
    if (move) {
        QTRACE(L"(): Deleting original files ... not yet implemented!\n");
        return E_NOTIMPL;
    }
    return hr;
}

} // namespace fileops
