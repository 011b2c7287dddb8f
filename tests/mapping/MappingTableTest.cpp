// The device mapping table in process: which row a PC path or phone path belongs
// to, mirror paths as phone paths and the phone's top mirror folder; and with
// phones of the simulated suite, the mirror refresh and item removal, as the
// server drives them.
#include "mirror/DeviceMapping.h"
#include "mirror/MirrorItems.h"
#include "mirror/MirrorRefresh.h"
#include "phone/PhoneFileSystem.h"
#include "shortcut/ShortcutFiles.h"

#include "RegistryOverride.h"
#include "SimulatedPhones.h"
#include "TestSupport.h"
#include "common/ComPtr.h"
#include "common/FileTree.h"
#include "common/Resource.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

using namespace testing_support;
using mirror::DeviceMapping;
using phone::VFSItem;
using Names = std::vector<std::wstring>;

namespace {

constexpr HRESULT kNotFound = static_cast<HRESULT>(0x80044343);
constexpr HRESULT kStoreFailure = static_cast<HRESULT>(0x80044342);
constexpr HRESULT kFolderNotEmpty = static_cast<HRESULT>(0x80044345);


DeviceMapping Row(const std::wstring& root, const wchar_t* alias)
{
    DeviceMapping row;
    EXPECT_EQ(S_OK, mirror::MakeMapping(root.c_str(), alias, row));
    return row;
}

VFSItem Item(const wchar_t* phoneName)
{
    VFSItem item{};
    phone::CopyField(item.phoneName, phoneName);
    return item;
}

// A mirror root of the test's own and an empty table.
class MirrorRoot : public testing::Test
{
protected:
    void SetUp() override { mirror::ResetConfigurationForTesting(); }
    void TearDown() override { mirror::ResetConfigurationForTesting(); }

    TempDir mirror_;
    const std::wstring root_ = mirror_.path();
    RegistryOverride rootValue_ = MirrorRootSetting(mirror_.path());
    mirror::DeviceMappingTable table_;
};

class MappingTable : public MirrorRoot
{
protected:
    void SetUp() override
    {
        MirrorRoot::SetUp();
        for (const wchar_t* alias : {L"Phone1", L"Phone10"}) {
            table_.AppendMapping(Row(root_, alias));
            CreateDirectoryW((mirror_ / alias).c_str(), nullptr);
        }
    }
};

class MappingSuite : public MirrorRoot
{
protected:
    void SetUp() override
    {
        MirrorRoot::SetUp();
        mirror::SetVendorName(L"Zentrel");
        vfs_ = phones_.NewFileSystem();
        ASSERT_TRUE(vfs_);
    }

    void AddPhone(const std::wstring& alias, const std::wstring& imei, const std::wstring& model = L"OS-200")
    {
        phones_.AddPhone(alias, imei, model);
        phones_.Connect(alias);
        // These tests drive the table themselves and lay out each mirror folder as
        // they need it: what the suite's data layer left there goes.
        RemoveFolderTree(mirror_ / alias);
    }

    void PutFile(const std::wstring& phonePath) { phones_.PutBytes(phonePath, {'a', 'b', 'c'}, 38411.5); }

    HRESULT Refresh(const std::wstring& pcFolder, VARIANT_BOOL files = VARIANT_TRUE)
    {
        phone::PhoneFileSystem phoneFs(vfs_.get(), nullptr);
        return mirror::RefreshFolder(phoneFs, table_, pcFolder.c_str(), files, nullptr);
    }

    HRESULT Delete(const std::wstring& pcPath, bool deletePcFile = true)
    {
        phone::PhoneFileSystem phoneFs(vfs_.get(), nullptr);
        return mirror::DeleteFileOrFolder(phoneFs, table_, pcPath.c_str(), nullptr, deletePcFile);
    }

    void SetFault(const wchar_t* operation, HRESULT code)
    {
        ASSERT_EQ(S_OK, phones_->SetFault(Bstr(operation).get(), code, 1));
    }

    SimulatedPhones phones_;
    const std::wstring phone1_ = mirror_ / L"Phone1";
    const std::wstring memory1_ = phone1_ + L"\\Phone memory (C)";
    com_ptr<IVirtualFileSystem> vfs_;
};

} // namespace

TEST_F(MappingSuite, DeleteAndRefreshReachOnlyTheirOwnPhoneItemsAndRefuseTooLongPaths)
{
    AddPhone(L"Phone1", L"350000000000001");
    for (const wchar_t* folder : {L"ALIAS:Phone1\\C:\\Empty", L"ALIAS:Phone1\\C:\\Full"})
        phones_.MakeFolder(folder);
    for (const wchar_t* file :
         {L"ALIAS:Phone1\\C:\\Full\\in.txt", L"ALIAS:Phone1\\C:\\a.txt", L"ALIAS:Phone1\\C:\\b.txt"})
        PutFile(file);
    // An alias too long for a mirror folder changes nothing.
    EXPECT_EQ(kPathTooLong, table_.OnDeviceConnected(L"350000000000001", std::wstring(250, L'a').c_str()));
    ASSERT_EQ(S_OK, table_.OnDeviceConnected(L"350000000000001", L"Phone1"));
    EXPECT_EQ(Names{L"Phone1"}, table_.Aliases());
    WriteText(phone1_ + L"\\IMEI", "350000000000001");
    ASSERT_EQ(S_OK, Refresh(phone1_));
    ASSERT_EQ(S_OK, Refresh(memory1_));
    // Made after the refresh: its shortcut is missing, so it names no phone file.
    PutFile(L"ALIAS:Phone1\\C:\\Full\\gone.txt");

    // In order: each step sees what the ones before left.
    const struct {
        const wchar_t* pcName;
        bool deletePcFile;
        HRESULT hr;
        const wchar_t* phoneItem; // a phone file to look at, or null
        bool phoneItemLeft;
        bool pcItemLeft;
    } cases[] = {
        {L"\\a.txt.vfslnk", true, S_OK, L"a.txt", false, false},
        {L"\\b.txt.vfslnk", false, S_OK, L"b.txt", false, true},
        {L"\\b.txt.vfslnk", true, kNotFound, nullptr, false, true}, // gone on the phone: its failure is the result
        // A folder shortcut names no phone file; the folder survives to be removed next.
        {L"\\Empty\\folder.vfsfolder", true, E_FAIL, nullptr, false, true},
        {L"\\Empty", true, S_OK, nullptr, false, false},
        {L"\\Full", true, kFolderNotEmpty, nullptr, false, true},
        {L"\\Full\\gone.txt.vfslnk", true, E_FAIL, L"Full\\gone.txt", true, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(Narrow(c.pcName));
        const std::wstring pcPath = memory1_ + c.pcName;
        EXPECT_EQ(c.hr, Delete(pcPath, c.deletePcFile));
        if (c.phoneItem) {
            EXPECT_EQ(c.phoneItemLeft, phones_.Has(std::wstring(L"ALIAS:Phone1\\C:\\") + c.phoneItem));
        }
        EXPECT_EQ(c.pcItemLeft, GetFileAttributesW(pcPath.c_str()) != INVALID_FILE_ATTRIBUTES);
    }

    // Folders of no phone, and phone paths too long, never reach the phone: the faults stay pending.
    MakeFolders(mirror_.path(), {L"\\Other"});
    for (const std::wstring& file : {mirror_ / L"loose.vfslnk", mirror_ / L"Other\\a.vfslnk"})
        WriteText(file, "x");
    // A short PC folder standing for a phone folder with a long name.
    const std::wstring longFolder = memory1_ + L"\\L";
    MakeFolders(longFolder, {L""});
    ASSERT_EQ(S_OK, shortcut::CreateFolderShortcut(longFolder, Item(std::wstring(245, L'n').c_str())));
    WriteText(longFolder + L"\\x.txt.vfslnk", "x");
    for (const wchar_t* operation : {L"readdir", L"deletefile", L"rmdir"})
        SetFault(operation, kStoreFailure);
    for (const std::wstring& folder : {mirror_.path(), mirror_ / L"Other", std::wstring(L"C:\\")})
        EXPECT_EQ(S_OK, Refresh(folder)) << Narrow(folder);
    EXPECT_EQ(S_OK, Delete(mirror_ / L"Other\\x.vfslnk"));
    EXPECT_TRUE(FileExists(mirror_ / L"loose.vfslnk"));
    EXPECT_TRUE(FileExists(mirror_ / L"Other\\a.vfslnk"));
    EXPECT_EQ(kPathTooLong, Refresh(longFolder));
    EXPECT_EQ(kPathTooLong, Delete(longFolder + L"\\x.txt.vfslnk"));
    EXPECT_EQ(kPathTooLong, Delete(longFolder));
    EXPECT_TRUE(FileExists(longFolder + L"\\x.txt.vfslnk"));
    unique_bstr listing;
    EXPECT_EQ(kStoreFailure, vfs_->readdir(Bstr(L"").get(), listing.put(), nullptr));
    EXPECT_EQ(kStoreFailure, vfs_->deletefile(Bstr(L"ALIAS:Phone1\\C:\\none").get(), nullptr));
    EXPECT_EQ(kStoreFailure, vfs_->rmdir(Bstr(L"ALIAS:Phone1\\C:\\none").get(), nullptr));

    // A failed listing leaves the mirror folder as it was (b.txt is gone from the phone).
    const Names before = NamesIn(memory1_);
    SetFault(L"readdir", kNotFound);
    EXPECT_EQ(kNotFound, Refresh(memory1_));
    EXPECT_EQ(before, NamesIn(memory1_));
    phone::PhoneFileSystem noComponent(nullptr, nullptr);
    EXPECT_EQ(E_FAIL, mirror::RefreshFolder(noComponent, table_, memory1_.c_str(), VARIANT_TRUE, nullptr));
}

// Mirror folders and items with shortcuts: see the main object's item refresh.
TEST_F(MappingTable, PhonePathsAreReadFromFolderShortcutsAndShortcutFilesNeverCut)
{
    // Phone names that the PC cannot hold live only in the shortcuts.
    const std::wstring memory = mirror_ / L"Phone1\\Phone memory (C)", album = memory + L"\\a_b_",
                       longName = mirror_ / L"Phone1\\M";
    MakeFolders(L"", {memory, album, longName});
    ASSERT_EQ(S_OK, shortcut::CreateFolderShortcut(memory, Item(L"C:")));
    ASSERT_EQ(S_OK, shortcut::CreateFolderShortcut(album, Item(L"a<b>")));
    // A short PC name for a phone name of 240 characters.
    ASSERT_EQ(S_OK, shortcut::CreateFolderShortcut(longName, Item(std::wstring(240, L'n').c_str())));

    const std::tuple<std::wstring, std::wstring, HRESULT> cases[] = {
        // Not yet on the PC (a copy's target): the PC names themselves.
        {album + L"\\new.txt", L"ALIAS:Phone1\\C:\\a<b>\\new.txt", S_OK},
        // A shortcut file that cannot be read gives nothing.
        {album + L"\\missing.jpg.vfslnk", L"ALIAS:Phone1\\C:\\a<b>", S_OK},
        {mirror_ / L"Unmapped\\x", L"", S_OK},
        // A phone path beyond its 260 characters is refused, not cut.
        {longName, L"ALIAS:Phone1\\" + std::wstring(240, L'n'), S_OK},
        {longName + L"\\abcdef.txt", L"", HRESULT_FROM_WIN32(ERROR_FILENAME_EXCED_RANGE)},
    };
    for (const auto& [pcPath, expected, hr] : cases) {
        std::wstring phonePath = L"stale";
        EXPECT_EQ(hr, table_.ConvertPCNameToVFSName(pcPath.c_str(), phonePath)) << Narrow(pcPath);
        EXPECT_EQ(expected, phonePath) << Narrow(pcPath);
    }
}

TEST_F(MappingTable, PhoneRootFolderIsTheFolderHoldingImeiBelowTheMirrorRootOnly)
{
    const std::wstring phone = mirror_ / L"Phone1";
    const std::wstring deep = phone + L"\\C\\D";
    MakeFolders(phone, {L"\\C", L"\\C\\D"});
    WriteText(phone + L"\\IMEI", "350000000000001");
    WriteText(mirror_ / L"IMEI", "root");
    // A folder that looks like a phone's beside the root, whose name begins with the
    // root's (one elsewhere is refused end to end).
    const std::wstring sibling = root_ + L"X";
    MakeFolders(sibling, {L"", L"\\Phone1", L"\\Phone1\\Text Messages"});
    WriteText(sibling + L"\\Phone1\\IMEI", "350000000000009");
    WriteText(sibling + L"\\IMEI", "350000000000009");

    // The phone's top folder found; empty: none.
    const std::pair<std::wstring, std::wstring> cases[] = {
        {deep, phone},
        {deep + L"\\missing.txt", phone},
        {phone, phone},
        {root_ + L"\\PHONE1\\c", root_ + L"\\PHONE1"},
        {root_ + L"\\Other\\..\\Phone1\\C", phone},
        {root_, L""},
        {sibling + L"\\Phone1\\Text Messages", L""},
        {phone + L"\\..\\..\\" + paths::LastComponent(sibling) + L"\\Phone1", L""},
    };
    for (const auto& [path, found] : cases) {
        std::wstring folder = L"stale";
        EXPECT_EQ(!found.empty(), mirror::FindPhoneRootFolder(path.c_str(), folder)) << Narrow(path);
        EXPECT_EQ(found, folder) << Narrow(path);
    }
    RemoveFolderTree(sibling);
}
