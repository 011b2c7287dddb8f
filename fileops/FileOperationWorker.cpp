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

// What a worker is handed: its references to the main object and the server
// are taken when the request arrives, and released when it has run.
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
// each on a worker thread; the others wait in arrival order, holding their
// references. A worker that ends a request takes the next, or waits for one:
// the threads stay, so a burst of requests neither starts a thread, a dialog
// and a component instance each nor is refused, and a thread's COM endpoint
// is made once (the platform may keep one per thread that ever served calls).
class WorkerQueue
{
public:
    WorkerQueue() : requests_(CreateSemaphoreW(nullptr, 0, MAXLONG, nullptr)) {}
    WorkerQueue(const WorkerQueue&) = delete;
    WorkerQueue& operator=(const WorkerQueue&) = delete;

    HRESULT Submit(std::unique_ptr<WorkerStart> start)
    {
        if (!requests_)
            return E_OUTOFMEMORY;
        bool startThread = false;
        {
            critical_section_lock hold(lock_);
            // Each idle worker takes one request: a second request while one
            // worker idles gets a thread of its own, within the bound.
            ++unclaimed_;
            startThread = unclaimed_ > idle_ && threads_ < kMaxRunningWorkers;
            if (startThread)
                ++threads_;
        }
        if (startThread) {
            unique_handle thread(CreateThread(nullptr, 0, WorkerThread, this, 0, nullptr));
            if (!thread) {
                QTRACE(L"(): CreateThread(WorkerThread) failed!\n");
                critical_section_lock hold(lock_);
                if (--threads_ == 0) {
                    --unclaimed_;
                    return E_FAIL; // nobody would take it
                }
            }
        }
        {
            critical_section_lock hold(lock_);
            waiting_.push_back(std::move(start));
        }
        ReleaseSemaphore(requests_.get(), 1, nullptr);
        return S_OK;
    }

private:
    static DWORD WINAPI WorkerThread(void* parameter);

    // The next request, once there is one: each was counted once.
    std::unique_ptr<WorkerStart> Next()
    {
        {
            critical_section_lock hold(lock_);
            ++idle_;
        }
        WaitForSingleObject(requests_.get(), INFINITE);
        critical_section_lock hold(lock_);
        --idle_;
        --unclaimed_;
        std::unique_ptr<WorkerStart> next = std::move(waiting_.front());
        waiting_.pop_front();
        return next;
    }

    critical_section lock_;
    unique_handle requests_; // counts the waiting requests
    std::deque<std::unique_ptr<WorkerStart>> waiting_;
    size_t threads_ = 0, idle_ = 0;
    size_t unclaimed_ = 0; // submitted, not yet taken by a worker
};

// Lives as long as the process: idle workers wait on it until the process ends.
WorkerQueue& Workers()
{
    static WorkerQueue& workers = *new WorkerQueue;
    return workers;
}

DWORD WINAPI WorkerQueue::WorkerThread(void* parameter)
{
    auto* queue = static_cast<WorkerQueue*>(parameter);
    for (;;)
        RunOnWorker(queue->Next());
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
