// The scratch folders of an operation: claimed by number in the temporary
// folder, removed with their owner, and never swept while an owner lives.
#include "TestSupport.h"
#include "common/Paths.h"
#include "fileops/ScratchFolder.h"

#include <gtest/gtest.h>

using namespace testing_support;

TEST(ScratchFolders, EachTakesTheNextFreeNumberAndGoesWithItsOwner)
{
    wchar_t buffer[MAX_PATH];
    const std::wstring temp(buffer, GetTempPathW(MAX_PATH, buffer));
    fileops::RemoveLeftoverScratchFolders();
    MakeFolders(temp, {L"WrapperTemp0", L"WrapperTemp", L"WrapperTemp0\\inner"});
    WriteText(temp + L"WrapperTemp0\\inner\\locked.txt", "a leftover's content, read-only");
    SetFileAttributesW((temp + L"WrapperTemp0\\inner\\locked.txt").c_str(), FILE_ATTRIBUTE_READONLY);
    WriteText(temp + L"WrapperTemp1", "a file of that name");
    {
        fileops::ScratchFolders scratch;
        std::wstring first, second;
        ASSERT_EQ(S_OK, scratch.Make(L"picture.jpg", first));
        ASSERT_EQ(S_OK, scratch.Make(L"picture.jpg", second));
        EXPECT_EQ(temp + L"WrapperTemp2\\picture.jpg", first);
        EXPECT_EQ(temp + L"WrapperTemp3\\picture.jpg", second);
        WriteText(first, "downloaded");

        // A name that would not fit is refused, not cut.
        std::wstring tooLong = L"unchanged";
        EXPECT_EQ(kPathTooLong, scratch.Make(std::wstring(MAX_PATH - temp.size() - 13, L'n'), tooLong));
        EXPECT_EQ(L"unchanged", tooLong);

        // The sweep of leftovers waits while an operation runs.
        fileops::RemoveLeftoverScratchFolders();
        EXPECT_TRUE(FileExists(first));
    }
    EXPECT_FALSE(DirectoryExists(temp + L"WrapperTemp2") || DirectoryExists(temp + L"WrapperTemp3"));
    EXPECT_TRUE(DirectoryExists(temp + L"WrapperTemp0")) << "not this owner's";
    fileops::RemoveLeftoverScratchFolders();
    EXPECT_FALSE(DirectoryExists(temp + L"WrapperTemp0") || DirectoryExists(temp + L"WrapperTemp"));
    EXPECT_TRUE(FileExists(temp + L"WrapperTemp1"));
    DeleteFileW((temp + L"WrapperTemp1").c_str());
}
