// Copy and move from the PC into a mirror folder end to end through COM with the simulated phones; the
// shell's and the server's questions and the progress dialog answered on the screen.
#include "ServerRig.h"
#include "Windows.h"
#include "ZentrelQuelvar.h"
#include "common/Paths.h"
#include "fileops/CopyToPhone.h"
#include "shortcut/ShortcutFiles.h"

#include <gtest/gtest.h>
#include <shlobj.h>

#include <algorithm>
#include <memory>
#include <tuple>
#include <thread>

using namespace testing_support;
using Bytes = std::vector<unsigned char>;

namespace {
const wchar_t kMirrorRoot[] = L"C:\\QuelvarCopyToPhoneTests";
constexpr WORD kQuiet = FOF_SILENT | FOF_NOCONFIRMATION | FOF_NOERRORUI;
constexpr HRESULT kMemoryFull = static_cast<HRESULT>(0x80044360);
const Bytes kK(1000, 'k'), kBig(20000, 'b');
constexpr int kKillSuite = -1;     // an answer that ends the suite's process instead of clicking
constexpr long kOwnFileSystem = 1; // the rig's main object holds one of its own
constexpr int kMessageBoxTextId = 65535;

class CopyToPhone : public testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        rig_ = std::make_unique<ServerRig>(kMirrorRoot, L"Wide", L"350000000000061");
        // Besides Wide: 1000 bytes free, and 2500 (room for two of five 1000-byte files).
        for (auto [alias, imei, quota] :
             {std::tuple{L"Th", L"350000000000062", 1000.0}, {L"Tf", L"350000000000063", 2500.0}}) {
            rig_->phones.AddPhone(alias, imei, L"OS-200", quota);
            rig_->phones.Connect(alias);
        }
        rig_->phones.PutBytes(L"ALIAS:Wide\\C:\\keep.txt", {'p', 'h', 'o', 'n', 'e'});
        for (const wchar_t* alias : {L"Wide", L"Th", L"Tf"}) {
            ASSERT_EQ(S_OK, q()->RefreshFolder(Bstr(kMirrorRoot + std::wstring(L"\\") + alias).get(), VARIANT_FALSE));
            ASSERT_EQ(S_OK, q()->RefreshFolder(Bstr(Memory(alias)).get(), VARIANT_TRUE));
        }
    }
    static void TearDownTestSuite() { rig_.reset(); }
    static IQuelvar* q() { return rig_->quelvar.get(); }
    // PC files below pc_, their folders made as needed.
    void MakeFiles(std::initializer_list<std::pair<const wchar_t*, Bytes>> files)
    {
        for (const auto& [name, bytes] : files) {
            SHCreateDirectoryExW(nullptr, paths::Parent(pc_ / name).c_str(), nullptr);
            WriteBytes(pc_ / name, bytes);
        }
    }
    static std::wstring Memory(const std::wstring& alias) { return rig_->root + L"\\" + alias + L"\\Phone memory (C)"; }
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
                    texts->push_back(box ? ControlText(box, kMessageBoxTextId) : L"");
                button == kKillSuite ? SimulatedPhones::Kill() : ClickButton(box, button);
                PumpUntil([&] { return !IsWindowVisible(box); }); // the next box may have the same title
            }
        });
        const bool kill =
            std::any_of(answers.begin(), answers.end(), [](const auto& a) { return a.second == kKillSuite; });
        long made = 0;
        rig_->phones.FileSystems(&made);
        const HRESULT hr = SendFileOperation(q(), code, flags, sources, {target});
        answer.join();
        // A worker has ended when it has let go of its component. After the suite's end
        // it holds one of the ended process, and the test waits for its box instead.
        EXPECT_TRUE(kill || rig_->phones.WaitForFileSystems(made, kOwnFileSystem)) << rig_->phones.FileSystems();
        return hr;
    }

    static inline std::unique_ptr<ServerRig> rig_;
    TempDir pc_;
};
} // namespace

TEST_F(CopyToPhone, CopiesAndMovesFilesAndFoldersByteForByteAndAsksBeforeReplacing)
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

TEST_F(CopyToPhone, FreeMemoryQuestionAndFullMemoryAtTheThirdOfFive)
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

TEST_F(CopyToPhone, CopiesWithinThePhoneAsksBeforeReplacingAndAMoveKeepsItsSource)
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

TEST_F(CopyToPhone, CancelOrTheSuiteEndedMidTransferOrAnUnwritableTargetKeepsEverySource)
{
    const std::wstring mem = Memory(L"Wide");
    MakeFiles({{L"k\\x.bin", kBig}, {L"k\\y.bin", kBig}});
    // The suite ended under a move's worker: the case of two workers below.
    for (auto [code, kill] : {std::pair{12u, false}, {static_cast<UINT>(FO_MOVE), false}, {12u, true}}) {
        rig_->phones->SetChunkSize(1000), rig_->phones->SetTransferDelay(300);
        const HRESULT hr =
            Send(code, kQuiet, {pc_ / L"k"}, mem, {{L"Copying to phone...", kill ? kKillSuite : IDCANCEL}});
        EXPECT_TRUE(code == FO_MOVE ? hr == S_OK : kill ? FAILED(hr) : hr == E_ABORT) << code;
        for (const wchar_t* name : {L"k\\x.bin", L"k\\y.bin"})
            EXPECT_EQ(kBig, ReadBytes(pc_ / name)) << code;
        if (!kill) {
            EXPECT_FALSE(FileExists(mem + L"\\k\\y.bin")) << code;
            EXPECT_EQ(Bytes{0xEE}, OnPhone(L"Wide", L"k\\y.bin"));
            continue;
        }
        // The server connected anew once: its mirror folders are rebuilt and it serves on.
        rig_->phones.Reconnect();
        EXPECT_EQ(1, rig_->phones.Adds());
        EXPECT_EQ(0u, HiddenSystemOf(std::wstring(kMirrorRoot) + L"\\Wide"));
        EXPECT_EQ(S_OK, q()->RefreshFolder(Bstr(std::wstring(kMirrorRoot) + L"\\Wide").get(), VARIANT_FALSE));
        EXPECT_EQ(S_OK, q()->RefreshFolder(Bstr(mem).get(), VARIANT_TRUE));
        EXPECT_EQ(kOwnFileSystem, rig_->phones.FileSystems());
    }
    // A mirror folder the shell cannot write the file into (a folder holds its name): nothing goes.
    MakeFiles({{L"blocked.bin", kK}});
    ASSERT_TRUE(CreateDirectoryW((mem + L"\\blocked.bin").c_str(), nullptr));
    EXPECT_EQ(E_FAIL, Send(12, kQuiet, {pc_ / L"blocked.bin"}, mem, {}));
    EXPECT_EQ(S_OK, Send(FO_MOVE, kQuiet, {pc_ / L"blocked.bin"}, mem, {{L"Ostrelle", IDOK}}));
    EXPECT_EQ(kK, ReadBytes(pc_ / L"blocked.bin"));
    RemoveDirectoryW((mem + L"\\blocked.bin").c_str());
}

TEST_F(CopyToPhone, TheSuiteEndedUnderTwoWorkersConnectsAnewOnceAndEachWorkerTellsItsFailure)
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
        ClickButton(box, IDOK);
        EXPECT_TRUE(PumpUntil([&] { return !IsWindowVisible(box); }));
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
    EXPECT_EQ(S_OK, q()->RefreshFolder(Bstr(phoneFolder).get(), VARIANT_FALSE));
    EXPECT_EQ(S_OK, q()->RefreshFolder(Bstr(mem).get(), VARIANT_TRUE));
    EXPECT_EQ(S_OK, Send(12, kQuiet, {pc_ / L"w1\\a.bin"}, mem));
    EXPECT_EQ(kBig, OnPhone(L"Wide", L"a.bin"));
    EXPECT_TRUE(FileExists(marker));
    EXPECT_EQ(1, rig_->phones.Adds());
    EXPECT_EQ(kOwnFileSystem, rig_->phones.FileSystems());
    DeleteFileW(marker.c_str());
}
