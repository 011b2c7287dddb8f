// The device mapping table without phones: which row a PC path or phone path
// belongs to, the translation of mirror paths into phone paths, the phone's top
// mirror folder, and emptying mirror folders (with phones: MappingSuiteTest).
#include "mirror/DeviceMapping.h"
#include "mirror/MirrorFolders.h"
#include "mirror/MirrorRefresh.h"
#include "shortcut/ShortcutFiles.h"

#include "RegistryOverride.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace testing_support;
using mirror::DeviceMapping;
using phone::VFSItem;
using Names = std::vector<std::wstring>;

namespace {

const char kContactsXml[] = "<Folder><CLSID>FBFE7864-D495-41f0-B7DC-4BB601CC295E</CLSID></Folder>";

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

class MappingTable : public testing::Test
{
protected:
    void SetUp() override
    {
        mirror::ResetConfigurationForTesting();
        root_ = mirrorDir_.path();
        table_.AppendMapping(Row(root_, L"Phone1"));
        table_.AppendMapping(Row(root_, L"Phone10"));
        CreateDirectoryW((mirrorDir_ / L"Phone1").c_str(), nullptr);
        CreateDirectoryW((mirrorDir_ / L"Phone10").c_str(), nullptr);
    }
    void TearDown() override { mirror::ResetConfigurationForTesting(); }

    TempDir mirrorDir_;
    std::wstring root_;
    RegistryOverride rootValue_{HKEY_CURRENT_USER, L"Software\\Marlith\\DataLayer", L"Root", mirrorDir_.path()};
    mirror::DeviceMappingTable table_;
};

} // namespace

TEST(DeviceMappingRow, IsBuiltFromMirrorRootAndAlias)
{
    DeviceMapping row;
    ASSERT_EQ(S_OK, mirror::MakeMapping(L"C:\\Mirror\\", L"My Phone", row));
    EXPECT_STREQ(L"C:\\Mirror\\My Phone", row.PCFolder);
    EXPECT_STREQ(L"ALIAS:My Phone", row.VFSFolder);
    EXPECT_STREQ(L"My Phone", row.device);
    EXPECT_FALSE(row.empty());

    EXPECT_EQ(E_INVALIDARG, mirror::MakeMapping(L"C:\\Mirror", L"", row));
    EXPECT_TRUE(row.empty());
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_FILENAME_EXCED_RANGE),
              mirror::MakeMapping(L"C:\\Mirror", std::wstring(250, L'a').c_str(), row));
    EXPECT_TRUE(row.empty());
}

TEST_F(MappingTable, PcPathsAndDeviceTextsFindTheirOwnPhoneOnly)
{
    // Items of folders with a description belong to no phone; the folder itself
    // lies in the mirror folder, which has none.
    const std::wstring contacts = mirrorDir_ / L"Phone1\\Contacts";
    ASSERT_TRUE(CreateDirectoryW(contacts.c_str(), nullptr));
    WriteText(contacts + L"\\Folder.xml", kContactsXml);
    const struct {
        std::wstring path;
        const wchar_t* device; // empty: no mapping
    } pcPaths[] = {
        {root_ + L"\\Phone1", L"Phone1"},
        {root_ + L"\\Phone1\\", L"Phone1"},
        {root_ + L"\\Phone1\\Phone memory (C)\\a.txt.vfslnk", L"Phone1"},
        {root_ + L"\\PHONE1\\x", L"Phone1"},
        {root_ + L"\\Phone10", L"Phone10"},
        {root_ + L"\\phone10\\x", L"Phone10"},
        {contacts, L"Phone1"},
        {contacts + L"\\card.vcf", L""},
        {root_ + L"\\Phone100", L""},
        {root_ + L"\\Phone1x\\a", L""},
        {root_, L""},
        {root_ + L"\\", L""},
        {L"C:\\elsewhere\\Phone1", L""},
        {L"", L""},
    };
    for (const auto& c : pcPaths)
        EXPECT_STREQ(c.device, table_.FindMappingForPC(c.path.c_str()).device) << Narrow(c.path);
    EXPECT_TRUE(table_.FindMappingForPC(nullptr).empty());

    const struct {
        const wchar_t* text;
        const wchar_t* device;
    } deviceTexts[] = {
        {L"Phone1", L"Phone1"},
        {L"Phone10", L"Phone10"},
        {L"ALIAS:Phone1", L"Phone1"},
        {L"ALIAS:Phone1\\C:\\a.txt", L"Phone1"},
        {L"ALIAS:Phone100", L""},
        {L"Phone", L""},
        {L"phone1", L""},
        {L"ALIAS:", L""},
        {L"", L""},
    };
    for (const auto& c : deviceTexts)
        EXPECT_STREQ(c.device, table_.FindMappingByDevice(c.text).device) << Narrow(c.text);

    // A row stored with a trailing backslash matches too and is given back unchanged.
    mirror::DeviceMappingTable table;
    DeviceMapping row = Row(root_, L"Phone2");
    wcscat(row.PCFolder, L"\\");
    table.AppendMapping(row);
    EXPECT_STREQ(L"Phone2", table.FindMappingForPC((root_ + L"\\Phone2\\x").c_str()).device);
    EXPECT_STREQ((root_ + L"\\Phone2\\").c_str(), table.FindMappingForPC((root_ + L"\\Phone2").c_str()).PCFolder);
}

TEST_F(MappingTable, FirstRowWinsAndRemovalTakesTheFirstOfADevice)
{
    DeviceMapping second = Row(root_, L"Phone1");
    wcscpy(second.VFSFolder, L"ALIAS:second");
    table_.AppendMapping(second);
    EXPECT_STREQ(L"ALIAS:Phone1", table_.FindMappingByDevice(L"Phone1").VFSFolder);
    EXPECT_EQ((Names{L"Phone1", L"Phone10", L"Phone1"}), table_.Aliases());

    table_.RemoveMapping(Row(root_, L"Phone1"));
    EXPECT_STREQ(L"ALIAS:second", table_.FindMappingByDevice(L"Phone1").VFSFolder);
    EXPECT_EQ((Names{L"Phone10", L"Phone1"}), table_.Aliases());
    table_.RemoveMapping(Row(root_, L"Nobody"));
    EXPECT_EQ(2u, table_.Aliases().size());
}

TEST_F(MappingTable, PhonePathsAreReadFromFolderShortcutsAndShortcutFilesNeverCut)
{
    // Phone names that the PC cannot hold live only in the shortcuts.
    const std::wstring memory = mirrorDir_ / L"Phone1\\Phone memory (C)", album = memory + L"\\a_b_",
                       plain = memory + L"\\Plain", longName = mirrorDir_ / L"Phone1\\M";
    for (const std::wstring& folder : {memory, album, plain, longName})
        ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
    ASSERT_EQ(S_OK, shortcut::CreateFolderShortcut(memory, Item(L"C:")));
    ASSERT_EQ(S_OK, shortcut::CreateFolderShortcut(album, Item(L"a<b>")));
    ASSERT_EQ(S_OK, shortcut::CreateShortcutFile(album, Item(L"what?.jpg")));
    // A short PC name for a phone name of 240 characters.
    ASSERT_EQ(S_OK, shortcut::CreateFolderShortcut(longName, Item(std::wstring(240, L'n').c_str())));

    const struct {
        std::wstring pcPath;
        std::wstring phonePath;
        HRESULT hr = S_OK;
    } cases[] = {
        {mirrorDir_ / L"Phone1", L"ALIAS:Phone1"},
        {memory, L"ALIAS:Phone1\\C:"},
        {memory + L"\\", L"ALIAS:Phone1\\C:"},
        {album, L"ALIAS:Phone1\\C:\\a<b>"},
        {album + L"\\what_.jpg.vfslnk", L"ALIAS:Phone1\\C:\\a<b>\\what?.jpg"},
        // Not yet on the PC (a copy's target): the PC names themselves.
        {album + L"\\new.txt", L"ALIAS:Phone1\\C:\\a<b>\\new.txt"},
        {album + L"\\New folder\\x.txt", L"ALIAS:Phone1\\C:\\a<b>\\New folder\\x.txt"},
        // A folder without a folder shortcut gives its PC name.
        {plain, L"ALIAS:Phone1\\C:\\Plain"},
        // A shortcut file that cannot be read gives nothing.
        {album + L"\\missing.jpg.vfslnk", L"ALIAS:Phone1\\C:\\a<b>"},
        {mirrorDir_ / L"Unmapped\\x", L""},
        // A phone path beyond its 260 characters is refused, not cut.
        {longName, L"ALIAS:Phone1\\" + std::wstring(240, L'n')},
        {longName + L"\\abcdef.txt", L"", HRESULT_FROM_WIN32(ERROR_FILENAME_EXCED_RANGE)},
    };
    for (const auto& c : cases) {
        std::wstring phonePath = L"stale";
        EXPECT_EQ(c.hr, table_.ConvertPCNameToVFSName(c.pcPath.c_str(), phonePath)) << Narrow(c.pcPath);
        EXPECT_EQ(c.phonePath, phonePath) << Narrow(c.pcPath);
    }
}

TEST_F(MappingTable, PhoneRootFolderIsTheFolderHoldingImei)
{
    const std::wstring phone = mirrorDir_ / L"Phone1";
    const std::wstring deep = phone + L"\\C\\D";
    CreateDirectoryW((phone + L"\\C").c_str(), nullptr);
    CreateDirectoryW(deep.c_str(), nullptr);
    WriteText(phone + L"\\IMEI", "350000000000001");
    WriteText(deep + L"\\a.txt.vfslnk", "x");
    WriteText(mirrorDir_ / L"IMEI", "root");

    struct Case {
        std::wstring path;
        bool found;
    } cases[] = {
        {deep, true},  {deep + L"\\a.txt.vfslnk", true}, {deep + L"\\missing.txt", true},
        {phone, true}, {mirrorDir_ / L"Phone10", false}, {root_, false},
        {L"", false},
    };
    for (const Case& c : cases) {
        std::wstring folder = L"stale";
        EXPECT_EQ(c.found, mirror::FindPhoneRootFolder(c.path.c_str(), folder)) << Narrow(c.path);
        EXPECT_EQ(c.found ? phone : L"", folder) << Narrow(c.path);
    }
}

TEST_F(MappingTable, EmptyDirectoryFlagsDecideWhatGoes)
{
    struct Case {
        const char* name;
        unsigned flags;
        Names left;
    } cases[] = {
        {"shortcuts only",
         mirror::kEmptyFolderShortcuts | mirror::kEmptySingleAttempt,
         {L"Sub\\", L"Sync\\", L"folder.vfsfolder", L"notes.txt"}},
        {"all files", mirror::kEmptyAllFiles, {L"Sub\\", L"Sync\\"}},
        // Subfolders are emptied with their folder shortcuts whatever the flag.
        {"recursive",
         mirror::kEmptyRecursive | mirror::kEmptySingleAttempt,
         {L"Sync\\", L"folder.vfsfolder", L"notes.txt"}},
        {"recursive with folder shortcuts",
         mirror::kEmptyRecursive | mirror::kEmptyFolderShortcuts,
         {L"Sync\\", L"notes.txt"}},
    };
    for (const Case& c : cases) {
        TempDir dir;
        const std::wstring folder = dir / L"F";
        for (const wchar_t* name : {L"", L"\\Sub", L"\\Sync"})
            CreateDirectoryW((folder + name).c_str(), nullptr);
        for (const wchar_t* name : {L"\\a.jpg.vfslnk", L"\\ro.txt.vfslnk", L"\\folder.vfsfolder", L"\\notes.txt",
                                    L"\\Sub\\folder.vfsfolder", L"\\Sub\\b.vfslnk", L"\\Sync\\card.vcf"})
            WriteText(folder + name, "x");
        SetFileAttributesW((folder + L"\\ro.txt.vfslnk").c_str(), FILE_ATTRIBUTE_READONLY);
        WriteText(folder + L"\\Sync\\Folder.xml", kContactsXml);

        EXPECT_TRUE(mirror::EmptyDirectory(folder.c_str(), c.flags)) << c.name;
        EXPECT_EQ(c.left, NamesIn(folder)) << c.name;
        // Synchronisation folders keep what they hold.
        EXPECT_EQ((Names{L"Folder.xml", L"card.vcf"}), NamesIn(folder + L"\\Sync")) << c.name;
    }
    EXPECT_FALSE(mirror::EmptyDirectory((mirrorDir_ / L"missing").c_str(), mirror::kEmptyRecursive));
}
