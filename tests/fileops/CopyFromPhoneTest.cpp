// Phone items copied, moved and opened on the PC end to end: the server out of
// process with the simulated phones, the shell's questions and the progress
// dialog answered on the screen. After every case each byte that existed before
// is on the phone or at the target.
#include "Processes.h"
#include "RegistryOverride.h"
#include "SimulatedPhones.h"
#include "Windows.h"
#include "ZentrelQuelvar.h"
#include "common/Resource.h"
#include "fileops/FileOperationRequest.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <memory>
#include <optional>

using namespace testing_support;
using Names = std::vector<std::wstring>;

namespace {

const wchar_t kFromPhone[] = L"Copying from phone...";
const std::wstring kPhoneRoot = L"ALIAS:CPhone\\C:\\";
constexpr WORD kQuiet = FOF_SILENT | FOF_NOCONFIRMATION | FOF_NOERRORUI;
constexpr DATE kTime = 38411 + 49509.0 / 86400; // 2005-02-28 13:45:09

// Files by path below a root, with bytes and last-write time; folders with a trailing "\".
using Tree = std::map<std::wstring, std::pair<std::vector<unsigned char>, ULONGLONG>>;
void Walk(const std::wstring& path, const std::wstring& relative, Tree& tree)
{
    WIN32_FILE_ATTRIBUTE_DATA attributes;
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &attributes))
        return;
    if (!(attributes.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
        const FILETIME& t = attributes.ftLastWriteTime;
        tree[relative] = {ReadBytes(path), (ULONGLONG(t.dwHighDateTime) << 32) | t.dwLowDateTime};
        return;
    }
    tree[relative + L"\\"];
    for (const std::wstring& name : NamesIn(path))
        Walk(path + L"\\" + name.substr(0, name.find(L'\\')), relative + L"\\" + name.substr(0, name.find(L'\\')),
             tree);
}
Tree Snapshot(const std::wstring& path)
{
    Tree tree;
    Walk(path, L"", tree);
    return tree;
}

bool AnyScratchFolder()
{
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    WIN32_FIND_DATAW found;
    return static_cast<bool>(unique_find(FindFirstFileW((std::wstring(temp) + L"WrapperTemp*").c_str(), &found)));
}

class FromPhone : public testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        ASSERT_TRUE(WaitForNoProcess(L"ZentrelQuelvar.exe", 30000)); // a server reads the settings once
        RegisterServer();
        for (auto [name, value] : {std::pair{L"Current Language", L"enu"}, {L"Current Resource", L"std"}})
            settings_.push_back(
                std::make_unique<RegistryOverride>(HKEY_LOCAL_MACHINE, L"Software\\Zentrel\\Marlith", name, value));
        settings_.push_back(std::make_unique<RegistryOverride>(HKEY_CURRENT_USER, L"Software\\Marlith\\DataLayer",
                                                               L"Root", mirror_.emplace().path()));
        phones_.emplace();
        phones_->AddPhone(L"CPhone", L"350000000000071");
        phones_->Connect(L"CPhone");
        ASSERT_EQ(S_OK,
                  CoCreateInstance(CLSID_Quelvar, nullptr, CLSCTX_LOCAL_SERVER, IID_IQuelvar, quelvar_.put_void()));
        ASSERT_EQ(S_OK, quelvar_->RefreshFolder(Bstr(mirror_->path() + L"\\CPhone").get(), VARIANT_FALSE));
    }
    static void TearDownTestSuite()
    {
        EXPECT_EQ(S_OK, quelvar_->Terminate());
        quelvar_.reset();
        phones_.reset();
        settings_.clear();
        mirror_.reset();
    }
    void TearDown() override
    {
        (*phones_)->SetTransferDelay(0);
        (*phones_)->SetChunkSize(64 * 1024);
        (*phones_)->ClearFaults();
    }
    static std::wstring Memory() { return mirror_->path() + L"\\CPhone\\Phone memory (C)"; }
    static std::wstring Link(const std::wstring& name) { return Memory() + L"\\" + name + L".vfslnk"; }
    static std::wstring Stored(const std::wstring& name) { return phones_->Store() + L"\\CPhone\\mem-C\\" + name; }
    // Phone files of the given sizes, shown in the mirror.
    static void Put(const std::map<std::wstring, size_t>& files)
    {
        for (const auto& [name, size] : files) {
            std::vector<unsigned char> bytes(size);
            for (size_t i = 0; i < size; ++i)
                bytes[i] = static_cast<unsigned char>(i * 7 + name.size());
            phones_->PutBytes(kPhoneRoot + name, bytes, kTime + name.size());
        }
        ASSERT_EQ(S_OK, quelvar_->RefreshFolder(Bstr(Memory()).get(), VARIANT_TRUE));
    }
    static HRESULT Send(UINT code, WORD flags, const Names& sources, const std::wstring& target)
    {
        unique_variant request;
        HRESULT hr = fileops::FileOperationRequest::Encode(nullptr, code, flags, sources, {target}, L"", request.put());
        return SUCCEEDED(hr) ? quelvar_->SHFileOperation(*request.get()) : hr;
    }
    // A move runs on a worker: slowed so that its dialog shows, done when the dialog has gone.
    static void Move(const Names& sources, const std::wstring& target, WORD flags,
                     const std::function<void(HWND)>& act = nullptr)
    {
        ASSERT_EQ(S_OK, (*phones_)->SetChunkSize(1000));
        ASSERT_EQ(S_OK, (*phones_)->SetTransferDelay(100));
        ASSERT_EQ(S_OK, Send(FO_MOVE, flags, sources, target));
        HWND dialog = WaitForDialog(kFromPhone);
        ASSERT_TRUE(dialog);
        if (act)
            act(dialog);
        ASSERT_TRUE(PumpUntil([&] { return !IsWindow(dialog); }, 60000));
    }
    // Files of the memory's root by "\\name", as the phone store holds them.
    static Tree Files(const Names& names)
    {
        Tree files;
        for (const std::wstring& name : names)
            files[L"\\" + name] = Snapshot(Stored(name)).at(L"");
        return files;
    }
    // Each file is on the phone with its shortcut, or at the target with its bytes and not on the phone.
    static void ExpectKept(const Tree& before, const std::wstring& target, const Names& onPhone)
    {
        for (const auto& [name, file] : before) {
            const bool kept = std::find(onPhone.begin(), onPhone.end(), name.substr(1)) != onPhone.end();
            EXPECT_EQ(kept, phones_->Has(kPhoneRoot + name.substr(1))) << Narrow(name);
            EXPECT_EQ(kept, FileExists(Link(name.substr(1)))) << Narrow(name);
            const Tree there = Snapshot(target + name);
            EXPECT_TRUE(kept || (there.size() == 1 && there.begin()->second == file)) << Narrow(name);
        }
    }

    static inline std::optional<TempDir> mirror_;
    static inline std::vector<std::unique_ptr<RegistryOverride>> settings_;
    static inline std::optional<SimulatedPhones> phones_;
    static inline com_ptr<IQuelvar> quelvar_;
    TempDir pc_;
};

} // namespace

TEST_F(FromPhone, CopiesAndMovesFilesAndTreesWithTheirBytesAndTimes)
{
    for (const wchar_t* folder : {L"Tree", L"Tree\\Hollow", L"Tree\\Sub", L"Tree\\Sub\\Deeper"})
        phones_->MakeFolder(kPhoneRoot + folder);
    Put({{L"one.txt", 5000},
         {L"two.txt", 1},
         {L"Tree\\a.bin", 70000},
         {L"Tree\\empty.txt", 0},
         {L"Tree\\Sub\\b.bin", 3000},
         {L"Tree\\Sub\\Deeper\\c.txt", 10}});
    const Tree tree = Snapshot(Stored(L"Tree")), files = Files({L"one.txt", L"two.txt"});
    ASSERT_EQ(8u, tree.size());
    const Names sources = {Memory() + L"\\Tree", Link(L"one.txt"), Link(L"two.txt")};
    const std::wstring copy = pc_ / L"copy", moved = pc_ / L"moved";
    CreateDirectoryW(copy.c_str(), nullptr);
    CreateDirectoryW(moved.c_str(), nullptr);

    ASSERT_EQ(S_OK, Send(12, kQuiet, sources, copy));
    EXPECT_EQ(tree, Snapshot(copy + L"\\Tree"));
    EXPECT_EQ(tree, Snapshot(Stored(L"Tree")));
    ExpectKept(files, copy, {L"one.txt", L"two.txt"});
    EXPECT_EQ(files.at(L"\\two.txt"), Snapshot(copy + L"\\two.txt").at(L""));

    // A PC copy with the phone file's time is up to date: its changed bytes stay.
    const std::wstring changed = copy + L"\\one.txt";
    WriteBytes(changed, {'p', 'c'});
    {
        unique_file file(CreateFileW(changed.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
        const ULONGLONG time = files.at(L"\\one.txt").second;
        const FILETIME phoneTime{static_cast<DWORD>(time), static_cast<DWORD>(time >> 32)};
        ASSERT_TRUE(SetFileTime(file.get(), nullptr, nullptr, &phoneTime));
    }
    ASSERT_EQ(S_OK, Send(12, kQuiet, {Link(L"one.txt")}, copy));
    EXPECT_EQ((std::vector<unsigned char>{'p', 'c'}), ReadBytes(changed));

    // Two plain files and a folder in one move.
    Move(sources, moved, kQuiet);
    EXPECT_EQ(tree, Snapshot(moved + L"\\Tree"));
    EXPECT_FALSE(phones_->Has(kPhoneRoot + L"Tree"));
    EXPECT_FALSE(DirectoryExists(Memory() + L"\\Tree"));
    ExpectKept(files, moved, {});
}

TEST_F(FromPhone, OpenStartsTheAssociatedProgramOfTheCopy)
{
    Put({{L"note.qvopen", 300}});
    const std::wstring marker = pc_ / L"marker.bin", open = pc_ / L"open";
    RegistryOverride extension(HKEY_CLASSES_ROOT, L".qvopen", L"", std::wstring(L"QuelvarTest.Open"));
    RegistryOverride command(HKEY_CLASSES_ROOT, L"QuelvarTest.Open\\shell\\open\\command", L"",
                             L"cmd.exe /c copy /b \"%1\" \"" + marker + L"\"");
    CreateDirectoryW(open.c_str(), nullptr);
    ASSERT_EQ(S_OK, Send(0, kQuiet, {Link(L"note.qvopen")}, open));
    const std::vector<unsigned char> bytes = ReadBytes(Stored(L"note.qvopen"));
    EXPECT_TRUE(PumpUntil([&] { return ReadBytes(marker) == bytes; }, 30000));
    EXPECT_EQ(bytes, ReadBytes(open + L"\\note.qvopen"));
    // Copied, but a file is no place to open anything in.
    EXPECT_EQ(E_FAIL, Send(0, kQuiet, {Link(L"note.qvopen")}, pc_ / L"note.qvopen"));
}

TEST_F(FromPhone, MovesDeleteNothingThatDidNotArriveAndLeaveNoScratchFolder)
{
    const std::wstring blocked = pc_ / L"blocked.txt";
    WriteText(blocked, "a file");
    const struct {
        Names names;
        std::wstring target;
        WORD flags; // 0: the shell asks about the first name, which the target holds already
        std::function<void(HWND)> act;
        Names onPhone;
    } cases[] = {
        {{L"c1.bin", L"c2.bin", L"c3.bin"},
         pc_ / L"cancel",
         kQuiet,
         [](HWND dialog) { ClickButton(dialog, IDCANCEL); },
         {L"c1.bin", L"c2.bin", L"c3.bin"}},
        {{L"d1.bin", L"d2.bin"},
         pc_ / L"declined",
         0,
         [](HWND) { ClickButton(WaitForDialog(L"Confirm file overwrite", 30000), IDNO); },
         {L"d1.bin"}},
        {{L"u1.bin", L"u2.bin"}, blocked + L"\\in", kQuiet, nullptr, {L"u1.bin", L"u2.bin"}},
    };
    for (const auto& c : cases) {
        std::map<std::wstring, size_t> sizes;
        Names sources;
        for (const std::wstring& name : c.names) {
            sizes[name] = 10000;
            sources.push_back(Link(name));
        }
        Put(sizes);
        const Tree before = Files(c.names);
        CreateDirectoryW(c.target.c_str(), nullptr);
        if (!c.flags)
            WriteText(c.target + L"\\" + c.names[0], "old");
        Move(sources, c.target, c.flags, c.act);
        ExpectKept(before, c.target, c.onPhone);
        if (!c.flags) {
            EXPECT_EQ((std::vector<unsigned char>{'o', 'l', 'd'}), ReadBytes(c.target + L"\\" + c.names[0]));
        }
        EXPECT_FALSE(AnyScratchFolder());
    }
}
