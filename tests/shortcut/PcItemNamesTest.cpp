// PC names of phone items: reserved names, invalid characters and numbering.
#include "common/Paths.h"
#include "shortcut/PcItemNames.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <tuple>

using namespace testing_support;
using shortcut::MakePcItemPath;

namespace {

// A chain of real folders whose path is exactly length characters long.
std::wstring DeepFolder(const TempDir& dir, size_t length)
{
    std::wstring path = dir.path();
    while (path.size() < length) {
        const size_t room = length - path.size() - 1;
        path += L"\\" + std::wstring(std::min<size_t>(room, 60), L'd');
        EXPECT_TRUE(CreateDirectoryW(path.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS);
    }
    EXPECT_EQ(path.size(), length);
    return path;
}

} // namespace

TEST(PcItemNames, NamesAreMadeValidForThePc)
{
    // phone name, PC name, prefix
    const std::tuple<const wchar_t*, const wchar_t*, const wchar_t*> cases[] = {
        {L"Com1", L"_Com1", L""},
        {L"nul.tar.gz", L"nul.tar.gz", L""}, // only the last extension goes before the test
        {L"CONSOLE.txt", L"CONSOLE.txt", L""},
        {L" .txt", L"_ .txt", L""},
        {L"a<b>|\"c*d?e.txt", L"a_b___c_d_e.txt", L""},
        {L".profile", L"_profile", L""},
        {L"notes...", L"notes", L""},
        {L"...", L"_", L""}, // nothing left after the dots
        {L"x\x01y\x1f", L"x_y_", L""},
        {L"ALIAS:Phone\\C:\\Images\\photo.jpg", L"photo.jpg", L""},
        {L"ALIAS:Phone\\E:", L"Memory card (E)", L"Memory card"},
        {L"E:", L"E", L""},
    };
    TempDir dir;
    for (const auto& [phoneName, pcName, prefix] : cases) {
        std::wstring path;
        ASSERT_EQ(S_OK, MakePcItemPath(dir.path(), phoneName, prefix, false, path)) << Narrow(phoneName);
        EXPECT_EQ(path, dir / pcName) << Narrow(phoneName);
    }
    // A file path gives its folder; an empty name is refused.
    std::wstring path;
    ASSERT_EQ(S_OK, MakePcItemPath(dir / L"photo.jpg.vfslnk", L"other.jpg", L"", false, path));
    EXPECT_EQ(path, dir / L"other.jpg");
    EXPECT_EQ(E_INVALIDARG, MakePcItemPath(dir.path(), L"", L"", true, path));
}

TEST(PcItemNames, UniqueNamesAreNumberedBeforeTheLastExtension)
{
    // Shortcut files and folders (a trailing backslash) there, phone name, PC name.
    const std::tuple<std::vector<const wchar_t*>, const wchar_t*, const wchar_t*> cases[] = {
        {{L"photo.jpg.vfslnk", L"photo(3).jpg.vfslnk"}, L"photo.jpg", L"photo(2).jpg"},
        {{L"a.b.c.vfslnk"}, L"a.b.c", L"a.b(2).c"},
        {{L"_con.txt.vfslnk"}, L"con.txt", L"_con(2).txt"},
        // Only shortcut files count, not the items' own names nor folders.
        {{L"photo.jpg"}, L"photo.jpg", L"photo.jpg"},
        {{L"Music\\"}, L"Music", L"Music"},
    };
    for (const auto& [existing, phoneName, pcName] : cases) {
        TempDir dir;
        for (const std::wstring name : existing) {
            if (name.back() == L'\\')
                ASSERT_TRUE(CreateDirectoryW((dir / name).c_str(), nullptr));
            else
                WriteText(dir / name, "");
        }
        std::wstring path;
        ASSERT_EQ(S_OK, MakePcItemPath(dir.path(), phoneName, L"", true, path)) << Narrow(phoneName);
        EXPECT_EQ(path, dir / pcName) << Narrow(phoneName);
    }
}

TEST(PcItemNames, PathsBeyondTheLimitAreRefusedNotCut)
{
    TempDir dir;
    const std::wstring folder = DeepFolder(dir, 240);
    std::wstring path = L"unchanged";
    // 240 + 1 + 18 = 259 characters fit; one more does not.
    EXPECT_EQ(S_OK, MakePcItemPath(folder, std::wstring(18, L'n'), L"", false, path));
    EXPECT_EQ(path.size(), 259u);
    EXPECT_EQ(kPathTooLong, MakePcItemPath(folder, std::wstring(19, L'n'), L"", false, path));
    EXPECT_EQ(path, L"");
    // With numbering the shortcut's own extension must fit too.
    EXPECT_EQ(S_OK, MakePcItemPath(folder, std::wstring(11, L'n'), L"", true, path));
    EXPECT_EQ(kPathTooLong, MakePcItemPath(folder, std::wstring(12, L'n'), L"", true, path));
    EXPECT_EQ(kPathTooLong, MakePcItemPath(std::wstring(260, L'f'), L"a", L"", false, path));
}
