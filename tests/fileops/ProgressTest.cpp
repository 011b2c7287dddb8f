// The operation listener in process with the shell's real progress dialog, read
// and clicked as another process would: its bar, its Cancel button, its timer.
#include "PhoneComponents.h"
#include "ScriptedComponent.h"
#include "TestObject.h"
#include "Windows.h"
#include "common/Resource.h"
#include "fileops/OperationListener.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

using namespace testing_support;

namespace {

// A phone component that counts its cancels and the thread they came from; its
// other calls are never made here.
class CancelCounter final : public ScriptedComponent
{
public:
    std::atomic<int> cancels{0};
    std::atomic<DWORD> cancelThread{0};

    STDMETHODIMP Cancel() override
    {
        cancelThread = GetCurrentThreadId();
        ++cancels;
        return S_OK;
    }
};

struct ShownListener {
    ShownListener(const std::wstring& title, IVirtualFileSystem* phoneFs)
        : listener(COperationListener::Create(phoneFs))
    {
        listener->SetTitle(title);
        listener->Start(nullptr);
        dialog = WaitForDialog(title);
    }
    ~ShownListener() { listener->Stop(); }
    com_ptr<COperationListener> listener;
    HWND dialog;
};

// An operation's thread: its own apartment, component and listener, dispatching
// its messages until told to end, as a worker does between its calls.
class OperationThread
{
public:
    explicit OperationThread(const std::wstring& title)
        : component(MakeTestObject<CancelCounter>()), thread_([this, title] { Run(title); })
    {
        WaitForSingleObject(shown_.get(), INFINITE);
        dialog = WaitForDialog(title, 60000);
    }
    OperationThread(const OperationThread&) = delete;
    OperationThread& operator=(const OperationThread&) = delete;
    ~OperationThread()
    {
        SetEvent(end_.get());
        thread_.join();
    }

    DWORD Id() const { return threadId_; }

    com_ptr<CancelCounter> component;
    HWND dialog = nullptr;

private:
    void Run(const std::wstring& title)
    {
        threadId_ = GetCurrentThreadId();
        CoInitialize(nullptr);
        {
            com_ptr<COperationListener> listener = COperationListener::Create(component.get());
            listener->SetTitle(title);
            listener->Start(nullptr);
            SetEvent(shown_.get());
            HANDLE end = end_.get();
            while (MsgWaitForMultipleObjects(1, &end, FALSE, INFINITE, QS_ALLINPUT) != WAIT_OBJECT_0) {
                MSG message;
                while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE))
                    DispatchMessageW(&message);
            }
            ReleaseOperationListener(listener);
        }
        CoUninitialize();
    }

    unique_handle shown_{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    unique_handle end_{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    DWORD threadId_ = 0;
    std::thread thread_;
};

} // namespace

TEST(OperationListener, BarRunsPerFileWithoutATotalAndOverTheSeriesWithOne)
{
    const struct {
        ULONG overallTotal;
        ULONG reportedOfFinishedFile; // 0: no file before
        std::pair<LRESULT, LRESULT> bar;
    } cases[] = {{0, 0, {500, 1000}}, {3000, 400, {1500, 3000}}};
    for (const auto& c : cases) {
        ShownListener shown(L"Bar " + std::to_wstring(c.overallTotal), nullptr);
        ASSERT_TRUE(shown.dialog);
        shown.listener->SetTotalSize(c.overallTotal);
        if (c.reportedOfFinishedFile) {
            // A finished file counts with its whole total, whatever was last reported.
            shown.listener->TransferStatus(c.reportedOfFinishedFile, 1000);
            shown.listener->FileFinished();
            shown.listener->FileStarted();
        }
        shown.listener->TransferStatus(500, 1000);
        EXPECT_TRUE(PumpUntil([&] { return ProgressBar(shown.dialog) == c.bar; }, 5000))
            << c.overallTotal << ": " << ProgressBar(shown.dialog).first << " of " << ProgressBar(shown.dialog).second;
    }
}

TEST(OperationListener, CancelSeenInAStatusCancelsAndTheTimerThenClosesTheDialogAndTheCancelStaysKnown)
{
    com_ptr<CancelCounter> component = MakeTestObject<CancelCounter>();
    ShownListener shown(L"Cancel and timer", component.get());
    ASSERT_TRUE(shown.dialog);
    ClickButton(shown.dialog, IDCANCEL);
    // Without messages dispatched no tick comes: a transfer's status cancels, the dialog stays.
    ASSERT_TRUE(WaitWithoutMessages([&] { return shown.listener->HasUserCancelled(); }));
    shown.listener->TransferStatus(1, 2);
    EXPECT_EQ(1, component->cancels);
    EXPECT_TRUE(IsWindowVisible(shown.dialog));
    // Dispatched, the one-second timer sees the Cancel, cancels again and ends the dialog.
    EXPECT_TRUE(PumpUntil([&] { return !IsWindow(shown.dialog); }, 30000));
    EXPECT_EQ(2, component->cancels);
    EXPECT_FALSE(shown.listener->HasDialog());
    EXPECT_TRUE(shown.listener->HasUserCancelled());
}

// Each listener's timer works on its own listener, on its own thread: a Cancel
// in either of two dialogs reaches that operation's component and closes only
// that dialog.
TEST(OperationListener, TwoOperationsOnTwoThreadsEachKeepTheirOwnCancel)
{
    for (int cancelled : {0, 1}) {
        const std::wstring round = L" (Cancel in " + std::to_wstring(cancelled + 1) + L")";
        OperationThread first(L"First operation" + round), second(L"Second operation" + round);
        OperationThread* operations[] = {&first, &second};
        OperationThread& pressed = *operations[cancelled];
        OperationThread& other = *operations[1 - cancelled];
        ASSERT_TRUE(pressed.dialog && other.dialog);

        ClickButton(pressed.dialog, IDCANCEL);
        EXPECT_TRUE(WaitWithoutMessages([&] { return !IsWindow(pressed.dialog); }, 60000)) << cancelled;
        EXPECT_EQ(1, pressed.component->cancels) << cancelled;
        EXPECT_EQ(pressed.Id(), pressed.component->cancelThread) << cancelled;
        EXPECT_TRUE(IsWindowVisible(other.dialog)) << cancelled;
        EXPECT_EQ(0, other.component->cancels) << cancelled;

        // The other one's timer still runs and answers its own Cancel.
        ClickButton(other.dialog, IDCANCEL);
        EXPECT_TRUE(WaitWithoutMessages([&] { return !IsWindow(other.dialog); }, 60000)) << cancelled;
        EXPECT_EQ(1, other.component->cancels) << cancelled;
        EXPECT_EQ(other.Id(), other.component->cancelThread) << cancelled;
        EXPECT_EQ(1, pressed.component->cancels) << cancelled;
    }
}
