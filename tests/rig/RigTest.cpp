// The test rig itself: a private prefix, COM, and the support helpers.
#include "TestSupport.h"

#include <gtest/gtest.h>

using namespace testing_support;

TEST(Rig, TempDirIsCreatedAndRemoved)
{
    std::wstring path;
    {
        TempDir dir;
        path = dir.path();
        WriteText(dir / L"a.txt", "abc");
        EXPECT_EQ(ReadBytes(dir / L"a.txt"), (std::vector<unsigned char>{'a', 'b', 'c'}));
    }
    EXPECT_FALSE(DirectoryExists(path));
}
