// The operation listener in process with the shell's real progress dialog, its
// Cancel button clicked as another process would, its timer on two threads.
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

// Each listener's timer works on its own listener, on its own thread: a Cancel
// in either of two dialogs reaches that operation's component and closes only
// that dialog.
TEST(OperationListener, TwoOperationsOnTwoThreadsEachKeepTheirOwnCancel)
{
    OperationThread pressed(L"First operation"), other(L"Second operation");
    ASSERT_TRUE(pressed.dialog && other.dialog);

    ClickButton(pressed.dialog, IDCANCEL);
    EXPECT_TRUE(WaitWithoutMessages([&] { return !IsWindow(pressed.dialog); }, 60000));
    EXPECT_EQ(1, pressed.component->cancels);
    EXPECT_EQ(pressed.Id(), pressed.component->cancelThread);
    EXPECT_TRUE(IsWindowVisible(other.dialog));
    EXPECT_EQ(0, other.component->cancels);

    // The other one's timer still runs and answers its own Cancel.
    ClickButton(other.dialog, IDCANCEL);
    EXPECT_TRUE(WaitWithoutMessages([&] { return !IsWindow(other.dialog); }, 60000));
    EXPECT_EQ(1, other.component->cancels);
    EXPECT_EQ(other.Id(), other.component->cancelThread);
    EXPECT_EQ(1, pressed.component->cancels);
}
