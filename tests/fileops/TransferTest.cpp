// Transfers end to end: single files, phone items copied, moved and opened on the PC,
// and PC items copied and moved into mirror folders; the server out of process, the
// simulated phones slowed where a test acts during a transfer, the shell's and the
// server's questions and the progress dialog answered on the screen. After every copy
// or move each byte that existed before is on the phone or at the target.
#include "ServerRig.h"
#include "Windows.h"
#include "common/ByteArray.h"
#include "common/Paths.h"
#include "common/Resource.h"
#include "fileops/CopyToPhone.h"
#include "shortcut/ShortcutFiles.h"

#include <gtest/gtest.h>
#include <shlobj.h>

#include <algorithm>
#include <functional>
#include <map>
#include <memory>
#include <thread>
#include <tuple>

using namespace testing_support;
using Names = std::vector<std::wstring>;
using Bytes = std::vector<unsigned char>;

namespace {
const wchar_t kFromPhone[] = L"Copying from phone...";
const std::wstring kPhoneRoot = L"ALIAS:Xfer\\C:\\";
constexpr WORD kQuiet = FOF_SILENT | FOF_NOCONFIRMATION | FOF_NOERRORUI;
const Bytes kA(1000, 'a'), kB(1000, 'b'), kC(1000, 'c');
constexpr DATE kTime = 38411 + 49509.0 / 86400; // 2005-02-28 13:45:09
const wchar_t kMirrorRoot[] = L"C:\\QuelvarTransferTests";
const std::wstring g_memory = std::wstring(kMirrorRoot) + L"\\Xfer\\Phone memory (C)";
constexpr HRESULT kMemoryFull = static_cast<HRESULT>(0x80044360);
const Bytes kK(1000, 'k'), kBig(20000, 'b');
constexpr long kOwnFileSystem = 1; // the rig's main object holds one of its own

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

class Transfers : public SharedRig<>
{
protected:
    static void SetUpTestSuite()
    {
        rig_ = std::make_unique<ServerRig>(kMirrorRoot, L"Xfer", L"350000000000051");
        rig_->phones.MakeFolder(kPhoneRoot + L"Up");
        for (auto [name, bytes] : {std::pair{L"a.bin", &kA}, {L"b.bin", &kB}, {L"c.bin", &kC}})
            rig_->phones.PutBytes(kPhoneRoot + name, *bytes);
        // Wide, 1000 bytes free, and 2500 (room for two of five 1000-byte files).
        for (auto [alias, imei, quota] : {std::tuple{L"Wide", L"350000000000061", 64000000.0},
                                          {L"Th", L"350000000000062", 1000.0},
                                          {L"Tf", L"350000000000063", 2500.0}}) {
            rig_->phones.AddPhone(alias, imei, L"OS-200", quota);
            rig_->phones.Connect(alias);
        }
        rig_->phones.PutBytes(L"ALIAS:Wide\\C:\\keep.txt", {'p', 'h', 'o', 'n', 'e'});
        ShowAll();
    }
    void TearDown() override
    {
        Suite()->SetTransferDelay(0);
        Suite()->SetChunkSize(64 * 1024);
        Suite()->ClearFaults();
        q()->HideProgressDialog();
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
        ASSERT_EQ(S_OK, q()->RefreshFolder(Bstr(g_memory).get(), VARIANT_TRUE));
    }
    // PC files below pc_, their folders made as needed.
    void MakeFiles(std::initializer_list<std::pair<const wchar_t*, Bytes>> files)
    {
        for (const auto& [name, bytes] : files) {
            SHCreateDirectoryExW(nullptr, paths::Parent(pc_ / name).c_str(), nullptr);
            WriteBytes(pc_ / name, bytes);
        }
    }
    static std::wstring Memory(const std::wstring& alias) { return rig_->root + L"\\" + alias + L"\\Phone memory (C)"; }
    // The phones' mirror folders shown, again after an end of the suite.
    static void ShowAll()
    {
        for (const wchar_t* alias : {L"Xfer", L"Wide", L"Th", L"Tf"}) {
            ASSERT_EQ(S_OK, q()->RefreshFolder(Bstr(rig_->root + L"\\" + alias).get(), VARIANT_FALSE));
            ASSERT_EQ(S_OK, q()->RefreshFolder(Bstr(Memory(alias)).get(), VARIANT_TRUE));
        }
    }
    static Bytes OnPhone(const std::wstring& alias, const std::wstring& path)
    {
        unique_variant data;
        const HRESULT hr = rig_->phones->GetFile(Bstr(L"ALIAS:" + alias + L"\\C:\\" + path).get(), data.put());
        return hr == S_OK ? BytesOf(*data.get()) : Bytes{0xEE}; // 0xEE: not there
    }
    // Code 12 runs on the calling thread; 1 (move) on a worker. Boxes are answered meanwhile, and the
    // text of each (a message box's) is kept in `texts` when given.
    static HRESULT Send(UINT code, WORD flags, const std::vector<std::wstring>& sources, const std::wstring& target,
                        std::vector<std::pair<const wchar_t*, int>> answers = {},
                        std::vector<std::wstring>* texts = nullptr)
    {
        std::thread answer([&] {
            for (auto [title, button] : answers) {
                HWND box = WaitForDialog(title, 60000);
                EXPECT_TRUE(box) << Narrow(title);
                if (texts)
                    texts->push_back(box ? ControlText(box, 65535) : L"");
                AnswerBox(box, button);
            }
        });
        long made = 0;
        rig_->phones.FileSystems(&made);
        const HRESULT hr = SendFileOperation(q(), code, flags, sources, {target});
        answer.join();
        // A worker has ended when it has let go of its component.
        EXPECT_TRUE(rig_->phones.WaitForFileSystems(made, kOwnFileSystem)) << rig_->phones.FileSystems();
        return hr;
    }

    // A move runs on a worker: slowed so that its dialog shows, done when the dialog has gone.
    // `act` runs once the dialog shows; a cancel or an end of the suite must come while
    // the transfer still runs, which `chunkDelayMs` stretches (it ends sooner than that).
    static void Move(const Names& sources, const std::wstring& target, WORD flags,
                     const std::function<void(HWND)>& act = nullptr, long chunkDelayMs = 100)
    {
        rig_->phones->SetChunkSize(1000), rig_->phones->SetTransferDelay(chunkDelayMs);
        ASSERT_EQ(S_OK, SendFileOperation(q(), FO_MOVE, flags, sources, {target}));
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
    TempDir pc_;
};
} // namespace

TEST_F(Transfers, ASeriesShowsOneDialogUntilItsLastIndexOrACancelAndIndexZeroStartsAnew)
{
    std::vector<unsigned char> bytes;
    ASSERT_EQ(S_OK, Download(q(), L"a.bin", 0, &bytes));
    EXPECT_EQ(kA, bytes);
    HWND dialog = WaitForDialog(kFromPhone);
    ASSERT_TRUE(dialog);
    ASSERT_EQ(S_OK, Download(q(), L"b.bin", 1, &bytes));
    EXPECT_EQ(kB, bytes);
    EXPECT_EQ(dialog, WaitForDialog(kFromPhone));
    EXPECT_EQ(L"b.bin", ControlText(dialog, 104));
    EXPECT_TRUE(PumpUntil([&] { return ProgressBar(dialog) == std::pair<LRESULT, LRESULT>(2000, 3000); }));

    // Counts, sizes and indexes out of range leave the series alone.
    for (auto [index, count, size] : {std::tuple{3, 3, 3000}, {-1, 3, 3000}, {0, 0, 0}, {0, -1, 0}, {0, 3, -1}})
        EXPECT_EQ(E_INVALIDARG, Download(q(), L"c.bin", index, nullptr, count, size)) << index << count;
    EXPECT_TRUE(IsWindowVisible(dialog));

    ASSERT_EQ(S_OK, Download(q(), L"c.bin", 2, &bytes));
    EXPECT_EQ(kC, bytes);
    EXPECT_FALSE(IsWindow(dialog));

    ASSERT_EQ(S_OK, Download(q(), L"a.bin", 0));
    ASSERT_TRUE(dialog = WaitForDialog(kFromPhone));
    ClickButton(dialog, IDCANCEL);
    // The server's timer sees the Cancel between the calls and closes the dialog.
    ASSERT_TRUE(PumpUntil([&] { return !IsWindow(dialog); }));
    EXPECT_EQ(E_ABORT, Download(q(), L"b.bin", 1));

    ASSERT_EQ(S_OK, Download(q(), L"a.bin", 0));
    EXPECT_TRUE(WaitForDialog(kFromPhone));
    EXPECT_EQ(S_OK, q()->HideProgressDialog());
    EXPECT_EQ(nullptr, WaitForDialog(kFromPhone, 0));
}

TEST_F(Transfers, UploadWritesFileTimeAndShortcutAndRefreshesTheFolder)
{
    rig_->phones.PutBytes(L"ALIAS:Xfer\\C:\\Up\\other.txt", {'o'}); // on the phone only
    const std::wstring up = g_memory + L"\\Up";
    unique_variant data;
    ASSERT_EQ(S_OK, MakeByteArray({'n', 'e', 'w'}, data.put()));
    ASSERT_EQ(S_OK, q()->UploadVFSFile(*data.get(), Bstr(up + L"\\new.bin").get(), 3, kTime, 0));
    EXPECT_EQ((Bytes{'n', 'e', 'w'}), OnPhone(L"Xfer", L"Up\\new.bin"));
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
    ASSERT_EQ(S_OK, SendFileOperation(q(), 12, kQuiet, sources, {copy}));
    EXPECT_EQ(before, At(copy, names));
    EXPECT_EQ(before, At(Store(), names));
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
    ASSERT_EQ(S_OK, SendFileOperation(q(), 0, kQuiet, {Link(L"note.qvopen")}, {open}));
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
    AnswerBox(WaitForDialog(L"Ostrelle", 30000), IDOK); // the worker's error box
    rig_->phones.Reconnect();
    EXPECT_EQ(before, At(Store(), {L"1.bin", L"2.bin"})); // the mirror is rebuilt from the phone on reconnecting
    EXPECT_EQ(Names{}, NamesIn(pc_ / L"killed"));
    ShowAll();
}

TEST_F(Transfers, CopiesAndMovesFilesAndFoldersByteForByteAndAsksBeforeReplacing)
{
    const std::wstring mem = Memory(L"Wide");
    MakeFiles(
        {{L"a.bin", kK}, {L"empty.txt", {}}, {L"tree\\sub\\c.bin", kBig}, {L"one.bin", kK}, {L"mv\\m.bin", kBig}});
    const phone::VFSItem source = fileops::GetPCFileDetails(pc_ / L"tree\\sub\\c.bin");
    ASSERT_EQ(S_OK, Send(12, kQuiet, {pc_ / L"a.bin", pc_ / L"empty.txt", pc_ / L"tree"}, mem));
    EXPECT_EQ(kK, OnPhone(L"Wide", L"a.bin"));
    EXPECT_EQ(Bytes{}, OnPhone(L"Wide", L"empty.txt"));
    EXPECT_EQ(kBig, OnPhone(L"Wide", L"tree\\sub\\c.bin"));
    ASSERT_EQ(S_OK, q()->RefreshFolder(Bstr(mem + L"\\tree\\sub").get(), VARIANT_TRUE));
    EXPECT_NEAR(source.modified, shortcut::GetShortcutDetails(mem + L"\\tree\\sub\\c.bin.vfslnk").modified,
                0.5 / 86400);                                // the phone keeps whole seconds
    EXPECT_EQ(kK, ReadBytes(pc_ / L"a.bin"));                // a copy keeps its sources
    EXPECT_EQ(S_OK, Send(12, kQuiet, {pc_ / L"tree"}, mem)); // into the folders the phone has already

    // Moves: one plain file per request, or a folder; each source goes after its upload.
    ASSERT_EQ(S_OK, Send(FO_MOVE, kQuiet, {pc_ / L"one.bin"}, mem));
    ASSERT_EQ(S_OK, Send(FO_MOVE, kQuiet, {pc_ / L"mv"}, mem));
    EXPECT_FALSE(FileExists(pc_ / L"one.bin"));
    EXPECT_FALSE(DirectoryExists(pc_ / L"mv"));
    EXPECT_EQ(kK, OnPhone(L"Wide", L"one.bin"));
    EXPECT_EQ(kBig, OnPhone(L"Wide", L"mv\\m.bin"));
    // A phone file is replaced only when the user says so.
    WriteBytes(pc_ / L"keep.txt", {'p', 'c'});
    EXPECT_EQ(S_OK, Send(12, 0, {pc_ / L"keep.txt"}, mem, {{L"Confirm file overwrite", IDNO}}));
    EXPECT_EQ((Bytes{'p', 'h', 'o', 'n', 'e'}), OnPhone(L"Wide", L"keep.txt"));
    EXPECT_EQ(5, shortcut::GetShortcutDetails(mem + L"\\keep.txt.vfslnk").size);
    EXPECT_FALSE(FileExists(mem + L"\\keep.txt"));
    EXPECT_EQ(S_OK, Send(12, 0, {pc_ / L"keep.txt"}, mem, {{L"Confirm file overwrite", IDYES}}));
    EXPECT_EQ((Bytes{'p', 'c'}), OnPhone(L"Wide", L"keep.txt"));
}

TEST_F(Transfers, FreeMemoryQuestionAndFullMemoryAtTheThirdOfFive)
{
    WriteBytes(pc_ / L"fit.bin", kK); // 1000 bytes, 1000 free: asked; No copies nothing
    EXPECT_EQ(S_OK, Send(12, kQuiet, {pc_ / L"fit.bin"}, Memory(L"Th"), {{L"Ostrelle", IDNO}}));
    EXPECT_EQ(Bytes{0xEE}, OnPhone(L"Th", L"fit.bin"));
    EXPECT_EQ(S_OK, Send(12, kQuiet, {pc_ / L"fit.bin"}, Memory(L"Th"), {{L"Ostrelle", IDYES}}));
    EXPECT_EQ(kK, OnPhone(L"Th", L"fit.bin"));

    // Full memory at the third of five files: two arrive, the third leaves the mirror, the rest stays there.
    const std::wstring mem = Memory(L"Tf");
    MakeFiles(
        {{L"five\\1.bin", kK}, {L"five\\2.bin", kK}, {L"five\\3.bin", kK}, {L"five\\4.bin", kK}, {L"five\\5.bin", kK}});
    std::vector<std::wstring> five;
    for (const wchar_t* name : {L"1.bin", L"2.bin", L"3.bin", L"4.bin", L"5.bin"})
        five.push_back(pc_ / L"five\\" + name);
    EXPECT_EQ(kMemoryFull, Send(12, kQuiet, five, mem, {{L"Ostrelle", IDYES}}));
    EXPECT_EQ(kK, OnPhone(L"Tf", L"2.bin"));
    EXPECT_EQ(Bytes{0xEE}, OnPhone(L"Tf", L"3.bin"));
    EXPECT_EQ((std::vector<std::wstring>{L"1.bin.vfslnk", L"2.bin.vfslnk", L"4.bin", L"5.bin", L"folder.vfsfolder"}),
              NamesIn(mem));

    // Room for two again: the move deletes the two sources that arrived, the rest stays with its folder.
    com_ptr<IVirtualFileSystem> phone = SimulatedPhones::NewFileSystem();
    for (const wchar_t* name : {L"1.bin", L"2.bin"})
        ASSERT_EQ(S_OK, phone->deletefile(Bstr(std::wstring(L"ALIAS:Tf\\C:\\") + name).get(), nullptr));
    phone.reset(); // only the server's instances count while the move runs
    EXPECT_EQ(S_OK, Send(FO_MOVE, kQuiet, {pc_ / L"five"}, mem, {{L"Ostrelle", IDYES}, {L"Ostrelle", IDOK}}));
    EXPECT_EQ(kK, OnPhone(L"Tf", L"five\\2.bin"));
    EXPECT_EQ((std::vector<std::wstring>{L"3.bin", L"4.bin", L"5.bin"}), NamesIn(pc_ / L"five"));
}

TEST_F(Transfers, CopiesWithinThePhoneAsksBeforeReplacingAndAMoveKeepsItsSource)
{
    const std::wstring mem = Memory(L"Wide"), from = mem + L"\\from", to = mem + L"\\to";
    rig_->phones.PutBytes(L"ALIAS:Wide\\C:\\from\\tree\\t.bin", kBig, 45000.5);
    rig_->phones.PutBytes(L"ALIAS:Wide\\C:\\from\\e.txt", {});
    rig_->phones.PutBytes(L"ALIAS:Wide\\C:\\from\\n.txt", {'n', 'e', 'w'});
    rig_->phones.PutBytes(L"ALIAS:Wide\\C:\\to\\n.txt", {'o', 'l', 'd'});
    for (const std::wstring& folder : {mem, from, to, from + L"\\tree"})
        ASSERT_EQ(S_OK, q()->RefreshFolder(Bstr(folder).get(), VARIANT_TRUE));

    EXPECT_EQ(S_OK, Send(12, 0, {from + L"\\tree", from + L"\\e.txt.vfslnk", from + L"\\n.txt.vfslnk"}, to,
                         {{L"Confirm file overwrite", IDNO}}));
    EXPECT_EQ(kBig, OnPhone(L"Wide", L"to\\tree\\t.bin"));
    EXPECT_EQ(Bytes{}, OnPhone(L"Wide", L"to\\e.txt"));
    EXPECT_EQ((Bytes{'o', 'l', 'd'}), OnPhone(L"Wide", L"to\\n.txt"));
    EXPECT_EQ((std::vector<std::wstring>{L"e.txt.vfslnk", L"folder.vfsfolder", L"n.txt.vfslnk", L"tree\\"}),
              NamesIn(to));
    ASSERT_EQ(S_OK, q()->RefreshFolder(Bstr(to + L"\\tree").get(), VARIANT_TRUE));
    EXPECT_NEAR(45000.5, shortcut::GetShortcutDetails(to + L"\\tree\\t.bin.vfslnk").modified, 0.5 / 86400);

    // A move copies, tells the user that the phone could not delete, and keeps the source.
    std::vector<std::wstring> told;
    EXPECT_EQ(S_OK, Send(FO_MOVE, kQuiet, {from + L"\\n.txt.vfslnk"}, mem, {{L"Ostrelle", IDOK}}, &told));
    EXPECT_EQ(std::vector<std::wstring>{L"The files were copied, not moved, because the phone cannot delete them. "
                                        L"The originals are still on the phone."},
              told);
    EXPECT_EQ((Bytes{'n', 'e', 'w'}), OnPhone(L"Wide", L"n.txt"));
    EXPECT_EQ((Bytes{'n', 'e', 'w'}), OnPhone(L"Wide", L"from\\n.txt"));
}

// The suite ended mid-transfer: the case of two workers below.
TEST_F(Transfers, CancelOrAnUnwritableTargetKeepsEverySource)
{
    const std::wstring mem = Memory(L"Wide");
    MakeFiles({{L"k\\x.bin", kBig}, {L"k\\y.bin", kBig}});
    for (UINT code : {12u, static_cast<UINT>(FO_MOVE)}) {
        rig_->phones->SetChunkSize(1000), rig_->phones->SetTransferDelay(300);
        const HRESULT hr = Send(code, kQuiet, {pc_ / L"k"}, mem, {{L"Copying to phone...", IDCANCEL}});
        EXPECT_EQ(code == FO_MOVE ? S_OK : E_ABORT, hr) << code;
        for (const wchar_t* name : {L"k\\x.bin", L"k\\y.bin"})
            EXPECT_EQ(kBig, ReadBytes(pc_ / name)) << code;
        EXPECT_FALSE(FileExists(mem + L"\\k\\y.bin")) << code;
        EXPECT_EQ(Bytes{0xEE}, OnPhone(L"Wide", L"k\\y.bin"));
    }
    // A mirror folder the shell cannot write the file into (a folder holds its name): nothing goes.
    MakeFiles({{L"blocked.bin", kK}});
    ASSERT_TRUE(CreateDirectoryW((mem + L"\\blocked.bin").c_str(), nullptr));
    EXPECT_EQ(E_FAIL, Send(12, kQuiet, {pc_ / L"blocked.bin"}, mem, {}));
    EXPECT_EQ(S_OK, Send(FO_MOVE, kQuiet, {pc_ / L"blocked.bin"}, mem, {{L"Ostrelle", IDOK}}));
    EXPECT_EQ(kK, ReadBytes(pc_ / L"blocked.bin"));
    RemoveDirectoryW((mem + L"\\blocked.bin").c_str());
}

TEST_F(Transfers, TheSuiteEndedUnderTwoWorkersConnectsAnewOnceAndEachWorkerTellsItsFailure)
{
    const std::wstring phoneFolder = std::wstring(kMirrorRoot) + L"\\Wide", mem = Memory(L"Wide");
    MakeFiles({{L"w1\\a.bin", kBig}, {L"w2\\b.bin", kBig}});
    rig_->phones->SetChunkSize(1000), rig_->phones->SetTransferDelay(500);
    ASSERT_EQ(S_OK, SendFileOperation(q(), FO_MOVE, kQuiet, {pc_ / L"w1"}, {mem}));
    ASSERT_EQ(S_OK, SendFileOperation(q(), FO_MOVE, kQuiet, {pc_ / L"w2"}, {mem}));
    // Both workers hold a component of their own, and a transfer runs.
    ASSERT_TRUE(PumpUntil([&] { return rig_->phones.FileSystems() == kOwnFileSystem + 2; }, 60000));
    ASSERT_TRUE(WaitForDialog(L"Copying to phone...", 60000));
    SimulatedPhones::Kill();

    // Each worker shows its failure once the server has connected anew.
    std::vector<HWND> boxes;
    ASSERT_TRUE(PumpUntil([&] { return (boxes = VisibleDialogs(L"Ostrelle")).size() == 2; }, 120000));
    for (HWND box : boxes)
        EXPECT_EQ(L"An error occurred while communicating with the phone.", ControlText(box, 65535));
    // Anything torn down from now on would take this with it.
    const std::wstring marker = phoneFolder + L"\\rebuilt.txt";
    WriteBytes(marker, {'r'});
    for (HWND box : boxes) {
        EXPECT_TRUE(AnswerBox(box, IDOK));
    }

    rig_->phones.Reconnect();
    EXPECT_EQ(1, rig_->phones.Adds()) << "one reconnect";
    LONG sinks = 0;
    ASSERT_EQ(S_OK, rig_->phones->GetSinkCount(&sinks));
    EXPECT_EQ(1, sinks);
    // The phone's folder is shown again, emptied down to what a connect makes.
    EXPECT_EQ(0u, HiddenSystemOf(phoneFolder));
    EXPECT_FALSE(DirectoryExists(mem));
    for (const wchar_t* name : {L"w1\\a.bin", L"w2\\b.bin"})
        EXPECT_EQ(kBig, ReadBytes(pc_ / name));

    // The server serves the next calls through the new process.
    ShowAll();
    EXPECT_EQ(S_OK, Send(12, kQuiet, {pc_ / L"w1\\a.bin"}, mem));
    EXPECT_EQ(kBig, OnPhone(L"Wide", L"a.bin"));
    EXPECT_TRUE(FileExists(marker));
    EXPECT_EQ(1, rig_->phones.Adds());
    EXPECT_EQ(kOwnFileSystem, rig_->phones.FileSystems());
    DeleteFileW(marker.c_str());
}
