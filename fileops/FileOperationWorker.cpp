#include "FileOperationWorker.h"

#include "Dispatcher.h"
#include "FileOperationRequest.h"
#include "common/ErrorFlow.h"
#include "common/Resource.h"
#include "common/Trace.h"
#include "localisation/LanguageResources.h"
#include "localisation/MessageBoxes.h"
#include "localisation/VexaUtil.h"

#include <memory>

namespace fileops {

namespace {

constexpr UINT kComponentFailureBoxStyle = MB_ICONSTOP | MB_SYSTEMMODAL | MB_SETFOREGROUND;

// What a worker thread is handed: its references to the main object and the
// server are taken before the thread starts, and released when it ends.
struct WorkerStart {
    services::RequestContext context;
    FileOperationRequest request;
    UINT endMessage;
};

bool RunsOnWorker(UINT function)
{
    return function == FO_MOVE || function == FO_COPY || function == kOperationDeleteAll;
}

// One request with a component instance and a listener of its own; its boxes
// belong to the request's window. On a worker the outcome goes to the user.
HRESULT RunRequest(const services::RequestContext& context, FileOperationRequest& request, UINT endMessage,
                   bool onWorker)
{
    phone::PhoneFileSystem phoneFs;
    HRESULT hr = context.FreshPhone(phoneFs);
    if (FAILED(hr)) {
        if (onWorker)
            MessageBoxW(request.Window(), L"failed", localisation::kDefaultProductName, kComponentFailureBoxStyle);
        return hr;
    }
    com_ptr<COperationListener> listener = COperationListener::Create(phoneFs.Component());
    if (!listener)
        return E_OUTOFMEMORY;
    Dispatcher dispatcher(context, phoneFs, *listener.get(), endMessage);
    hr = dispatcher.DoSHFileOperation(request);
    listener->Stop();
    listener.reset();
    if (!onWorker)
        return hr;
    if (dispatcher.MoveKeptSources()) {
        localisation::ShowMessageBox(request.Window(),
                                     context.Language().GetString(kMoveKeptSourcesTextId, kMoveKeptSourcesText),
                                     localisation::kErrorBoxStyle);
    } else {
        localisation::ShowErrorBox(hr, request.Window(), context.Language());
    }
    return hr;
}

DWORD WINAPI SHFileOperationThread(void* parameter)
{
    std::unique_ptr<WorkerStart> start(static_cast<WorkerStart*>(parameter));
    com_apartment apartment;
    // The worker's entry: nothing thrown goes further.
    if (SUCCEEDED(apartment.result()))
        Guarded([&]() { return RunRequest(start->context, start->request, start->endMessage, true); });
    // The main object may go with this reference: while the apartment stands.
    start.reset();
    return 0;
}

} // namespace

HRESULT RunFileOperation(const services::RequestContext& context, const VARIANT& serialised, UINT endMessage)
{
    FileOperationRequest request;
    RETURN_IF_FAILED(FileOperationRequest::Decode(serialised, request));
    if (!RunsOnWorker(request.Function()))
        return RunRequest(context, request, endMessage, false);
    auto start = std::make_unique<WorkerStart>(WorkerStart{context, std::move(request), endMessage});
    unique_handle thread(CreateThread(nullptr, 0, SHFileOperationThread, start.get(), 0, nullptr));
    if (!thread) {
        QTRACE(L"(): CreateThread(SHFileOperationThread) failed!\n");
        return E_FAIL;
    }
    start.release();
    return S_OK;
}

} // namespace fileops
