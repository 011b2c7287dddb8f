// The file-operation dispatcher end to end: requests through COM to the server
// with the simulated phones, the platform's questions answered as a user would;
// renames of phone items and the making of phone folders.
#include "ServerRig.h"
#include "Windows.h"
#include "shortcut/ShortcutFiles.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <thread>

using namespace testing_support;
using Names = std::vector<std::wstring>;
using Bytes = std::vector<unsigned char>;

namespace {

const wchar_t kMirrorRoot[] = L"C:\\QuelvarDispatchTests";
const std::wstring kPhone = std::wstring(kMirrorRoot) + L"\\DPhone";
const std::wstring kMemory = kPhone + L"\\Phone memory (C)", kOnPhone = L"ALIAS:DPhone\\C:\\";
constexpr DATE kTime = 38411 + 49509.0 / 86400; // 2005-02-28 13:45:09
const Bytes kBytes = {'r', 'e', 'n', 0, 0xFF}, kNone = {'-'};
constexpr WORD kQuiet = FOF_SILENT | FOF_NOCONFIRMATION | FOF_NOERRORUI;
constexpr HRESULT kStoreFailure = static_cast<HRESULT>(0x80044342);
constexpr HRESULT kTaken = static_cast<HRESULT>(0x800700B7); // ERROR_ALREADY_EXISTS: a shortcut names the same file

class Dispatch : public SharedRig<>
{
protected:
    static void SetUpTestSuite() { rig_ = std::make_unique<ServerRig>(kMirrorRoot, L"DPhone", L"356938035640001"); }
    // A phone file and the shortcut file that stands for it in the mirror.
    static std::wstring PhoneFile(const std::wstring& name)
    {
        rig_->phones.PutBytes(kOnPhone + name, {'o', 'n'});
        EXPECT_EQ(S_OK, q()->RefreshFolder(Bstr(kMemory).get(), VARIANT_TRUE));
        return kMemory + L"\\" + name + L".vfslnk";
    }
    static bool OnPhone(const std::wstring& name) { return rig_->phones.Has(kOnPhone + name); }
    static Bytes PhoneBytes(const std::wstring& name)
    {
        unique_variant data;
        return rig_->phones->GetFile(Bstr(kOnPhone + name).get(), data.get()) == S_OK ? BytesOf(*data.get()) : kNone;
    }
    static HRESULT Rename(const std::wstring& item, const std::wstring& newName)
    {
        return SendFileOperation(q(), FO_RENAME, FOF_SILENT, {kMemory + L"\\" + item}, {kMemory + L"\\" + newName});
    }
    static HRESULT Refresh(const std::wstring& folder) { return q()->RefreshFolder(Bstr(folder).get(), -1); }
    // A phone folder by the name its mirror folder's shortcut gives; "-" when the phone has none.
    static std::wstring PhoneFolder(const std::wstring& name)
    {
        return DirectoryExists(rig_->phones.Store() + L"\\DPhone\\mem-C\\" + name)
                   ? shortcut::GetShortcutDetails(kMemory + L"\\" + name + L"\\folder.vfsfolder").phoneName
                   : L"-";
    }

    TempDir pc_;
};

TEST_F(Dispatch, RoutesEachKindOfRequest)
{
    const std::wstring link = PhoneFile(L"route.txt"), askedLink = PhoneFile(L"asked.txt");
    const auto asked = [&] { return FileExists(askedLink) + OnPhone(L"asked.txt"); }; // 2: both stay
    const wchar_t* kConfirm = L"Confirm file deletion";
    const std::wstring file = pc_ / L"file.txt", folder = pc_ / L"folder", copy = folder + L"\\file.txt";
    WriteText(file, "pc");
    CreateDirectoryW(folder.c_str(), nullptr);
    rig_->phones.AddPhone(L"RPhone", L"356938035640002");
    rig_->phones.Connect(L"RPhone");
    const std::wstring gone = std::wstring(kMirrorRoot) + L"\\Gone", missing = kMemory + L"\\Missing";
    const auto untouched = [&](const std::wstring& path) {
        return [&file, path] { return FileExists(file) && !FileExists(path); };
    };
    const std::wstring from = std::wstring(kMirrorRoot) + L"\\RPhone", to = std::wstring(kMirrorRoot) + L"\\Renamed";
    ASSERT_TRUE(WaitWithoutMessages([&] { return FileExists(from + L"\\IMEI"); }));
    const std::wstring keptLink = PhoneFile(L"kept.txt");
    unique_hwnd window(CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr));
    const UINT endMessage = RegisterWindowMessageW(L"Ostrelle_FILEOPERATION_END_NOTIFY");
    MSG message;
    const auto ended = [&] { return PeekMessageW(&message, window.get(), endMessage, endMessage, PM_REMOVE) != 0; };
    const auto kept = [&] { return FileExists(keptLink) && OnPhone(L"kept.txt"); }; // the mirror refreshed
    const struct {
        UINT code;
        WORD flags;
        Names sources, targets;
        HRESULT hr;
        std::function<bool()> holds = nullptr;
        const wchar_t* fault = nullptr;  // fails once in the suite
        const wchar_t* dialog = nullptr; // answered with the button
        int button = 0;
    } cases[] = {
        {FO_DELETE, kQuiet, {link, file}, {}, E_INVALIDARG, [&] { return FileExists(link) && FileExists(file); }},
        {12, kQuiet, {file}, {folder, pc_ / L"other"}, E_INVALIDARG, [&] { return !FileExists(copy); }},
        {FO_RENAME, kQuiet, {link}, {kMemory + L"\\other.txt.vfslnk"}, kTaken, [&] { return OnPhone(L"route.txt"); }},
        {FO_DELETE, kQuiet, {kPhone}, {}, E_FAIL, [&] { return DirectoryExists(kMemory); }},
        {FO_COPY, kQuiet, {file}, {folder}, S_OK, [&] { return FileExists(copy); }},
        // Below the mirror root but no phone's (one connecting anew has no "IMEI" yet), and a phone's
        // mirror folder not made yet: never the shell's copy to a file of that name. The worker tells the user.
        {FO_MOVE, kQuiet, {file}, {gone}, S_OK, untouched(gone), nullptr, L"Ostrelle", IDOK},
        {FO_COPY, kQuiet, {file}, {missing}, S_OK, untouched(missing), nullptr, L"Ostrelle", IDOK},
        {FO_COPY, kQuiet, {link}, {missing}, S_OK, untouched(missing), nullptr, L"Ostrelle", IDOK},
        {FO_DELETE, kQuiet, {file}, {kMemory}, S_OK, [&] { return !FileExists(file); }},
        {FO_DELETE, 0, {askedLink}, {}, E_ABORT, [&] { return asked() == 2; }, nullptr, kConfirm, IDNO},
        {FO_DELETE, 0, {askedLink}, {}, S_OK, [&] { return asked() == 0; }, nullptr, kConfirm, IDYES},
        {FO_DELETE, kQuiet, {keptLink}, {}, kStoreFailure, kept, L"deletefile"},
        // A worker tells the user; under Wine a box owned by another process's window never shows.
        {13, kQuiet, {keptLink}, {}, S_OK, kept, L"deletefile", L"Ostrelle", IDOK},
        {13, kQuiet, {link}, {}, S_OK, [&] { return ended() && !OnPhone(L"route.txt"); }},
        {FO_RENAME, 0, {from}, {to}, kStoreFailure, nullptr, L"RenamePhone"},
        {FO_RENAME, 0, {from}, {to}, S_OK, [&] { return FileExists(to + L"\\IMEI"); }}, // connected anew
    };
    for (size_t i = 0; i < std::size(cases); ++i) {
        const auto& c = cases[i];
        ASSERT_TRUE(!c.fault || rig_->phones->SetFault(Bstr(c.fault).get(), kStoreFailure, 1) == S_OK);
        HWND dialog = nullptr;
        std::thread answer([&] {
            if (c.dialog)
                AnswerBox(dialog = WaitForDialog(c.dialog), c.button);
        });
        EXPECT_EQ(c.hr, SendFileOperation(q(), c.code, c.flags, c.sources, c.targets,
                                          c.code == 13 && !c.fault ? window.get() : nullptr))
            << "case " << i;
        answer.join();
        EXPECT_EQ(!c.dialog, !dialog) << "case " << i;
        // Without dispatching: a condition may look for a message of this thread's own.
        EXPECT_TRUE(!c.holds || WaitWithoutMessages(c.holds)) << "case " << i;
    }
}

// No phone file is lost; names the PC cannot hold are refused silently.
TEST_F(Dispatch, AFileMovesWholeToItsNewNameOrStaysAsItWas)
{
    rig_->phones.PutBytes(kOnPhone + L"shown.txt", {'s'});
    // The PC's name rules themselves are pinned by the name tests: two here.
    const std::vector<std::tuple<std::wstring, HRESULT, const wchar_t*>> cases = {
        {L"new.bin", S_OK, nullptr},      {L"Empty.log", S_OK, nullptr},       {L"shown.txt", E_ABORT, nullptr},
        {L"unseen.txt", kTaken, nullptr}, {L"a.bin", kStoreFailure, L"fread"}, {L"a.bin", kStoreFailure, L"fwrite"},
        {L"a:b.bin", S_OK, nullptr},      {L"con.txt", S_OK, nullptr}};
    for (size_t i = 0; i < cases.size(); ++i) {
        const auto& [to, hr, fault] = cases[i];
        const std::wstring from = L"f" + std::to_wstring(i) + L".bin";
        const Bytes bytes = i == 1 ? Bytes{} : kBytes;
        rig_->phones.PutBytes(kOnPhone + from, bytes, kTime);
        ASSERT_EQ(S_OK, Refresh(kMemory));
        const std::vector<std::wstring> before = NamesIn(kMemory);
        if (to == L"unseen.txt")
            rig_->phones.PutBytes(kOnPhone + to, {'u'}); // not in the mirror yet
        ASSERT_TRUE(!fault || rig_->phones->SetFault(Bstr(fault).get(), kStoreFailure, 1) == S_OK);
        EXPECT_EQ(hr, Rename(from + L".vfslnk", to)) << i;
        EXPECT_EQ(i < 2 ? kNone : bytes, PhoneBytes(from)) << i;
        if (i < 2) {
            EXPECT_EQ(bytes, PhoneBytes(to)) << i;
            EXPECT_NEAR(kTime, shortcut::GetShortcutDetails(kMemory + L"\\" + to + L".vfslnk").modified, 1e-6) << i;
            EXPECT_FALSE(FileExists(kMemory + L"\\" + to)) << i << ": the shell's renamed item";
        } else if (to != L"unseen.txt") {
            EXPECT_EQ(before, NamesIn(kMemory)) << i;
        }
    }
    EXPECT_EQ(Bytes{'u'}, PhoneBytes(L"unseen.txt"));
}

TEST_F(Dispatch, OnlyAnEmptyFolderIsRenamedAndCreateFolderWorksInMirrorsOnly)
{
    rig_->phones.MakeFolder(kOnPhone + L"Empty");
    rig_->phones.PutBytes(kOnPhone + L"Full\\in.bin", kBytes);
    ASSERT_EQ(S_OK, Refresh(kMemory));
    ASSERT_EQ(S_OK, Refresh(kMemory + L"\\Full"));
    const std::vector<std::wstring> inside = NamesIn(kMemory + L"\\Full");
    EXPECT_EQ(S_OK, Rename(L"Empty", L"Renamed"));
    EXPECT_EQ(E_NOTIMPL, Rename(L"Full", L"Moved"));
    EXPECT_EQ(L"Renamed Full --", PhoneFolder(L"Renamed") + L" " + PhoneFolder(L"Full") + L" " + PhoneFolder(L"Empty") +
                                      PhoneFolder(L"Moved"));
    EXPECT_FALSE(DirectoryExists(kMemory + L"\\Empty") || DirectoryExists(kMemory + L"\\Moved"));
    EXPECT_EQ(kBytes, PhoneBytes(L"Full\\in.bin"));
    EXPECT_EQ(inside, NamesIn(kMemory + L"\\Full")) << "the mirror folder keeps its content";
    TempDir pc; // CreateFolder: in a mirror, failing on the phone, outside every mirror
    EXPECT_EQ(S_OK, q()->CreateFolder(Bstr(kMemory + L"\\Made").get()));
    ASSERT_EQ(S_OK, rig_->phones->SetFault(Bstr(L"mkdir").get(), kStoreFailure, 1));
    EXPECT_EQ(kStoreFailure, q()->CreateFolder(Bstr(kMemory + L"\\Failed").get()));
    EXPECT_EQ(S_OK, q()->CreateFolder(Bstr(pc / L"Elsewhere").get()));
    EXPECT_EQ(L"Made-", PhoneFolder(L"Made") + PhoneFolder(L"Failed"));
    EXPECT_FALSE(DirectoryExists(kMemory + L"\\Failed") || DirectoryExists(pc / L"Elsewhere"));
}

} // namespace
