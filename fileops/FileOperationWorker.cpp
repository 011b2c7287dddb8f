#include "FileOperationWorker.h"

#include "Dispatcher.h"
#include "FileOperationRequest.h"
#include "common/ErrorFlow.h"
#include "common/Resource.h"
#include "common/Trace.h"
#include "localisation/LanguageResources.h"
#include "localisation/MessageBoxes.h"
#include "localisation/VexaUtil.h"

#include <deque>
#include <memory>

namespace fileops {

namespace {

constexpr UINT kComponentFailureBoxStyle = MB_ICONSTOP | MB_SYSTEMMODAL | MB_SETFOREGROUND;
// Requests that run at once; each has a thread, a component instance and a dialog.
constexpr size_t kMaxRunningWorkers = 4;

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
    listener->Finish();
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

void RunOnWorker(std::unique_ptr<WorkerStart> start)
{
    com_apartment apartment;
    // The worker's entry: nothing thrown goes further.
    if (SUCCEEDED(apartment.result()))
        Guarded([&]() { return RunRequest(start->context, start->request, start->endMessage, true); });
    // The main object may go with this reference: while the apartment stands.
    start.reset();
}

// The workers of the process: at most kMaxRunningWorkers requests run at once,
// each on a thread of its own; the others wait in arrival order, holding their
// references, and a worker that ends one request takes the next. A burst of
// requests thus neither starts a thread, a dialog and a component instance each
// nor is refused.
class WorkerQueue
{
public:
    WorkerQueue() { InitializeCriticalSection(&lock_); }
    WorkerQueue(const WorkerQueue&) = delete;
    WorkerQueue& operator=(const WorkerQueue&) = delete;
    // Waiting requests hold module locks, so the process ends only when none is left.
    ~WorkerQueue() { DeleteCriticalSection(&lock_); }

    HRESULT Submit(std::unique_ptr<WorkerStart> start)
    {
        {
            critical_section_lock hold(lock_);
            if (running_ >= kMaxRunningWorkers) {
                waiting_.push_back(std::move(start));
                return S_OK;
            }
            ++running_;
        }
        unique_handle thread(CreateThread(nullptr, 0, SHFileOperationThread, start.get(), 0, nullptr));
        if (!thread) {
            QTRACE(L"(): CreateThread(SHFileOperationThread) failed!\n");
            critical_section_lock hold(lock_);
            --running_;
            return E_FAIL;
        }
        start.release();
        return S_OK;
    }

private:
    static DWORD WINAPI SHFileOperationThread(void* parameter);

    // The next waiting request; none lets this worker go.
    std::unique_ptr<WorkerStart> Next()
    {
        critical_section_lock hold(lock_);
        if (waiting_.empty()) {
            --running_;
            return nullptr;
        }
        std::unique_ptr<WorkerStart> next = std::move(waiting_.front());
        waiting_.pop_front();
        return next;
    }

    CRITICAL_SECTION lock_;
    std::deque<std::unique_ptr<WorkerStart>> waiting_;
    size_t running_ = 0;
};

WorkerQueue& Workers()
{
    static WorkerQueue workers;
    return workers;
}

DWORD WINAPI WorkerQueue::SHFileOperationThread(void* parameter)
{
    std::unique_ptr<WorkerStart> start(static_cast<WorkerStart*>(parameter));
    while (start) {
        RunOnWorker(std::move(start));
        start = Workers().Next();
    }
    return 0;
}

} // namespace

HRESULT RunFileOperation(const services::RequestContext& context, const VARIANT& serialised, UINT endMessage)
{
    FileOperationRequest request;
    RETURN_IF_FAILED(FileOperationRequest::Decode(serialised, request));
    if (!RunsOnWorker(request.Function()))
        return RunRequest(context, request, endMessage, false);
    return Workers().Submit(std::make_unique<WorkerStart>(WorkerStart{context, std::move(request), endMessage}));
}

} // namespace fileops
