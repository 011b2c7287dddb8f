// Single-file transfers end to end: the server out of process, the simulated
// phones slowed where a test acts during a transfer, the progress dialog found
// and clicked on the screen.
#include "ServerRig.h"
#include "Windows.h"
#include "common/ByteArray.h"
#include "shortcut/ShortcutFiles.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <thread>
#include <tuple>

using namespace testing_support;

namespace {
const wchar_t kFromPhone[] = L"Copying from phone...";
const std::vector<unsigned char> kA(1000, 'a'), kB(1000, 'b'), kC(1000, 'c'), kSlow(20000, 's');
constexpr DATE kTime = 38411 + 49509.0 / 86400; // 2005-02-28 13:45:09
const std::wstring g_memory = L"C:\\QuelvarTransferTests\\Xfer\\Phone memory (C)";

// One file of a three-file series of 3000 bytes.
HRESULT Download(IQuelvar* quelvar, const wchar_t* name, LONG index, std::vector<unsigned char>* bytes = nullptr,
                 LONG count = 3, LONG totalSize = 3000)
{
    unique_variant data;
    const std::wstring file = g_memory + L"\\" + name + L".vfslnk";
    HRESULT hr = quelvar->DownloadVFSFile(Bstr(file).get(), index, count, totalSize, 0, data.put());
    if (bytes)
        *bytes = BytesOf(*data.get());
    return hr;
}

// The download of "slow.bin" by a client thread of its own, slowed to 20 chunks
// 300 ms apart, so that the test can work the dialog meanwhile.
struct SlowDownload {
    SlowDownload(IQuelvar* quelvar, ISimPhoneSuite* suite)
    {
        EXPECT_EQ(S_OK, suite->SetChunkSize(1000));
        EXPECT_EQ(S_OK, suite->SetTransferDelay(300));
        IStream* stream = nullptr;
        CoMarshalInterThreadInterfaceInStream(IID_IQuelvar, quelvar, &stream);
        thread = std::thread([this, stream] {
            CoInitializeEx(nullptr, COINIT_MULTITHREADED);
            com_ptr<IQuelvar> own;
            CoGetInterfaceAndReleaseStream(stream, IID_IQuelvar, own.put_void());
            result = Download(own.get(), L"slow.bin", 0, &bytes, 1, 0);
            own.reset();
            CoUninitialize();
            done = true;
        });
    }
    HRESULT Wait() { return thread.join(), result; }
    std::thread thread;
    std::atomic<bool> done{false};
    HRESULT result = E_UNEXPECTED;
    std::vector<unsigned char> bytes;
};

// One server, phone and mirror for every case.
class Transfers : public testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        rig_ = std::make_unique<ServerRig>(L"C:\\QuelvarTransferTests", L"Xfer", L"350000000000051");
        rig_->phones.MakeFolder(L"ALIAS:Xfer\\C:\\Up");
        for (auto [name, bytes] : {std::pair{L"a.bin", &kA}, {L"b.bin", &kB}, {L"c.bin", &kC}, {L"slow.bin", &kSlow}})
            rig_->phones.PutBytes(L"ALIAS:Xfer\\C:\\" + std::wstring(name), *bytes);
        ASSERT_EQ(S_OK, rig_->quelvar->RefreshFolder(Bstr(g_memory).get(), VARIANT_TRUE));
    }
    static void TearDownTestSuite() { rig_.reset(); }
    void TearDown() override
    {
        Suite()->SetTransferDelay(0);
        Suite()->SetChunkSize(64 * 1024);
        Suite()->ClearFaults();
        rig_->quelvar->HideProgressDialog();
    }

    static ISimPhoneSuite* Suite() { return rig_->phones.operator->(); }

    static inline std::unique_ptr<ServerRig> rig_;
};
} // namespace

TEST_F(Transfers, SeriesShowsOneDialogOverAllFilesUntilTheLastIndex)
{
    std::vector<unsigned char> bytes;
    ASSERT_EQ(S_OK, Download(rig_->quelvar.get(), L"a.bin", 0, &bytes));
    EXPECT_EQ(kA, bytes);
    HWND dialog = WaitForDialog(kFromPhone);
    ASSERT_TRUE(dialog);
    ASSERT_EQ(S_OK, Download(rig_->quelvar.get(), L"b.bin", 1, &bytes));
    EXPECT_EQ(kB, bytes);
    EXPECT_EQ(dialog, WaitForDialog(kFromPhone));
    EXPECT_EQ(L"b.bin", ControlText(dialog, 104));
    EXPECT_TRUE(PumpUntil([&] { return ProgressBar(dialog) == std::pair<LRESULT, LRESULT>(2000, 3000); }));

    // Counts, sizes and indexes out of range leave the series alone.
    for (auto [index, count, size] : {std::tuple{3, 3, 3000}, {-1, 3, 3000}, {0, 0, 0}, {0, -1, 0}, {0, 3, -1}})
        EXPECT_EQ(E_INVALIDARG, Download(rig_->quelvar.get(), L"c.bin", index, nullptr, count, size)) << index << count;
    EXPECT_TRUE(IsWindowVisible(dialog));

    ASSERT_EQ(S_OK, Download(rig_->quelvar.get(), L"c.bin", 2, &bytes));
    EXPECT_EQ(kC, bytes);
    EXPECT_FALSE(IsWindow(dialog));
}

TEST_F(Transfers, CancelBetweenFilesAbortsTheSeriesAndIndexZeroStartsAnew)
{
    ASSERT_EQ(S_OK, Download(rig_->quelvar.get(), L"a.bin", 0));
    HWND dialog = WaitForDialog(kFromPhone);
    ASSERT_TRUE(dialog);
    ClickButton(dialog, IDCANCEL);
    // The server's timer sees the Cancel between the calls and closes the dialog.
    ASSERT_TRUE(PumpUntil([&] { return !IsWindow(dialog); }));
    EXPECT_EQ(E_ABORT, Download(rig_->quelvar.get(), L"b.bin", 1));

    ASSERT_EQ(S_OK, Download(rig_->quelvar.get(), L"a.bin", 0));
    EXPECT_TRUE(WaitForDialog(kFromPhone));
    EXPECT_EQ(S_OK, rig_->quelvar->HideProgressDialog());
    EXPECT_EQ(nullptr, WaitForDialog(kFromPhone, 0));
}

TEST_F(Transfers, CancelOnTheDialogStopsASlowedDownloadAtItsNextStatus)
{
    SlowDownload download(rig_->quelvar.get(), Suite());
    HWND dialog = WaitForDialog(kFromPhone);
    ASSERT_TRUE(dialog);
    ClickButton(dialog, IDCANCEL);
    EXPECT_EQ(E_ABORT, download.Wait());
    EXPECT_FALSE(IsWindow(dialog));
}

TEST_F(Transfers, ListenerEndedByAnotherClientDuringATransferStillTakesTheCallbacks)
{
    SlowDownload download(rig_->quelvar.get(), Suite());
    HWND dialog = WaitForDialog(kFromPhone);
    ASSERT_TRUE(dialog);
    EXPECT_EQ(S_OK, rig_->quelvar->HideProgressDialog());
    EXPECT_FALSE(IsWindow(dialog));
    EXPECT_FALSE(download.done) << "the dialog ended while the phone still sent";
    EXPECT_EQ(S_OK, download.Wait());
    EXPECT_EQ(kSlow, download.bytes);
    unique_bstr imei;
    EXPECT_EQ(S_OK, rig_->quelvar->GetImei(Bstr(L"Xfer").get(), imei.put()));
}

TEST_F(Transfers, UploadWritesFileTimeAndShortcutAndRefreshesTheFolder)
{
    rig_->phones.PutBytes(L"ALIAS:Xfer\\C:\\Up\\other.txt", {'o'}); // on the phone only
    const std::wstring up = g_memory + L"\\Up";
    auto upload = [&](const VARIANT& data) {
        return rig_->quelvar->UploadVFSFile(data, Bstr(up + L"\\new.bin").get(), 3, kTime, 0);
    };
    unique_variant data, number;
    ASSERT_EQ(S_OK, MakeByteArray({'n', 'e', 'w'}, data.put()));
    // Anything but a byte array is refused before a dialog appears.
    number.get()->vt = VT_I4;
    EXPECT_EQ(E_INVALIDARG, upload(*number.get()));
    data.get()->vt = VT_ARRAY | VT_I1;
    EXPECT_EQ(E_INVALIDARG, upload(*data.get()));
    data.get()->vt = VT_ARRAY | VT_UI1;

    ASSERT_EQ(S_OK, upload(*data.get()));
    unique_variant stored;
    ASSERT_EQ(S_OK, Suite()->GetFile(Bstr(L"ALIAS:Xfer\\C:\\Up\\new.bin").get(), stored.put()));
    EXPECT_EQ(std::vector<unsigned char>({'n', 'e', 'w'}), BytesOf(*stored.get()));
    const phone::VFSItem item = shortcut::GetShortcutDetails(up + L"\\new.bin.vfslnk");
    EXPECT_EQ(L"new.bin", std::wstring(item.phoneName));
    EXPECT_EQ(3, item.size);
    EXPECT_DOUBLE_EQ(kTime, item.modified); // the phone's time, read back by the refresh
    EXPECT_TRUE(FileExists(up + L"\\other.txt.vfslnk"));
}
