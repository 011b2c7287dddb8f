// Renames of phone items and the making of phone folders end to end, through COM with the simulated phones.
#include "ServerRig.h"
#include "shortcut/ShortcutFiles.h"

#include <gtest/gtest.h>

using namespace testing_support;
using Bytes = std::vector<unsigned char>;

namespace {

const wchar_t kMirrorRoot[] = L"C:\\QuelvarRenameTests";
const std::wstring kMemory = std::wstring(kMirrorRoot) + L"\\RPhone\\Phone memory (C)",
                   kOnPhone = L"ALIAS:RPhone\\C:\\";
constexpr DATE kTime = 38411 + 49509.0 / 86400; // 2005-02-28 13:45:09
constexpr HRESULT kStoreFailure = static_cast<HRESULT>(0x80044342), kTaken = static_cast<HRESULT>(0x800700B7);
const Bytes kBytes = {'r', 'e', 'n', 0, 0xFF}, kNone = {'-'};

class Renames : public testing::Test
{
protected:
    static void SetUpTestSuite() { rig_ = std::make_unique<ServerRig>(kMirrorRoot, L"RPhone", L"356938035640011"); }
    static void TearDownTestSuite() { rig_.reset(); }
    static HRESULT Rename(const std::wstring& item, const std::wstring& newName)
    {
        return SendFileOperation(rig_->quelvar.get(), FO_RENAME, FOF_SILENT, {kMemory + L"\\" + item},
                                 {kMemory + L"\\" + newName});
    }
    static HRESULT Refresh(const std::wstring& folder) { return rig_->quelvar->RefreshFolder(Bstr(folder).get(), -1); }
    static Bytes OnPhone(const std::wstring& name)
    {
        unique_variant data;
        return rig_->phones->GetFile(Bstr(kOnPhone + name).get(), data.get()) == S_OK ? BytesOf(*data.get()) : kNone;
    }
    // A phone folder by the name its mirror folder's shortcut gives; "-" when the phone has none.
    static std::wstring PhoneFolder(const std::wstring& name)
    {
        return DirectoryExists(rig_->phones.Store() + L"\\RPhone\\mem-C\\" + name)
                   ? shortcut::GetShortcutDetails(kMemory + L"\\" + name + L"\\folder.vfsfolder").phoneName
                   : L"-";
    }
    static inline std::unique_ptr<ServerRig> rig_;
};

// No phone file is lost; names the PC cannot hold are refused silently.
TEST_F(Renames, AFileMovesWholeToItsNewNameOrStaysAsItWas)
{
    rig_->phones.PutText(kOnPhone + L"shown.txt", L"shown");
    std::vector<std::tuple<std::wstring, HRESULT, const wchar_t*>> cases = {
        {L"new.bin", S_OK, nullptr},      {L"Empty.log", S_OK, nullptr},       {L"shown.txt", E_ABORT, nullptr},
        {L"unseen.txt", kTaken, nullptr}, {L"a.bin", kStoreFailure, L"fread"}, {L"a.bin", kStoreFailure, L"fwrite"}};
    for (const wchar_t* invalid : {L"a:b.bin", L"con", L"con.txt", L"a?.bin", L"dots.."})
        cases.emplace_back(invalid, S_OK, nullptr);
    for (size_t i = 0; i < cases.size(); ++i) {
        const auto& [to, hr, fault] = cases[i];
        const std::wstring from = L"f" + std::to_wstring(i) + L".bin";
        const Bytes bytes = i == 1 ? Bytes{} : kBytes;
        rig_->phones.PutBytes(kOnPhone + from, bytes, kTime);
        ASSERT_EQ(S_OK, Refresh(kMemory));
        const std::vector<std::wstring> before = NamesIn(kMemory);
        if (to == L"unseen.txt")
            rig_->phones.PutText(kOnPhone + to, L"unseen"); // not in the mirror yet
        ASSERT_TRUE(!fault || rig_->phones->SetFault(Bstr(fault).get(), kStoreFailure, 1) == S_OK);
        EXPECT_EQ(hr, Rename(from + L".vfslnk", to)) << i;
        EXPECT_EQ(i < 2 ? kNone : bytes, OnPhone(from)) << i;
        if (i < 2) {
            EXPECT_EQ(bytes, OnPhone(to)) << i;
            EXPECT_NEAR(kTime, shortcut::GetShortcutDetails(kMemory + L"\\" + to + L".vfslnk").modified, 1e-6) << i;
            EXPECT_FALSE(FileExists(kMemory + L"\\" + to)) << i << ": the shell's renamed item";
        } else if (to != L"unseen.txt") {
            EXPECT_EQ(before, NamesIn(kMemory)) << i;
        }
    }
    EXPECT_EQ(Bytes({'u', 'n', 's', 'e', 'e', 'n'}), OnPhone(L"unseen.txt"));
}

TEST_F(Renames, OnlyAnEmptyFolderIsRenamedAndCreateFolderWorksInMirrorsOnly)
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
    EXPECT_EQ(kBytes, OnPhone(L"Full\\in.bin"));
    EXPECT_EQ(inside, NamesIn(kMemory + L"\\Full")) << "the mirror folder keeps its content";
    TempDir pc; // CreateFolder: in a mirror, failing on the phone, outside every mirror
    EXPECT_EQ(S_OK, rig_->quelvar->CreateFolder(Bstr(kMemory + L"\\Made").get()));
    ASSERT_EQ(S_OK, rig_->phones->SetFault(Bstr(L"mkdir").get(), kStoreFailure, 1));
    EXPECT_EQ(kStoreFailure, rig_->quelvar->CreateFolder(Bstr(kMemory + L"\\Failed").get()));
    EXPECT_EQ(S_OK, rig_->quelvar->CreateFolder(Bstr(pc / L"Elsewhere").get()));
    EXPECT_EQ(L"Made-", PhoneFolder(L"Made") + PhoneFolder(L"Failed"));
    EXPECT_FALSE(DirectoryExists(kMemory + L"\\Failed") || DirectoryExists(pc / L"Elsewhere"));
}

} // namespace
