// Transfers end to end: single files, and phone items copied, moved and opened on
// the PC; the server out of process, the simulated phones slowed where a test acts
// during a transfer, the shell's questions and the progress dialog answered on the
// screen. After every copy or move each byte that existed before is on the phone or
// at the target.
#include "ServerRig.h"
#include "Windows.h"
#include "common/ByteArray.h"
#include "common/Resource.h"
#include "shortcut/ShortcutFiles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <thread>
#include <tuple>

using namespace testing_support;
using Names = std::vector<std::wstring>;

namespace {
const wchar_t kFromPhone[] = L"Copying from phone...";
const std::wstring kPhoneRoot = L"ALIAS:Xfer\\C:\\";
constexpr WORD kQuiet = FOF_SILENT | FOF_NOCONFIRMATION | FOF_NOERRORUI;
const std::vector<unsigned char> kA(1000, 'a'), kB(1000, 'b'), kC(1000, 'c'), kSlow(20000, 's');
constexpr DATE kTime = 38411 + 49509.0 / 86400; // 2005-02-28 13:45:09
const std::wstring g_memory = L"C:\\QuelvarTransferTests\\Xfer\\Phone memory (C)";

// Files and folders by path, with bytes and last-write time; folders end in "\".
using Tree = std::map<std::wstring, std::tuple<std::vector<unsigned char>, DWORD, DWORD>>;
void Walk(const std::wstring& path, const std::wstring& relative, Tree& tree)
{
    WIN32_FILE_ATTRIBUTE_DATA attributes;
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &attributes))
        return;
    if (!(attributes.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
        const FILETIME& t = attributes.ftLastWriteTime;
        tree[relative] = {ReadBytes(path), t.dwLowDateTime, t.dwHighDateTime};
        return;
    }
    tree[relative + L"\\"];
    for (const std::wstring& name : NamesIn(path))
        Walk(path + L"\\" + name.substr(0, name.find(L'\\')), relative + L"\\" + name.substr(0, name.find(L'\\')),
             tree);
}
// The named items of a folder, by "\\name".
Tree At(const std::wstring& folder, const Names& names)
{
    Tree tree;
    for (const std::wstring& name : names)
        Walk(folder + L"\\" + name, L"\\" + name, tree);
    return tree;
}

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

class Transfers : public testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        rig_ = std::make_unique<ServerRig>(L"C:\\QuelvarTransferTests", L"Xfer", L"350000000000051");
        rig_->phones.MakeFolder(L"ALIAS:Xfer\\C:\\Up");
        for (auto [name, bytes] : {std::pair{L"a.bin", &kA}, {L"b.bin", &kB}, {L"c.bin", &kC}, {L"slow.bin", &kSlow}})
            rig_->phones.PutBytes(kPhoneRoot + name, *bytes);
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
    static std::wstring Link(const std::wstring& name) { return g_memory + L"\\" + name + L".vfslnk"; }
    static std::wstring Store() { return rig_->phones.Store() + L"\\Xfer\\mem-C"; }
    // Phone files of the given sizes, shown in the mirror.
    static void Put(const std::map<std::wstring, size_t>& files)
    {
        for (const auto& [name, size] : files) {
            std::vector<unsigned char> bytes(size);
            for (size_t i = 0; i < size; ++i)
                bytes[i] = static_cast<unsigned char>(i * 7 + name.size());
            rig_->phones.PutBytes(kPhoneRoot + name, bytes, 38411.5 + name.size());
        }
        ASSERT_EQ(S_OK, rig_->quelvar->RefreshFolder(Bstr(g_memory).get(), VARIANT_TRUE));
    }
    static HRESULT Send(UINT code, WORD flags, const Names& sources, const std::wstring& target)
    {
        return SendFileOperation(rig_->quelvar.get(), code, flags, sources, {target});
    }
    // A move runs on a worker: slowed so that its dialog shows, done when the dialog has gone.
    // `act` runs once the dialog shows; a cancel or an end of the suite must come while
    // the transfer still runs, which `chunkDelayMs` stretches (it ends sooner than that).
    static void Move(const Names& sources, const std::wstring& target, WORD flags,
                     const std::function<void(HWND)>& act = nullptr, long chunkDelayMs = 100)
    {
        rig_->phones->SetChunkSize(1000), rig_->phones->SetTransferDelay(chunkDelayMs);
        ASSERT_EQ(S_OK, Send(FO_MOVE, flags, sources, target));
        HWND dialog = WaitForDialog(kFromPhone);
        ASSERT_TRUE(dialog);
        act ? act(dialog) : void();
        ASSERT_TRUE(PumpUntil([&] { return !IsWindow(dialog); }, 60000));
    }
    // Each file stays on the phone with its shortcut, or is at the target with its bytes and time.
    static void ExpectKept(const Tree& before, const std::wstring& target, const Names& onPhone)
    {
        for (const auto& [path, file] : before) {
            const std::wstring name = path.substr(1);
            const bool kept = std::count(onPhone.begin(), onPhone.end(), name) != 0;
            EXPECT_EQ(std::pair(kept, kept), std::pair(FileExists(Store() + path), FileExists(Link(name))))
                << Narrow(name);
            EXPECT_TRUE((kept || At(target, {name}) == Tree{{path, file}})) << Narrow(name);
        }
    }
    static inline std::unique_ptr<ServerRig> rig_;
    TempDir pc_;
};
} // namespace

TEST_F(Transfers, ASeriesShowsOneDialogUntilItsLastIndexOrACancelAndIndexZeroStartsAnew)
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

    ASSERT_EQ(S_OK, Download(rig_->quelvar.get(), L"a.bin", 0));
    ASSERT_TRUE(dialog = WaitForDialog(kFromPhone));
    ClickButton(dialog, IDCANCEL);
    // The server's timer sees the Cancel between the calls and closes the dialog.
    ASSERT_TRUE(PumpUntil([&] { return !IsWindow(dialog); }));
    EXPECT_EQ(E_ABORT, Download(rig_->quelvar.get(), L"b.bin", 1));

    ASSERT_EQ(S_OK, Download(rig_->quelvar.get(), L"a.bin", 0));
    EXPECT_TRUE(WaitForDialog(kFromPhone));
    EXPECT_EQ(S_OK, rig_->quelvar->HideProgressDialog());
    EXPECT_EQ(nullptr, WaitForDialog(kFromPhone, 0));
}

TEST_F(Transfers, ASlowedDownloadStopsAtACancelOnItsDialogButNotWhenAnotherClientEndsTheDialog)
{
    SlowDownload download(rig_->quelvar.get(), Suite());
    HWND dialog = WaitForDialog(kFromPhone);
    ASSERT_TRUE(dialog);
    ClickButton(dialog, IDCANCEL);
    EXPECT_EQ(E_ABORT, download.Wait());
    EXPECT_FALSE(IsWindow(dialog));

    // The listener ended by another client during a transfer still takes the callbacks.
    SlowDownload shown(rig_->quelvar.get(), Suite());
    ASSERT_TRUE(dialog = WaitForDialog(kFromPhone));
    EXPECT_EQ(S_OK, rig_->quelvar->HideProgressDialog());
    EXPECT_FALSE(IsWindow(dialog));
    EXPECT_FALSE(shown.done) << "the dialog ended while the phone still sent";
    EXPECT_EQ(S_OK, shown.Wait());
    EXPECT_EQ(kSlow, shown.bytes);
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

TEST_F(Transfers, CopiesAndMovesFilesAndTreesWithTheirBytesAndTimes)
{
    for (const wchar_t* folder : {L"Tree", L"Tree\\Hollow", L"Tree\\Sub", L"Tree\\Sub\\Deeper"})
        rig_->phones.MakeFolder(kPhoneRoot + folder);
    Put({{L"one.txt", 5000}, {L"two.txt", 1}, {L"Tree\\a.bin", 70000}});
    Put({{L"Tree\\empty.txt", 0}, {L"Tree\\Sub\\b.bin", 3000}, {L"Tree\\Sub\\Deeper\\c.txt", 10}});
    const Names names = {L"Tree", L"one.txt", L"two.txt"};
    const Tree before = At(Store(), names);
    const Names sources = {g_memory + L"\\Tree", Link(L"one.txt"), Link(L"two.txt")};
    const std::wstring copy = pc_ / L"copy", moved = pc_ / L"moved";
    MakeFolders(pc_.path(), {L"\\copy", L"\\moved"});
    ASSERT_EQ(S_OK, Send(12, kQuiet, sources, copy));
    EXPECT_EQ(before, At(copy, names));
    EXPECT_EQ(before, At(Store(), names));
    // Up to date at the target: not read from the phone again.
    ASSERT_EQ(S_OK, rig_->phones->SetFault(Bstr(L"fopen").get(), 0x4342, 1));
    EXPECT_EQ(S_OK, Send(12, kQuiet, {Link(L"one.txt")}, copy));
    ASSERT_EQ(S_OK, rig_->phones->ClearFaults());
    // Two plain files and a folder in one move.
    Move(sources, moved, kQuiet);
    EXPECT_EQ(before, At(moved, names));
    EXPECT_EQ(Tree{}, At(Store(), names));
    EXPECT_FALSE(DirectoryExists(g_memory + L"\\Tree") || FileExists(Link(L"one.txt")) || FileExists(Link(L"two.txt")));
}

TEST_F(Transfers, OpenStartsTheAssociatedProgramOfTheCopy)
{
    Put({{L"note.qvopen", 300}});
    const std::wstring marker = pc_ / L"marker.bin", open = pc_ / L"open";
    RegistryOverride extension(HKEY_CLASSES_ROOT, L".qvopen", L"", std::wstring(L"QuelvarTest.Open"));
    RegistryOverride command(HKEY_CLASSES_ROOT, L"QuelvarTest.Open\\shell\\open\\command", L"",
                             L"cmd.exe /c copy /b \"%1\" \"" + marker + L"\"");
    CreateDirectoryW(open.c_str(), nullptr);
    ASSERT_EQ(S_OK, Send(0, kQuiet, {Link(L"note.qvopen")}, open));
    const std::vector<unsigned char> bytes = ReadBytes(Store() + L"\\note.qvopen");
    EXPECT_TRUE(PumpUntil([&] { return ReadBytes(marker) == bytes; }, 30000));
}

TEST_F(Transfers, MovesDeleteNothingThatDidNotArriveAndLeaveNoScratchFolder)
{
    WriteText(pc_ / L"blocked.txt", "a file");
    const struct {
        std::wstring target;
        WORD flags; // 0: the shell asks about 1.bin, which the target holds already
        std::function<void(HWND)> act;
        Names onPhone;
        long chunkDelayMs;
    } cases[] = {
        {pc_ / L"cancel", kQuiet, [](HWND dialog) { ClickButton(dialog, IDCANCEL); }, {L"1.bin", L"2.bin"}, 2000},
        {pc_ / L"declined",
         0,
         [](HWND) { ClickButton(WaitForDialog(L"Confirm file overwrite", 30000), IDNO); },
         {L"1.bin"},
         100},
        {pc_ / L"blocked.txt\\in", kQuiet, nullptr, {L"1.bin", L"2.bin"}, 100},
    };
    WIN32_FIND_DATAW found;
    for (const auto& c : cases) {
        Put({{L"1.bin", 10000}, {L"2.bin", 10000}});
        const Tree before = At(Store(), {L"1.bin", L"2.bin"});
        CreateDirectoryW(c.target.c_str(), nullptr);
        if (!c.flags)
            WriteText(c.target + L"\\1.bin", "old");
        Move({Link(L"1.bin"), Link(L"2.bin")}, c.target, c.flags, c.act, c.chunkDelayMs);
        ExpectKept(before, c.target, c.onPhone);
        EXPECT_TRUE((c.flags || ReadBytes(c.target + L"\\1.bin") == std::vector<unsigned char>{'o', 'l', 'd'}));
        EXPECT_FALSE(unique_find(FindFirstFileW((TempDir() / L"..\\WrapperTemp*").c_str(), &found)));
    }
    // The suite ended mid-transfer: its store keeps every phone file, and nothing half-read reaches the target.
    Put({{L"1.bin", 10000}, {L"2.bin", 10000}});
    const Tree before = At(Store(), {L"1.bin", L"2.bin"});
    Move(
        {Link(L"1.bin"), Link(L"2.bin")}, pc_ / L"killed", kQuiet, [](HWND) { SimulatedPhones::Kill(); }, 2000);
    ClickButton(WaitForDialog(L"Ostrelle", 30000), IDOK); // the worker's error box
    rig_->phones.Reconnect();
    EXPECT_EQ(before, At(Store(), {L"1.bin", L"2.bin"})); // the mirror is rebuilt from the phone on reconnecting
    EXPECT_EQ(Names{}, NamesIn(pc_ / L"killed"));
    // Shown again for the cases that follow.
    EXPECT_EQ(S_OK, rig_->quelvar->RefreshFolder(Bstr(L"C:\\QuelvarTransferTests\\Xfer").get(), VARIANT_FALSE));
    EXPECT_EQ(S_OK, rig_->quelvar->RefreshFolder(Bstr(g_memory).get(), VARIANT_TRUE));
}
