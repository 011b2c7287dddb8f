// The device mapping table, the mirror refresh and item removal out of process
// against the simulated phone suite, as the server drives them.
#include "mirror/DeviceMapping.h"
#include "mirror/MirrorItems.h"
#include "mirror/MirrorRefresh.h"
#include "phone/PhoneFileSystem.h"
#include "shortcut/PredefinedFolders.h"
#include "shortcut/ShortcutFiles.h"

#include "RegistryOverride.h"
#include "SimulatedPhones.h"
#include "TestSupport.h"
#include "common/ComPtr.h"
#include "common/Resource.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

using namespace testing_support;
using mirror::DeviceMapping;

namespace {

constexpr HRESULT kNotFound = static_cast<HRESULT>(0x80044343);
constexpr HRESULT kStoreFailure = static_cast<HRESULT>(0x80044342);
constexpr HRESULT kFolderNotEmpty = static_cast<HRESULT>(0x80044345);
const HRESULT kPathTooLong = HRESULT_FROM_WIN32(ERROR_FILENAME_EXCED_RANGE);
constexpr DWORD kHiddenSystem = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;

const char kContactsXml[] = "<Folder><CLSID>FBFE7864-D495-41f0-B7DC-4BB601CC295E</CLSID></Folder>";
const char kMessagesXml[] = "<Folder><CLSID>C0C4375A-5B72-4efe-929D-3B848C3A1E91</CLSID></Folder>";

// Sorted names of a folder, subfolders with a trailing backslash.
std::vector<std::wstring> Names(const std::wstring& folder)
{
    std::vector<std::wstring> files;
    std::vector<std::wstring> folders;
    mirror::GetPcFolderContents(folder.c_str(), files, folders);
    for (const std::wstring& name : folders)
        files.push_back(name + L"\\");
    std::sort(files.begin(), files.end());
    return files;
}

DWORD Attributes(const std::wstring& path)
{
    return GetFileAttributesW(path.c_str());
}

std::wstring PhoneNameIn(const std::wstring& shortcutPath)
{
    return shortcut::GetShortcutDetails(shortcutPath).phoneName;
}

class MappingSuite : public testing::Test
{
protected:
    void SetUp() override
    {
        mirror::ResetConfigurationForTesting();
        mirror::SetVendorName(L"Zentrel");
        shortcut::ResetPredefinedFolderDisplayNames();
        wcscpy(shortcut::PredefinedFolderDisplayName(1), L"Photos"); // predefphotos
        vfs_ = phones_.NewFileSystem();
        ASSERT_TRUE(vfs_);
    }

    void TearDown() override
    {
        shortcut::ResetPredefinedFolderDisplayNames();
        mirror::ResetConfigurationForTesting();
    }

    void AddPhone(const std::wstring& alias, const std::wstring& imei, const std::wstring& model = L"OS-200")
    {
        phones_.AddPhone(alias, imei, model);
        phones_.Connect(alias);
        // These tests drive the table themselves and lay out each mirror folder as
        // they need it: what the suite's data layer left there goes.
        RemoveTree(mirror_ / alias);
    }

    void MakeFolder(const std::wstring& phonePath) { phones_.MakeFolder(phonePath); }
    void PutFile(const std::wstring& phonePath) { phones_.PutBytes(phonePath, {'a', 'b', 'c'}, 38411.5); }
    bool PhoneHas(const std::wstring& phonePath) { return phones_.Has(phonePath); }

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

    // A pending readdir fault proves that no listing was asked for.
    void ExpectReaddirFaultPending()
    {
        unique_bstr listing;
        EXPECT_EQ(kStoreFailure, vfs_->readdir(Bstr(L"").get(), listing.put(), nullptr));
    }

    void AddPhone1() { AddPhone(L"Phone1", L"350000000000001"); }

    // Maps the phone added by AddPhone1 and refreshes its top folder.
    void ConnectPhone1()
    {
        ASSERT_EQ(S_OK, table_.OnDeviceConnected(L"350000000000001", L"Phone1"));
        WriteText(phone1_ + L"\\IMEI", "350000000000001");
        ASSERT_EQ(S_OK, Refresh(phone1_));
    }

    SimulatedPhones phones_;
    TempDir mirror_;
    RegistryOverride rootValue_{HKEY_CURRENT_USER, L"Software\\Marlith\\DataLayer", L"Root", mirror_.path()};
    const std::wstring phone1_ = mirror_ / L"Phone1";
    const std::wstring memory1_ = phone1_ + L"\\Phone memory (C)";
    com_ptr<IVirtualFileSystem> vfs_;
    mirror::DeviceMappingTable table_;
};

} // namespace

TEST_F(MappingSuite, ConnectMapsShowsTheFolderAndSetsSynchronisationFolders)
{
    AddPhone(L"Phone1", L"350000000000001");
    // Contacts only: text and multimedia messages off.
    ASSERT_EQ(S_OK, phones_->SetModelValue(Bstr(L"OS-200").get(), Bstr(L"Ostrelle_Sync").get(), Bstr(L"1").get()));
    // The suite's data layer may have made the folder already.
    CreateDirectoryW(phone1_.c_str(), nullptr);
    ASSERT_TRUE(DirectoryExists(phone1_));
    SetFileAttributesW(phone1_.c_str(), kHiddenSystem);
    for (const wchar_t* name : {L"\\Contacts", L"\\Contacts\\Inner", L"\\Messages", L"\\Ordinary"}) {
        CreateDirectoryW((phone1_ + name).c_str(), nullptr);
        ASSERT_TRUE(DirectoryExists(phone1_ + name));
    }
    WriteText(phone1_ + L"\\Contacts\\Folder.xml", kContactsXml);
    WriteText(phone1_ + L"\\Messages\\Folder.xml", kMessagesXml);
    SetFileAttributesW((phone1_ + L"\\Contacts").c_str(), kHiddenSystem);
    SetFileAttributesW((phone1_ + L"\\Contacts\\Inner").c_str(), kHiddenSystem);

    ASSERT_EQ(S_OK, table_.OnDeviceConnected(L"350000000000001", L"Phone1"));
    const DeviceMapping row = table_.FindMappingByDevice(L"Phone1");
    EXPECT_EQ(phone1_, row.PCFolder);
    EXPECT_STREQ(L"ALIAS:Phone1", row.VFSFolder);
    EXPECT_EQ(0u, Attributes(phone1_) & kHiddenSystem);
    EXPECT_EQ(0u, Attributes(phone1_ + L"\\Contacts") & kHiddenSystem);
    EXPECT_EQ(0u, Attributes(phone1_ + L"\\Contacts\\Inner") & kHiddenSystem);
    EXPECT_EQ(kHiddenSystem, Attributes(phone1_ + L"\\Messages") & kHiddenSystem);
    EXPECT_EQ(0u, Attributes(phone1_ + L"\\Ordinary") & kHiddenSystem);

    // A new phone gets a new folder.
    AddPhone(L"Phone2", L"350000000000002", L"os-300");
    ASSERT_EQ(S_OK, table_.OnDeviceConnected(L"350000000000002", L"Phone2"));
    EXPECT_TRUE(DirectoryExists(mirror_ / L"Phone2"));
    EXPECT_EQ((std::vector<std::wstring>{L"Phone1", L"Phone2"}), table_.Aliases());
}

TEST_F(MappingSuite, UnsupportedOrUnknownPhonesChangeNothing)
{
    AddPhone(L"Old", L"350000000000009", L"XY-1");
    EXPECT_EQ(E_FAIL, table_.OnDeviceConnected(L"350000000000009", L"Old"));
    EXPECT_EQ(E_FAIL, table_.OnDeviceConnected(L"999", L"Ghost"));
    EXPECT_TRUE(table_.Aliases().empty());
    EXPECT_EQ(std::vector<std::wstring>{}, Names(mirror_.path()));

    EXPECT_EQ(S_OK, table_.OnDeviceDisconnected(L"", L"Ghost"));
    EXPECT_EQ(S_OK, table_.OnDeviceDisconnected(nullptr, nullptr));
    EXPECT_TRUE(table_.Aliases().empty());
}

TEST_F(MappingSuite, DisconnectHidesAndEmptiesButKeepsImeiAndSynchronisationFolders)
{
    AddPhone1();
    MakeFolder(L"ALIAS:Phone1\\C:\\Album");
    PutFile(L"ALIAS:Phone1\\C:\\a.txt");
    ConnectPhone1();
    ASSERT_EQ(S_OK, Refresh(memory1_));
    const std::wstring contacts = phone1_ + L"\\Contacts";
    ASSERT_TRUE(CreateDirectoryW(contacts.c_str(), nullptr));
    WriteText(contacts + L"\\Folder.xml", kContactsXml);
    WriteText(contacts + L"\\card.vcf", "x");
    ASSERT_EQ((std::vector<std::wstring>{L"Album\\", L"a.txt.vfslnk", L"folder.vfsfolder"}), Names(memory1_));

    EXPECT_EQ(S_OK, table_.OnDeviceDisconnected(L"", L"Phone1"));
    EXPECT_TRUE(table_.Aliases().empty());
    EXPECT_EQ(kHiddenSystem, Attributes(phone1_) & kHiddenSystem);
    EXPECT_EQ((std::vector<std::wstring>{L"Contacts\\", L"IMEI"}), Names(phone1_));
    EXPECT_EQ((std::vector<std::wstring>{L"Folder.xml", L"card.vcf"}), Names(contacts));
    EXPECT_EQ(kHiddenSystem, Attributes(contacts) & kHiddenSystem);
}

TEST_F(MappingSuite, RefreshBuildsFoldersWithTheirShortcutsAndShortcutFiles)
{
    AddPhone(L"Phone1", L"350000000000001");
    MakeFolder(L"ALIAS:Phone1\\C:\\predefphotos");
    MakeFolder(L"ALIAS:Phone1\\C:\\a<b>");
    PutFile(L"ALIAS:Phone1\\C:\\x?y.txt");
    PutFile(L"ALIAS:Phone1\\C:\\x*y.txt");
    PutFile(L"ALIAS:Phone1\\C:\\con.txt");
    ASSERT_EQ(S_OK, table_.OnDeviceConnected(L"350000000000001", L"Phone1"));
    WriteText(phone1_ + L"\\IMEI", "350000000000001");

    ASSERT_EQ(S_OK, Refresh(phone1_));
    EXPECT_EQ((std::vector<std::wstring>{L"IMEI", L"Memory card (E)\\", L"Phone memory (C)\\"}), Names(phone1_));
    const std::wstring memoryShortcut = memory1_ + L"\\folder.vfsfolder";
    EXPECT_EQ(kHiddenSystem, Attributes(memoryShortcut) & kHiddenSystem);
    const mirror::VFSItem memory = shortcut::GetShortcutDetails(memoryShortcut);
    EXPECT_STREQ(L"C:", memory.phoneName);
    EXPECT_STREQ(L"Phone memory", memory.label);
    EXPECT_STREQ(L"PHONE", memory.memType);

    ASSERT_EQ(S_OK, Refresh(memory1_));
    EXPECT_EQ((std::vector<std::wstring>{L"Photos\\", L"_con.txt.vfslnk", L"a_b_\\", L"folder.vfsfolder",
                                         L"x_y(2).txt.vfslnk", L"x_y.txt.vfslnk"}),
              Names(memory1_));
    EXPECT_EQ(L"predefphotos", PhoneNameIn(memory1_ + L"\\Photos\\folder.vfsfolder"));
    EXPECT_EQ(L"a<b>", PhoneNameIn(memory1_ + L"\\a_b_\\folder.vfsfolder"));
    EXPECT_EQ(L"con.txt", PhoneNameIn(memory1_ + L"\\_con.txt.vfslnk"));

    // Back from the PC names to the phone items. Which of the two colliding
    // names is numbered follows the listing's order.
    std::vector<std::wstring> collided{PhoneNameIn(memory1_ + L"\\x_y.txt.vfslnk"),
                                       PhoneNameIn(memory1_ + L"\\x_y(2).txt.vfslnk")};
    struct Case {
        std::wstring pcPath;
        std::wstring phonePath;
    } cases[] = {
        {memory1_ + L"\\Photos", L"ALIAS:Phone1\\C:\\predefphotos"},
        {memory1_ + L"\\a_b_", L"ALIAS:Phone1\\C:\\a<b>"},
        {memory1_ + L"\\_con.txt.vfslnk", L"ALIAS:Phone1\\C:\\con.txt"},
        {memory1_ + L"\\x_y.txt.vfslnk", L"ALIAS:Phone1\\C:\\" + collided[0]},
        {memory1_ + L"\\x_y(2).txt.vfslnk", L"ALIAS:Phone1\\C:\\" + collided[1]},
    };
    for (const Case& c : cases) {
        std::wstring phonePath;
        EXPECT_EQ(S_OK, table_.ConvertPCNameToVFSName(c.pcPath.c_str(), phonePath));
        EXPECT_EQ(c.phonePath, phonePath);
    }
    std::sort(collided.begin(), collided.end());
    EXPECT_EQ((std::vector<std::wstring>{L"x*y.txt", L"x?y.txt"}), collided);

    // Without files the shortcut files stay as they are.
    DeleteFileW((memory1_ + L"\\_con.txt.vfslnk").c_str());
    ASSERT_EQ(S_OK, Refresh(memory1_, VARIANT_FALSE));
    EXPECT_FALSE(FileExists(memory1_ + L"\\_con.txt.vfslnk"));
    ASSERT_EQ(S_OK, Refresh(memory1_, 1)); // only VARIANT_TRUE asks for files
    EXPECT_FALSE(FileExists(memory1_ + L"\\_con.txt.vfslnk"));
}

TEST_F(MappingSuite, RefreshRemovesStaleFoldersAndRewritesShortcutFiles)
{
    AddPhone1();
    MakeFolder(L"ALIAS:Phone1\\C:\\Album");
    PutFile(L"ALIAS:Phone1\\C:\\new.txt");
    ConnectPhone1();
    WriteText(phone1_ + L"\\stray.dat", "x");
    ASSERT_TRUE(CreateDirectoryW(memory1_.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS);
    ASSERT_TRUE(CreateDirectoryW((memory1_ + L"\\ALBUM").c_str(), nullptr));
    for (const wchar_t* name : {L"\\Gone", L"\\Gone\\Deeper", L"\\Old", L"\\Old\\Contacts", L"\\Kept"})
        ASSERT_TRUE(CreateDirectoryW((memory1_ + name).c_str(), nullptr));
    WriteText(memory1_ + L"\\Gone\\folder.vfsfolder", "x");
    WriteText(memory1_ + L"\\Gone\\Deeper\\b.jpg.vfslnk", "x");
    WriteText(memory1_ + L"\\Old\\Contacts\\Folder.xml", kContactsXml);
    WriteText(memory1_ + L"\\Kept\\mine.doc", "x"); // not a shortcut: the folder cannot go
    WriteText(memory1_ + L"\\old.txt.vfslnk", "x");
    WriteText(memory1_ + L"\\new.txt.vfslnk", "stale");
    SetFileAttributesW((memory1_ + L"\\new.txt.vfslnk").c_str(), FILE_ATTRIBUTE_READONLY);
    WriteText(memory1_ + L"\\notes.doc", "x");

    ASSERT_EQ(S_OK, Refresh(memory1_));
    EXPECT_EQ((std::vector<std::wstring>{L"ALBUM\\", L"Kept\\", L"Old\\", L"folder.vfsfolder", L"new.txt.vfslnk",
                                         L"notes.doc"}),
              Names(memory1_));
    EXPECT_EQ(L"new.txt", PhoneNameIn(memory1_ + L"\\new.txt.vfslnk"));
    EXPECT_EQ(L"Album", PhoneNameIn(memory1_ + L"\\ALBUM\\folder.vfsfolder"));
    EXPECT_EQ((std::vector<std::wstring>{L"Folder.xml"}), Names(memory1_ + L"\\Old\\Contacts"));

    // The top folder keeps only IMEI among its files.
    ASSERT_EQ(S_OK, Refresh(phone1_));
    EXPECT_EQ((std::vector<std::wstring>{L"IMEI", L"Memory card (E)\\", L"Phone memory (C)\\"}), Names(phone1_));
}

TEST_F(MappingSuite, FoldersOfNoPhoneAndFailedListingsChangeNothing)
{
    AddPhone1();
    ConnectPhone1();
    WriteText(mirror_ / L"loose.vfslnk", "x");
    ASSERT_TRUE(CreateDirectoryW((mirror_ / L"Other").c_str(), nullptr));
    WriteText(mirror_ / L"Other\\a.vfslnk", "x");
    ASSERT_TRUE(CreateDirectoryW((memory1_ + L"\\Stale").c_str(), nullptr));
    WriteText(memory1_ + L"\\a.vfslnk", "x");
    const std::vector<std::wstring> before = Names(memory1_);

    ASSERT_EQ(S_OK, phones_->SetFault(Bstr(L"readdir").get(), kStoreFailure, 1));
    EXPECT_EQ(S_OK, Refresh(mirror_.path()));
    EXPECT_EQ(S_OK, Refresh(mirror_ / L"Other"));
    EXPECT_EQ(S_OK, Refresh(L"C:\\"));
    EXPECT_TRUE(FileExists(mirror_ / L"loose.vfslnk"));
    EXPECT_TRUE(FileExists(mirror_ / L"Other\\a.vfslnk"));
    ExpectReaddirFaultPending();

    ASSERT_EQ(S_OK, phones_->SetFault(Bstr(L"readdir").get(), kNotFound, 1));
    EXPECT_EQ(kNotFound, Refresh(memory1_));
    EXPECT_EQ(before, Names(memory1_));

    phone::PhoneFileSystem noComponent(nullptr, nullptr);
    EXPECT_EQ(E_FAIL, mirror::RefreshFolder(noComponent, table_, memory1_.c_str(), VARIANT_TRUE, nullptr));
}

TEST_F(MappingSuite, PhonesWhoseAliasesArePrefixesReachTheirOwnPhone)
{
    AddPhone(L"Phone1", L"350000000000001");
    AddPhone(L"Phone10", L"350000000000010");
    PutFile(L"ALIAS:Phone1\\C:\\same.txt");
    PutFile(L"ALIAS:Phone10\\C:\\same.txt");
    PutFile(L"ALIAS:Phone10\\C:\\only10.txt");
    ASSERT_EQ(S_OK, table_.OnDeviceConnected(L"350000000000001", L"Phone1"));
    ASSERT_EQ(S_OK, table_.OnDeviceConnected(L"350000000000010", L"Phone10"));
    const std::wstring memory10 = mirror_ / L"Phone10\\Phone memory (C)";
    for (const std::wstring& folder : {phone1_, memory1_, mirror_ / L"Phone10", memory10})
        ASSERT_EQ(S_OK, Refresh(folder));
    EXPECT_EQ((std::vector<std::wstring>{L"folder.vfsfolder", L"same.txt.vfslnk"}), Names(memory1_));
    EXPECT_EQ((std::vector<std::wstring>{L"folder.vfsfolder", L"only10.txt.vfslnk", L"same.txt.vfslnk"}),
              Names(memory10));

    std::wstring phonePath;
    ASSERT_EQ(S_OK, table_.ConvertPCNameToVFSName((memory10 + L"\\same.txt.vfslnk").c_str(), phonePath));
    EXPECT_EQ(L"ALIAS:Phone10\\C:\\same.txt", phonePath);

    EXPECT_EQ(S_OK, Delete(memory10 + L"\\same.txt.vfslnk"));
    EXPECT_FALSE(PhoneHas(L"ALIAS:Phone10\\C:\\same.txt"));
    EXPECT_TRUE(PhoneHas(L"ALIAS:Phone1\\C:\\same.txt"));
    EXPECT_FALSE(FileExists(memory10 + L"\\same.txt.vfslnk"));
    EXPECT_TRUE(FileExists(memory1_ + L"\\same.txt.vfslnk"));
}

TEST_F(MappingSuite, TooLongPhonePathsAreRefusedBeforeThePhoneIsCalled)
{
    AddPhone1();
    ConnectPhone1();
    ASSERT_EQ(S_OK, Refresh(memory1_));
    // A short PC folder standing for a phone folder with a long name.
    const std::wstring longFolder = memory1_ + L"\\L";
    ASSERT_TRUE(CreateDirectoryW(longFolder.c_str(), nullptr));
    mirror::VFSItem item{};
    mirror::CopyField(item.phoneName, std::wstring(245, L'n').c_str());
    ASSERT_EQ(S_OK, shortcut::CreateFolderShortcut(longFolder, item));
    WriteText(longFolder + L"\\x.txt.vfslnk", "x");

    ASSERT_EQ(S_OK, phones_->SetFault(Bstr(L"readdir").get(), kStoreFailure, 1));
    ASSERT_EQ(S_OK, phones_->SetFault(Bstr(L"deletefile").get(), kStoreFailure, 1));
    ASSERT_EQ(S_OK, phones_->SetFault(Bstr(L"rmdir").get(), kStoreFailure, 1));
    EXPECT_EQ(kPathTooLong, Refresh(longFolder));
    EXPECT_EQ(kPathTooLong, Delete(longFolder + L"\\x.txt.vfslnk"));
    EXPECT_EQ(kPathTooLong, Delete(longFolder));
    EXPECT_TRUE(FileExists(longFolder + L"\\x.txt.vfslnk"));
    ExpectReaddirFaultPending();
    EXPECT_EQ(kStoreFailure, vfs_->deletefile(Bstr(L"ALIAS:Phone1\\C:\\none").get(), nullptr));
    EXPECT_EQ(kStoreFailure, vfs_->rmdir(Bstr(L"ALIAS:Phone1\\C:\\none").get(), nullptr));
}

TEST_F(MappingSuite, DeleteRemovesThePhoneItemAndItsMirror)
{
    AddPhone1();
    MakeFolder(L"ALIAS:Phone1\\C:\\Empty");
    MakeFolder(L"ALIAS:Phone1\\C:\\Full");
    PutFile(L"ALIAS:Phone1\\C:\\Full\\in.txt");
    PutFile(L"ALIAS:Phone1\\C:\\a.txt");
    PutFile(L"ALIAS:Phone1\\C:\\b.txt");
    ConnectPhone1();
    ASSERT_EQ(S_OK, Refresh(memory1_));
    WriteText(memory1_ + L"\\plain.doc", "x");

    EXPECT_EQ(S_OK, Delete(memory1_ + L"\\a.txt.vfslnk"));
    EXPECT_FALSE(PhoneHas(L"ALIAS:Phone1\\C:\\a.txt"));
    EXPECT_FALSE(FileExists(memory1_ + L"\\a.txt.vfslnk"));

    EXPECT_EQ(S_OK, Delete(memory1_ + L"\\b.txt.vfslnk", false));
    EXPECT_FALSE(PhoneHas(L"ALIAS:Phone1\\C:\\b.txt"));
    EXPECT_TRUE(FileExists(memory1_ + L"\\b.txt.vfslnk"));
    // Now gone on the phone: its failure is the result.
    EXPECT_EQ(kNotFound, Delete(memory1_ + L"\\b.txt.vfslnk"));
    EXPECT_TRUE(FileExists(memory1_ + L"\\b.txt.vfslnk"));

    // A folder shortcut names no phone file; the folder survives to be removed below.
    EXPECT_EQ(E_FAIL, Delete(memory1_ + L"\\Empty\\folder.vfsfolder"));
    EXPECT_TRUE(FileExists(memory1_ + L"\\Empty\\folder.vfsfolder"));
    EXPECT_EQ(S_OK, Delete(memory1_ + L"\\Empty"));
    EXPECT_FALSE(DirectoryExists(memory1_ + L"\\Empty"));
    EXPECT_EQ(kFolderNotEmpty, Delete(memory1_ + L"\\Full"));
    EXPECT_TRUE(DirectoryExists(memory1_ + L"\\Full"));

    EXPECT_EQ(E_FAIL, Delete(memory1_ + L"\\plain.doc"));
    // A shortcut that cannot be read names no phone file: nothing is deleted.
    PutFile(L"ALIAS:Phone1\\C:\\Full\\gone.txt");
    EXPECT_EQ(E_FAIL, Delete(memory1_ + L"\\Full\\gone.txt.vfslnk"));
    EXPECT_TRUE(PhoneHas(L"ALIAS:Phone1\\C:\\Full\\gone.txt"));
    EXPECT_EQ(S_OK, Delete(mirror_ / L"Other\\x.vfslnk"));
    phone::PhoneFileSystem phoneFs(vfs_.get(), nullptr);
    EXPECT_EQ(E_POINTER, mirror::DeleteFileOrFolder(phoneFs, table_, nullptr, nullptr, true));
    EXPECT_EQ(E_INVALIDARG, mirror::DeleteFileOrFolder(phoneFs, table_, L"", nullptr, true));
}
