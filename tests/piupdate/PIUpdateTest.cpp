// The contacts and messages update end to end: PIUpdate objects of the running server
// against the simulated data layer, with the dialog and error box answered on the screen.
#include "ServerRig.h"
#include "Windows.h"

#include <gtest/gtest.h>

#include <tuple>

using namespace testing_support;

namespace {
constexpr wchar_t kNone[] = L"<none>";

// The client's window: counts the end messages it receives, whoever dispatches them.
int g_ends = 0;
LRESULT CALLBACK CountingWindow(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    static const UINT end = RegisterWindowMessageW(L"PIUPDATE_END_NOTIFY");
    g_ends += message == end;
    return DefWindowProcW(window, message, wParam, lParam);
}

class PIUpdateTest : public SharedRig<>
{
protected:
    static void SetUpTestSuite()
    {
        rig_ = std::make_unique<ServerRig>(L"C:\\QuelvarUpdateTests", L"P1", L"350000000000071");
        // Masks: P1 everything (25), P0 nothing, PM multimedia messages only.
        for (auto [model, mask] : {std::pair{L"OS-300", L"0"}, {L"OS-100", L"8"}})
            ASSERT_EQ(S_OK,
                      rig_->phones->SetModelValue(Bstr(model).get(), Bstr(L"Ostrelle_Sync").get(), Bstr(mask).get()));
        for (auto [alias, imei, model] :
             {std::tuple{L"P0", L"350000000000072", L"OS-300"}, {L"PM", L"350000000000073", L"OS-100"}}) {
            rig_->phones.AddPhone(alias, imei, model);
            rig_->phones.Connect(alias);
        }
        ASSERT_EQ(S_OK, rig_->phones->QueryInterface(IID_ISimDataLayer, dataLayer_.put_void()));
    }
    static void TearDownTestSuite() { dataLayer_.reset(), rig_.reset(); }
    void SetUp() override
    {
        ASSERT_EQ(S_OK, rig_->phones->ClearFaults());
        ASSERT_EQ(S_OK, dataLayer_->SetSyncPace(50, 2, VARIANT_FALSE));
        window_.reset(CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr));
        SetWindowLongPtrW(window_.get(), GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(CountingWindow));
        g_ends = 0;
    }
    static com_ptr<IPIUpdate> NewUpdate() { return CreateLocal<IPIUpdate>(CLSID_PIUpdate, IID_IPIUpdate); }
    static std::wstring Mirror(const std::wstring& below) { return rig_->root + L"\\" + below; }
    HRESULT Update(IPIUpdate* update, const std::wstring& path)
    {
        return update->UpdateFolder(Bstr(path).get(), static_cast<LONG>(reinterpret_cast<LONG_PTR>(window_.get())));
    }
    // Waits for this many more end messages at the test window; false on time-out.
    static bool Ends(int count, DWORD timeoutMs = 20000)
    {
        const bool arrived = PumpUntil([&] { return g_ends >= count; }, timeoutMs);
        g_ends -= arrived ? count : 0;
        return arrived;
    }
    static bool AnyEnd() { return Ends(1, 300); }
    // The error box answered with OK: its text once taken, none when no box is expected.
    static std::future<std::optional<std::wstring>> ErrorBox(bool expected)
    {
        return AnswerDialog(L"Ostrelle", IDOK, 65535, expected ? 60000 : 0);
    }

    static inline com_ptr<ISimDataLayer> dataLayer_;
    unique_hwnd window_;
};
} // namespace

TEST_F(PIUpdateTest, UpdatesWhatThePathAndThePhonesModelAllowAndPhoneFoldersAreThoseBelowAMirror)
{
    const struct {
        std::wstring path;
        const wchar_t* fault; // fails once in the suite with 0x80044342
        HRESULT hr;
        std::wstring synchronised;
    } cases[] = {
        // The phone form reads no PC folder: P0's mask would allow nothing.
        {L"ALIAS:P0\\Contacts", nullptr, S_OK, L"ALIAS:P0|Contacts"},
        {Mirror(L"P1\\Contacts"), nullptr, S_OK, L"ALIAS:P1|Contacts"},
        {Mirror(L"P1\\Contacts\\Folder.xml"), nullptr, S_OK, L"ALIAS:P1|Contacts"},
        {Mirror(L"P1\\Multimedia Messages"), nullptr, S_OK, L"ALIAS:P1|Text Messages;ALIAS:P1|Multimedia Messages"},
        {Mirror(L"PM\\Text Messages"), nullptr, S_OK, L"ALIAS:PM|Multimedia Messages"},
        {Mirror(L"P0\\Contacts"), nullptr, S_OK, kNone},
        {Mirror(L"P1"), nullptr, S_OK, kNone},
        {Mirror(L"P1\\Contacts"), L"GetImei", S_OK, kNone},
        {L"ALIAS:P9\\Contacts", nullptr, static_cast<HRESULT>(0x80044343), kNone},
        {L"ALIAS:P1\\Contacts", L"Synchronize", static_cast<HRESULT>(0x80044342), kNone},
        {L"ALIAS:P1\\" + std::wstring(300, L'x'), nullptr, static_cast<HRESULT>(0x800700CE), kNone},
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(!c.fault || rig_->phones->SetFault(Bstr(c.fault).get(), 0x80044342, 1) == S_OK);
        com_ptr<IPIUpdate> update = NewUpdate();
        EXPECT_EQ(c.hr, Update(update.get(), c.path)) << Narrow(c.path);
        const int runs = c.synchronised == kNone ? 0 : 1 + (c.synchronised.find(L';') != std::wstring::npos);
        EXPECT_TRUE(Ends(runs)) << Narrow(c.path);
        EXPECT_EQ(c.synchronised, rig_->phones.LastCall(L"Synchronize")) << Narrow(c.path);
        update.reset(); // ends nothing more, but tells the window once more
        EXPECT_EQ(true, Ends(1, 5000)) << Narrow(c.path);
        EXPECT_FALSE(AnyEnd()) << Narrow(c.path);
    }
    com_ptr<IPIUpdate> update = NewUpdate();
    for (const auto& [path, expected] :
         {std::pair{rig_->root, VARIANT_FALSE}, {Mirror(L"P1"), VARIANT_TRUE}, {std::wstring(), VARIANT_FALSE}}) {
        VARIANT_BOOL isPhoneFolder = 7;
        EXPECT_EQ(S_OK, update->IsPhoneFolder(Bstr(path).get(), &isPhoneFolder));
        EXPECT_EQ(expected, isPhoneFolder) << Narrow(path);
    }
}

TEST_F(PIUpdateTest, FailuresShowTheErrorBoxAndEndTheUpdateOtherStatusesAreIgnored)
{
    const struct {
        std::wstring path;
        SYNCSTATUS status; // sent by the test itself unless the suite ends FINISHED with the code
        HRESULT hr;
        std::wstring text; // of the error box, empty: none
    } cases[] = {
        {L"", static_cast<SYNCSTATUS>(3), S_OK, L""},
        {L"", static_cast<SYNCSTATUS>(3), static_cast<HRESULT>(0x80044343), L"The file could not be transferred."},
        {L"ALIAS:P1\\Contacts", FINISHED, static_cast<HRESULT>(0x80046012),
         L"The operation is not supported by this phone."},
        // Messages show their 0x6012 as 0x800400FB.
        {L"ALIAS:P1\\Text Messages", FINISHED, static_cast<HRESULT>(0x80046012),
         L"There is not enough space on the PC disk."},
    };
    for (const auto& c : cases) {
        com_ptr<IPIUpdate> update = NewUpdate();
        com_ptr<IDataStoreNotify> notify;
        ASSERT_EQ(S_OK, update.query(notify, IID_IDataStoreNotify));
        // The box disables the client's window, which must go on taking messages meanwhile.
        auto box = ErrorBox(!c.text.empty());
        if (c.path.empty()) {
            EXPECT_EQ(S_OK, Update(update.get(), Mirror(L"P1"))); // only the window is taken
            EXPECT_EQ(S_OK, notify->NotifySyncStatus(1, c.status, c.hr, 0, 0, 0));
            EXPECT_EQ(!c.text.empty(), AnyEnd());
        } else {
            EXPECT_EQ(S_OK, rig_->phones->SetFault(Bstr(L"SyncStatus").get(), c.hr, 1));
            EXPECT_EQ(S_OK, Update(update.get(), c.path));
            EXPECT_TRUE(Ends(2)); // the end of the synchronisation, and of the update after the box
        }
        EXPECT_EQ(c.text, box.get().value_or(L""));
        update.reset(), notify.reset();
        EXPECT_TRUE(Ends(1, 5000)); // destruction tells the window too
    }
}

TEST_F(PIUpdateTest, CancelOnTheDialogEndsWithoutErrorAndDropsTheMultimediaUpdate)
{
    const struct {
        HRESULT cancelFault; // of CancelSync; the synchronisation then runs to its end
        std::wstring text;   // of the error box, empty: none
    } cases[] = {{S_OK, L""},
                 {static_cast<HRESULT>(0x80046012), L""},
                 {static_cast<HRESULT>(0x80044342), L"The file could not be transferred."}};
    ASSERT_EQ(S_OK, dataLayer_->SetSyncPace(150, 20, VARIANT_FALSE));
    for (const auto& c : cases) {
        EXPECT_TRUE(c.cancelFault == S_OK ||
                    rig_->phones->SetFault(Bstr(L"CancelSync").get(), c.cancelFault, 1) == S_OK);
        auto dialog = AnswerDialog(L"Updating...", IDCANCEL, 103, 60000), box = ErrorBox(!c.text.empty());
        com_ptr<IPIUpdate> update = NewUpdate();
        EXPECT_EQ(S_OK, Update(update.get(), Mirror(L"P1\\Text Messages")));
        EXPECT_TRUE(Ends(1));
        EXPECT_EQ(L"Phone and PC messages are now being updated.", dialog.get().value_or(L"<no dialog>"));
        EXPECT_EQ(c.text, box.get().value_or(L""));
        EXPECT_FALSE(WaitForDialog(L"Ostrelle", 500));
        EXPECT_EQ(L"ALIAS:P1|Text Messages", rig_->phones.LastCall(L"Synchronize"));
        EXPECT_NE(kNone, rig_->phones.LastCall(L"CancelSync"));
        update.reset();
        EXPECT_TRUE(Ends(1, 5000));
    }
}

// A client that starts an update and lets go of its object leaves the update to
// run to its end: dialog, data and end message. The store may hold the callback
// after the end and call it once more: that reaches no object any more.
TEST_F(PIUpdateTest, AnUpdateRunsToItsEndAfterTheClientLetsGoAndLateCallbacksGoNowhere)
{
    for (bool releasedDuring : {true, false}) {
        SCOPED_TRACE(releasedDuring ? "released during the update" : "released after it");
        ASSERT_EQ(S_OK, dataLayer_->SetSyncPace(releasedDuring ? 300 : 50, releasedDuring ? 5 : 2, VARIANT_TRUE));
        com_ptr<IPIUpdate> update = NewUpdate();
        ASSERT_EQ(S_OK, Update(update.get(), L"ALIAS:P1\\Contacts"));
        HWND dialog = WaitForDialog(L"Updating...");
        ASSERT_TRUE(dialog);
        if (releasedDuring)
            update.reset();
        // The update's own end; after a release during it, the object's end follows.
        EXPECT_TRUE(Ends(releasedDuring ? 2 : 1));
        EXPECT_TRUE(PumpUntil([&] { return !IsWindow(dialog) || !IsWindowVisible(dialog); }));
        // The store records its update once the callback has taken the end.
        std::wstring updated = kNone;
        EXPECT_TRUE(PumpUntil([&] { return (updated = rig_->phones.LastCall(L"Updated")) != kNone; }));
        EXPECT_EQ(L"ALIAS:P1|Contacts", updated);
        EXPECT_EQ(kNone, rig_->phones.LastCall(L"CancelSync"));
        // The store's last word, FINISHED with E_FAIL after the end: answered, and nothing shown.
        std::wstring late = kNone;
        EXPECT_TRUE(PumpUntil([&] { return (late = rig_->phones.LastCall(L"LateNotify")) != kNone; }));
        EXPECT_EQ(L"0x00000000", late);
        EXPECT_FALSE(WaitForDialog(L"Ostrelle", 300));
        update.reset();
        EXPECT_TRUE(Ends(releasedDuring ? 0 : 1, 5000));
        EXPECT_FALSE(AnyEnd());
    }
}

// A store that falls silent, its client gone, leaves no dialog open for ever: one
// that lets the callback go ends the update with the error box; one that keeps it
// ends it when the user's Cancel, seen without the store's help, stays unanswered.
TEST_F(PIUpdateTest, AnUpdateWhoseStoreFallsSilentEndsWithoutItsClient)
{
    const struct {
        const wchar_t* fault;
        bool cancel;   // the user presses Cancel on the dialog
        bool errorBox; // the update ends with the error box
    } cases[] = {{L"SyncDropped", false, true}, {L"SyncSilent", true, false}};
    ASSERT_EQ(S_OK, dataLayer_->SetSyncPace(50, 2, VARIANT_FALSE));
    for (const auto& c : cases) {
        SCOPED_TRACE(Narrow(c.fault));
        ASSERT_EQ(S_OK, rig_->phones->SetFault(Bstr(c.fault).get(), 1, 1));
        com_ptr<IPIUpdate> update = NewUpdate();
        ASSERT_EQ(S_OK, Update(update.get(), L"ALIAS:P1\\Contacts"));
        HWND dialog = WaitForDialog(L"Updating...");
        ASSERT_TRUE(dialog);
        update.reset();
        if (c.cancel)
            ClickButton(dialog, IDCANCEL);
        auto box = ErrorBox(c.errorBox);
        EXPECT_TRUE(Ends(2, 60000));
        EXPECT_EQ(c.errorBox ? L"An error occurred while communicating with the phone." : L"", box.get().value_or(L""));
        EXPECT_TRUE(PumpUntil([&] { return !IsWindow(dialog) || !IsWindowVisible(dialog); }));
        EXPECT_EQ(c.cancel, rig_->phones.LastCall(L"CancelSync") != kNone);
        EXPECT_EQ(kNone, rig_->phones.LastCall(L"Updated"));
        ASSERT_EQ(S_OK, rig_->phones->ClearFaults()); // the silent store lets its callback go
        EXPECT_FALSE(AnyEnd());
    }
}
