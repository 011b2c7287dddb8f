// Shortcut files and folder shortcuts of phone items, and reading them back.
#include "shortcut/ShortcutFiles.h"
#include "localisation/PredefinedFolders.h"
#include "shortcut/VFSShortcut.h"

#include "TestSupport.h"
#include "common/Resource.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace testing_support;
using phone::VFSItem;

namespace {

VFSItem PhotoItem()
{
    return {L"ALIAS:Phone\\C:\\Images\\photo.jpg",
            L"ignored",
            2048,
            38411.0 + (13 * 3600 + 45 * 60 + 9) / 86400.0,
            38046.5,
            L"RW",
            L"Phone memory",
            L"DEV",
            L"image/jpeg"};
}

const std::wstring kPhotoText =
    L"[VFSShortcut]\r\nName=\"photo.jpg\"\r\nLabel=\"Phone memory\"\r\nMemType=\"DEV\"\r\n"
    L"MimeType=\"image/jpeg\"\r\nSize=2048\r\nUserPerm=RW\r\nGroupPerm=\r\nOtherPerm=\r\n"
    L"Created=2005-02-28 13:45:09\r\nAccessed=1899-12-30 00:00:00\r\nModified=2004-02-29 12:00:00\r\n";

// The text fields and the size as "phone name|PC name|size|user-perm|label|mem-type|type".
std::wstring Fields(const VFSItem& i)
{
    return std::wstring(i.phoneName) + L"|" + i.pcName + L"|" + std::to_wstring(i.size) + L"|" + i.userPerm + L"|" +
           i.label + L"|" + i.memType + L"|" + i.mimeType;
}

} // namespace

TEST(ShortcutFiles, ShortcutFileIsWrittenUnderAUniqueNameAndReadBack)
{
    TempDir dir;
    ASSERT_EQ(S_OK, shortcut::CreateShortcutFile(dir.path(), PhotoItem()));
    ASSERT_EQ(S_OK, shortcut::CreateShortcutFile(dir.path(), PhotoItem()));
    EXPECT_EQ(ReadBytes(dir / L"photo.jpg.vfslnk"), Utf16Bom(kPhotoText));
    EXPECT_EQ(ReadBytes(dir / L"photo(2).jpg.vfslnk"), Utf16Bom(kPhotoText));
    EXPECT_EQ(HiddenSystemOf(dir / L"photo.jpg.vfslnk"), 0u);
    EXPECT_EQ(E_FAIL, shortcut::CreateShortcutFile(dir / L"missing\\deeper", PhotoItem()));

    const VFSItem item = shortcut::GetShortcutDetails(dir / L"photo.jpg.vfslnk");
    EXPECT_EQ(Fields(item), L"photo.jpg||2048|RW|Phone memory|DEV|image/jpeg");
    EXPECT_NEAR(item.created, PhotoItem().created, 1e-9);
    EXPECT_NEAR(item.modified, 38046.5, 1e-9);
    const VFSItem missing = shortcut::GetShortcutDetails(dir / L"missing.vfslnk");
    const VFSItem empty{};
    EXPECT_EQ(0, std::memcmp(&missing, &empty, sizeof(VFSItem)));
}

TEST(ShortcutFiles, DetailsAreCutToTheirFields)
{
    TempDir dir;
    const std::wstring x(300, L'x');
    WriteBytes(dir / L"a.vfslnk",
               Utf16Bom(L"[VFSShortcut]\r\nName=\"" + x + L"\"\r\nLabel=\"" + x + L"\"\r\nMemType=\"" + x +
                        L"\"\r\nMimeType=\"" + x + L"\"\r\nUserPerm=" + x + L"\r\n"));
    const VFSItem item = shortcut::GetShortcutDetails(dir / L"a.vfslnk");
    EXPECT_EQ(Fields(item), x.substr(0, 259) + L"||0|" + x.substr(0, 15) + L"|" + x.substr(0, 259) + L"|" +
                                x.substr(0, 15) + L"|" + x.substr(0, 127));
}

TEST(ShortcutFiles, FolderShortcutIsHiddenAndSystemAlsoWhenWrittenAgainOrWhenSavingFails)
{
    TempDir dir;
    const std::wstring path = dir / L"folder.vfsfolder";
    ASSERT_EQ(S_OK, shortcut::CreateFolderShortcut(dir.path() + L"\\", PhotoItem()));
    EXPECT_EQ(ReadBytes(path), Utf16Bom(kPhotoText));
    EXPECT_EQ(HiddenSystemOf(path), kHiddenSystem);
    VFSItem other = PhotoItem();
    other.size = 1;
    ASSERT_EQ(S_OK, shortcut::CreateFolderShortcut(dir.path(), other));
    EXPECT_EQ(shortcut::GetShortcutDetails(path).size, 1);
    EXPECT_EQ(HiddenSystemOf(path), kHiddenSystem);

    TempDir failing;
    const std::wstring held = failing / L"folder.vfsfolder";
    WriteText(held, "old");
    {
        // Held open without sharing, the file cannot be rewritten.
        unique_file holder(CreateFileW(held.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(holder);
        EXPECT_EQ(E_FAIL, shortcut::CreateFolderShortcut(failing.path(), PhotoItem()));
    }
    EXPECT_EQ(ReadBytes(held), (std::vector<unsigned char>{'o', 'l', 'd'}));
    EXPECT_EQ(HiddenSystemOf(held), kHiddenSystem);
}

// The names themselves: see the refresh and the main object's tests.
TEST(ShortcutFiles, APredefinedFolderNameThatWouldPassThePathLimitIsRefused)
{
    localisation::SetPredefinedFolderDisplayNameForTesting(L"predefphotos", std::wstring(200, L'p'));
    std::wstring mapped = L"unchanged";
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_FILENAME_EXCED_RANGE),
              shortcut::MapPredefinedFolderName(L"C:\\" + std::wstring(100, L'm') + L"\\predefphotos", mapped));
    EXPECT_EQ(mapped, L"");
    localisation::ResetPredefinedFolderDisplayNames();
}

TEST(ShortcutFiles, FolderShortcutsAreShownAndHiddenThroughTheTree)
{
    TempDir dir;
    MakeFolders(dir.path(), {L"\\sub", L"\\sub\\deeper"});
    const std::wstring shortcuts[] = {dir / L"folder.vfsfolder", dir / L"sub\\folder.vfsfolder",
                                      dir / L"sub\\deeper\\folder.vfsfolder"};
    for (const auto& path : shortcuts) {
        WriteText(path, "");
        SetFileAttributesW(path.c_str(), kHiddenSystem);
    }
    const std::wstring other = dir / L"sub\\photo.jpg.vfslnk";
    WriteText(other, "");
    SetFileAttributesW(other.c_str(), FILE_ATTRIBUTE_HIDDEN);

    for (bool hide : {false, true}) {
        shortcut::SetFolderShortcutAttributes(hide ? dir.path() + L"\\" : dir.path(), hide);
        for (const auto& path : shortcuts)
            EXPECT_EQ(HiddenSystemOf(path), hide ? kHiddenSystem : 0u) << Narrow(path);
        EXPECT_EQ(HiddenSystemOf(other), DWORD(FILE_ATTRIBUTE_HIDDEN));
    }
    shortcut::SetFolderShortcutAttributes(dir / L"missing", false); // nothing to do, no harm
}
