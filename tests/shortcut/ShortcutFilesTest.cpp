// Shortcut files and folder shortcuts of phone items, and reading them back.
#include "shortcut/ShortcutFiles.h"
#include "shortcut/PredefinedFolders.h"
#include "shortcut/VFSShortcut.h"

#include "TestSupport.h"
#include "common/Resource.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace testing_support;
using mirror::VFSItem;

namespace {

constexpr DWORD kHiddenSystem = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;

VFSItem PhotoItem()
{
    VFSItem item{};
    mirror::CopyField(item.phoneName, L"ALIAS:Phone\\C:\\Images\\photo.jpg");
    mirror::CopyField(item.pcName, L"ignored");
    item.size = 2048;
    item.created = 38411.0 + (13 * 3600 + 45 * 60 + 9) / 86400.0;
    item.modified = 38046.5;
    mirror::CopyField(item.userPerm, L"RW");
    mirror::CopyField(item.label, L"Phone memory");
    mirror::CopyField(item.memType, L"DEV");
    mirror::CopyField(item.mimeType, L"image/jpeg");
    return item;
}

const std::wstring kPhotoText = L"[VFSShortcut]\r\n"
                                L"Name=\"photo.jpg\"\r\n"
                                L"Label=\"Phone memory\"\r\n"
                                L"MemType=\"DEV\"\r\n"
                                L"MimeType=\"image/jpeg\"\r\n"
                                L"Size=2048\r\n"
                                L"UserPerm=RW\r\n"
                                L"GroupPerm=\r\n"
                                L"OtherPerm=\r\n"
                                L"Created=2005-02-28 13:45:09\r\n"
                                L"Accessed=1899-12-30 00:00:00\r\n"
                                L"Modified=2004-02-29 12:00:00\r\n";

DWORD Attributes(const std::wstring& path)
{
    return GetFileAttributesW(path.c_str());
}

} // namespace

TEST(ShortcutFiles, ShortcutFileIsWrittenUnderAUniqueName)
{
    TempDir dir;
    ASSERT_EQ(S_OK, shortcut::CreateShortcutFile(dir.path(), PhotoItem()));
    ASSERT_EQ(S_OK, shortcut::CreateShortcutFile(dir.path(), PhotoItem()));
    EXPECT_EQ(ReadBytes(dir / L"photo.jpg.vfslnk"), Utf16Bom(kPhotoText));
    EXPECT_EQ(ReadBytes(dir / L"photo(2).jpg.vfslnk"), Utf16Bom(kPhotoText));
    EXPECT_EQ(Attributes(dir / L"photo.jpg.vfslnk") & kHiddenSystem, 0u);
}

TEST(ShortcutFiles, ShortcutFileOutsideAnyFolderFails)
{
    TempDir dir;
    EXPECT_EQ(E_FAIL, shortcut::CreateShortcutFile(dir / L"missing\\deeper", PhotoItem()));
}

TEST(ShortcutFiles, FolderShortcutIsHiddenAndSystem)
{
    TempDir dir;
    ASSERT_EQ(S_OK, shortcut::CreateFolderShortcut(dir.path() + L"\\", PhotoItem()));
    const std::wstring path = dir / L"folder.vfsfolder";
    EXPECT_EQ(ReadBytes(path), Utf16Bom(kPhotoText));
    EXPECT_EQ(Attributes(path) & kHiddenSystem, kHiddenSystem);
    // Written again over the hidden one.
    VFSItem other = PhotoItem();
    other.size = 1;
    ASSERT_EQ(S_OK, shortcut::CreateFolderShortcut(dir.path(), other));
    EXPECT_EQ(shortcut::GetShortcutDetails(path).size, 1);
    EXPECT_EQ(Attributes(path) & kHiddenSystem, kHiddenSystem);
}

TEST(ShortcutFiles, FolderShortcutIsHiddenAndSystemEvenWhenSavingFails)
{
    TempDir dir;
    const std::wstring path = dir / L"folder.vfsfolder";
    WriteText(path, "old");
    {
        // Held open without sharing, the file cannot be rewritten.
        unique_file holder(CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(holder);
        EXPECT_EQ(E_FAIL, shortcut::CreateFolderShortcut(dir.path(), PhotoItem()));
    }
    EXPECT_EQ(ReadBytes(path), (std::vector<unsigned char>{'o', 'l', 'd'}));
    EXPECT_EQ(Attributes(path) & kHiddenSystem, kHiddenSystem);
}

TEST(ShortcutFiles, DetailsAreReadBackFromAShortcut)
{
    TempDir dir;
    ASSERT_EQ(S_OK, shortcut::CreateShortcutFile(dir.path(), PhotoItem()));
    const VFSItem item = shortcut::GetShortcutDetails(dir / L"photo.jpg.vfslnk");
    EXPECT_STREQ(item.phoneName, L"photo.jpg");
    EXPECT_STREQ(item.pcName, L"");
    EXPECT_EQ(item.size, 2048);
    EXPECT_NEAR(item.created, PhotoItem().created, 1e-9);
    EXPECT_NEAR(item.modified, 38046.5, 1e-9);
    EXPECT_STREQ(item.userPerm, L"RW");
    EXPECT_STREQ(item.label, L"Phone memory");
    EXPECT_STREQ(item.memType, L"DEV");
    EXPECT_STREQ(item.mimeType, L"image/jpeg");
}

TEST(ShortcutFiles, DetailsAreCutToTheirFields)
{
    TempDir dir;
    const std::wstring longText(300, L'x');
    WriteBytes(dir / L"a.vfslnk",
               Utf16Bom(L"[VFSShortcut]\r\nName=\"" + longText + L"\"\r\nLabel=\"" + longText + L"\"\r\nMemType=\"" +
                        longText + L"\"\r\nMimeType=\"" + longText + L"\"\r\nUserPerm=" + longText + L"\r\n"));
    const VFSItem item = shortcut::GetShortcutDetails(dir / L"a.vfslnk");
    EXPECT_EQ(std::wstring(item.phoneName), std::wstring(259, L'x'));
    EXPECT_EQ(std::wstring(item.label), std::wstring(259, L'x'));
    EXPECT_EQ(std::wstring(item.memType), std::wstring(15, L'x'));
    EXPECT_EQ(std::wstring(item.mimeType), std::wstring(127, L'x'));
    EXPECT_EQ(std::wstring(item.userPerm), std::wstring(15, L'x'));
}

TEST(ShortcutFiles, DetailsOfAMissingFileAreEmpty)
{
    TempDir dir;
    const VFSItem item = shortcut::GetShortcutDetails(dir / L"missing.vfslnk");
    const VFSItem empty{};
    EXPECT_EQ(0, std::memcmp(&item, &empty, sizeof(VFSItem)));
}

TEST(ShortcutFiles, PredefinedFoldersGetTheirDisplayNames)
{
    wcscpy(shortcut::PredefinedFolderDisplayName(1), L"Photos"); // predefphotos
    const struct {
        const wchar_t* path;
        const wchar_t* mapped;
    } cases[] = {
        {L"C:\\Mirror\\Phone\\predefphotos", L"C:\\Mirror\\Phone\\Photos"},
        {L"C:\\Mirror\\Phone\\predefphotos\\", L"C:\\Mirror\\Phone\\Photos"},
        {L"ALIAS:Phone\\C:\\predefmusic", L"ALIAS:Phone\\C:\\predefmusic"}, // display name still the token
        {L"predefphotos", L"Photos"},
        {L"C:\\Mirror\\Phone\\PredefPhotos", L"C:\\Mirror\\Phone\\PredefPhotos"},
        {L"C:\\Mirror\\Phone\\Other\\", L"C:\\Mirror\\Phone\\Other\\"},
    };
    for (const auto& c : cases) {
        std::wstring mapped;
        EXPECT_EQ(S_OK, shortcut::MapPredefinedFolderName(c.path, mapped)) << Narrow(c.path);
        EXPECT_EQ(mapped, c.mapped) << Narrow(c.path);
    }
    // A display name that would push the path beyond the limit is refused.
    wcscpy(shortcut::PredefinedFolderDisplayName(1), std::wstring(200, L'p').c_str());
    std::wstring mapped;
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_FILENAME_EXCED_RANGE),
              shortcut::MapPredefinedFolderName(L"C:\\" + std::wstring(100, L'm') + L"\\predefphotos", mapped));
    EXPECT_EQ(mapped, L"");
    shortcut::ResetPredefinedFolderDisplayNames();
}

TEST(ShortcutFiles, FolderShortcutsAreShownAndHiddenThroughTheTree)
{
    TempDir dir;
    ASSERT_TRUE(CreateDirectoryW((dir / L"sub").c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryW((dir / L"sub\\deeper").c_str(), nullptr));
    const std::wstring shortcuts[] = {dir / L"folder.vfsfolder", dir / L"sub\\folder.vfsfolder",
                                      dir / L"sub\\deeper\\folder.vfsfolder"};
    for (const auto& path : shortcuts) {
        WriteText(path, "");
        SetFileAttributesW(path.c_str(), kHiddenSystem);
    }
    const std::wstring other = dir / L"sub\\photo.jpg.vfslnk";
    WriteText(other, "");
    SetFileAttributesW(other.c_str(), FILE_ATTRIBUTE_HIDDEN);

    shortcut::SetFolderShortcutAttributes(dir.path(), false);
    for (const auto& path : shortcuts)
        EXPECT_EQ(Attributes(path) & kHiddenSystem, 0u) << Narrow(path);
    EXPECT_EQ(Attributes(other) & kHiddenSystem, DWORD(FILE_ATTRIBUTE_HIDDEN));

    shortcut::SetFolderShortcutAttributes(dir.path() + L"\\", true);
    for (const auto& path : shortcuts)
        EXPECT_EQ(Attributes(path) & kHiddenSystem, kHiddenSystem) << Narrow(path);
    EXPECT_EQ(Attributes(other) & kHiddenSystem, DWORD(FILE_ATTRIBUTE_HIDDEN));

    shortcut::SetFolderShortcutAttributes(dir / L"missing", false); // nothing to do, no harm
}

TEST(ShortcutFiles, PredicatesTellItemsApart)
{
    TempDir dir;
    const struct {
        std::wstring path;
        bool shortcutFile, folderShortcut, directory;
    } cases[] = {
        {L"a.vfslnk", true, false, false},
        {L"a.vfslnk.txt", true, false, false},
        {L"A.VFSLNK", false, false, false},
        {L"X\\folder.vfsfolder", false, true, false},
        {L"X\\Folder.vfsfolder", false, false, false},
        {dir.path(), false, false, true},
        {dir / L"missing", false, false, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(shortcut::IsShortcutFile(c.path.c_str()), c.shortcutFile) << Narrow(c.path);
        EXPECT_EQ(shortcut::IsFolderShortcut(c.path.c_str()), c.folderShortcut) << Narrow(c.path);
        EXPECT_EQ(shortcut::IsDirectory(c.path.c_str()), c.directory) << Narrow(c.path);
    }
}
