// Fitting PC names of phone items into the path limit, unique in their folder.
#include "mirror/PcNameFit.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

using namespace testing_support;
using mirror::FitPcName;
using mirror::VFSItem;

namespace {

std::vector<VFSItem> Named(std::initializer_list<const wchar_t*> names)
{
    std::vector<VFSItem> items;
    for (const wchar_t* name : names) {
        VFSItem item{};
        mirror::CopyField(item.pcName, name);
        items.push_back(item);
    }
    return items;
}

std::wstring Folder(size_t length)
{
    return L"C:\\" + std::wstring(length - 3, L'f');
}

} // namespace

TEST(PcNameFit, DeepFoldersLowerTheLimitInSteps)
{
    const struct {
        size_t folderLength;
        int limit;
        const wchar_t* name;
        const wchar_t* fitted;
    } cases[] = {
        {180, 40, L"ABCDEFGHIJKLMN", L"ABCDEFGHIJ"},                       // 221 > 130: 20; 201 > 195: 10
        {120, 30, L"ABCDEFGHIJKLMNOPQRSTUVWXYZ", L"ABCDEFGHIJKLMNOPQRST"}, // 151 > 130: 20
        {50, 30, L"ABCDEFGHIJKLMNOPQRSTUVWXYZ", L"ABCDEFGHIJKLMNOPQRSTUVWXYZ"},
        {50, 30, L"ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789", L"ABCDEFGHIJKLMNOPQRSTUVWXYZ0123"},
        {255, 30, L"Photos", L"Phot"},       // 266 > 260: 259 - 255
        {250, 30, L"name.jpg", L"name.jpg"}, // the whole name: no extension kept apart
    };
    for (const auto& c : cases) {
        std::wstring name = c.name;
        EXPECT_EQ(FitPcName(name, Folder(c.folderLength), c.limit, true, Named({})), wcslen(c.fitted))
            << Narrow(c.name) << " in " << c.folderLength;
        EXPECT_EQ(name, c.fitted) << Narrow(c.name) << " in " << c.folderLength;
    }
}

TEST(PcNameFit, TakenNamesAreNumberedAtTheirEnd)
{
    const struct {
        std::initializer_list<const wchar_t*> taken;
        const wchar_t* name;
        const wchar_t* fitted;
    } cases[] = {
        {{L"Pictures"}, L"Pictures", L"Pictu(1)"},
        {{L"Pictures", L"Pictu(1)"}, L"Pictures", L"Pictu(2)"},
        {{L"PICTURES", L"pictu(1)"}, L"Pictures", L"Pictu(2)"}, // case does not matter
        {{L"Photos", L"Pho(1)"}, L"Photos", L"Pho(2)"},
        {{L"Pictures", L"Pictu(1)", L"Pictu(2)", L"Pictu(3)", L"Pictu(4)", L"Pictu(5)", L"Pictu(6)", L"Pictu(7)",
          L"Pictu(8)", L"Pictu(9)"},
         L"Pictures",
         L"Pict(10)"},
        {{L"Other"}, L"Pictures", L"Pictures"},
        // Too short to hold the number at its end: it follows the name.
        {{L"ab"}, L"AB", L"AB(1)"},
    };
    for (const auto& c : cases) {
        std::wstring name = c.name;
        EXPECT_EQ(FitPcName(name, L"C:\\Mirror", 30, true, Named(c.taken)), wcslen(c.fitted)) << Narrow(c.fitted);
        EXPECT_EQ(name, c.fitted);
    }
}

TEST(PcNameFit, WithoutWholeNameFlagTheExtensionIsKept)
{
    // 240 + 30 + 1 > 260: the limit falls to 10, five characters and ".jpeg".
    std::wstring name = L"holiday-photo.jpeg";
    EXPECT_EQ(FitPcName(name, Folder(240), 30, false, Named({})), 10u);
    EXPECT_EQ(name, L"holid.jpeg");
    name = L"holiday-photo.jpeg";
    EXPECT_EQ(FitPcName(name, Folder(240), 30, false, Named({L"HOLID.JPEG"})), 10u);
    EXPECT_EQ(name, L"ho(1).jpeg");
}

TEST(PcNameFit, WithoutWholeNameFlagAShortPathIsLeftAlone)
{
    std::wstring name = L"Pictures";
    EXPECT_EQ(FitPcName(name, L"C:\\Mirror", 30, false, Named({L"Pictures"})), 0u);
    EXPECT_EQ(name, L"Pictures");
}

TEST(PcNameFit, NothingIsDoneForEmptyNamesAndNoRoom)
{
    const struct {
        size_t folderLength;
        int limit;
        bool wholeName;
        const wchar_t* name;
    } cases[] = {
        {260, 30, true, L"Photos"},
        {259, 30, true, L"Photos"}, // the limit falls to 0
        {20, 0, true, L"Photos"},
        {20, -5, true, L"Photos"},
        {20, 30, true, L""},
        {257, 30, false, L"photo.jpg"},   // the limit 2 leaves no room before ".jpg"
        {255, 30, false, L"abcdefg.jpg"}, // the limit 4 is all extension
        {240, 30, false, L"a.verylongextensionthatcannotfit"},
    };
    for (const auto& c : cases) {
        std::wstring name = c.name;
        std::vector<VFSItem> taken = Named({c.name});
        EXPECT_EQ(FitPcName(name, Folder(c.folderLength), c.limit, c.wholeName, taken), 0u) << Narrow(c.name);
        EXPECT_EQ(name, c.name);
    }
}

TEST(PcNameFit, NumberThatCannotFitLeavesTheNameAlone)
{
    // 257 + 1 + 2: the limit is 2, "AB(1)" would exceed it.
    std::wstring name = L"AB";
    EXPECT_EQ(FitPcName(name, Folder(257), 30, true, Named({L"ab"})), 0u);
    EXPECT_EQ(name, L"AB");
}
