// The operation listener in process with the shell's real progress dialog, read
// and clicked as another process would: its bar, its Cancel button, its timer.
#include "SimulatedPhones.h"
#include "Windows.h"
#include "fileops/OperationListener.h"

#include <gtest/gtest.h>

using namespace testing_support;

namespace {
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
        EXPECT_EQ(S_OK, shown.listener->TransferStatus(500, 1000));
        EXPECT_TRUE(PumpUntil([&] { return ProgressBar(shown.dialog) == c.bar; }, 5000))
            << c.overallTotal << ": " << ProgressBar(shown.dialog).first << " of " << ProgressBar(shown.dialog).second;
    }
}

TEST(OperationListener, CancelKeepsTheDialogUntilTheTimerClosesItAndStaysKnown)
{
    RegisterPhoneSuite();
    ShownListener shown(L"Cancel and timer", SimulatedPhones::NewFileSystem().get());
    ASSERT_TRUE(shown.dialog);
    ClickButton(shown.dialog, IDCANCEL);
    // Without messages pumped no tick comes: a transfer's status cancels, the dialog stays.
    for (int i = 0; i < 200 && !shown.listener->HasUserCancelled(); ++i)
        Sleep(10);
    ASSERT_TRUE(shown.listener->HasUserCancelled());
    EXPECT_EQ(S_OK, shown.listener->TransferStatus(1, 2));
    EXPECT_TRUE(IsWindowVisible(shown.dialog));
    // Pumped, the one-second timer sees the Cancel and ends the dialog; the Cancel stays known.
    EXPECT_TRUE(PumpUntil([&] { return !IsWindow(shown.dialog); }, 8000));
    EXPECT_FALSE(shown.listener->HasDialog());
    EXPECT_TRUE(shown.listener->HasUserCancelled());
}

TEST(OperationListener, ComponentsReferenceOutlivesTheOwnersAndCallbacksStillArrive)
{
    com_ptr<COperationListener> owner = COperationListener::Create(nullptr);
    com_ptr<ITransferListener> component;
    ASSERT_EQ(S_OK, owner.query(component, IID_ITransferListener));
    com_ptr<IDispatch> dispatch;
    EXPECT_EQ(E_NOINTERFACE, owner.query(dispatch, IID_IDispatch));
    EXPECT_FALSE(dispatch);

    ReleaseOperationListener(owner);
    EXPECT_FALSE(owner);
    EXPECT_EQ(S_OK, component->FileStarted());
    EXPECT_EQ(S_OK, component->TransferStatus(10, 20));
    EXPECT_EQ(S_OK, component->FileFinished());
    EXPECT_EQ(0u, component.detach()->Release());
}
