// The tree of a mirror folder as the client prints it.
#include "MirrorTree.h"
#include "TestSupport.h"
#include "shortcut/VFSShortcut.h"

#include <gtest/gtest.h>

using namespace testing_support;

namespace {

void MakeFolder(const std::wstring& path, const wchar_t* name, const wchar_t* label, const wchar_t* memType)
{
    ASSERT_TRUE(CreateDirectoryW(path.c_str(), nullptr));
    if (!name)
        return;
    shortcut::VFSShortcut link;
    link.put_Name(name);
    link.put_Label(label);
    link.put_MemType(memType);
    std::wstring file = path + L"\\" + shortcut::kFolderShortcutName;
    ASSERT_EQ(S_OK, link.Save(file));
    SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
}

void MakeShortcut(const std::wstring& path, const wchar_t* name, LONG size, DATE modified, const wchar_t* mimeType)
{
    shortcut::VFSShortcut link;
    link.put_Name(name);
    link.put_Size(size);
    link.put_Modified(modified);
    link.put_MimeType(mimeType);
    ASSERT_EQ(S_OK, link.Save(path));
}

TEST(MirrorTree, ShowsFolderShortcutsShortcutFilesAndFlagsSortedFromAnyStart)
{
    TempDir dir;
    const std::wstring phone = dir / L"Phone1";
    MakeFolder(phone, nullptr, nullptr, nullptr);
    WriteText(phone + L"\\IMEI", "350000000000001");
    MakeFolder(phone + L"\\Phone memory", L"C:", L"Phone memory", L"PHONE");
    MakeFolder(phone + L"\\Phone memory\\Gallery", L"predefgallery", nullptr, L"PHONE");
    MakeShortcut(phone + L"\\Phone memory\\Gallery\\con_.txt.vfslnk", L"con.txt", 12,
                 38411.57302083333 /* 2005-02-28 13:45:09 */, L"text/plain");
    MakeShortcut(phone + L"\\Phone memory\\Gallery\\a_b_.jpg.vfslnk", L"a<b>.jpg", 2048,
                 45657.99997685185 /* 2024-12-31 23:59:58 */, L"image/jpeg");
    MakeShortcut(phone + L"\\Phone memory\\Gallery\\\x05E9\x05DC\x05D5\x05DD.txt.vfslnk",
                 L"\x05E9\x05DC\x05D5\x05DD.txt", -1, 0.0, nullptr);
    MakeFolder(phone + L"\\Phone memory\\Gallery\\Empty", L"empty", L"", L"PHONE");
    MakeFolder(phone + L"\\Memory card", L"E:", L"Memory card", L"MMC");
    SetFileAttributesW((phone + L"\\Memory card").c_str(), FILE_ATTRIBUTE_HIDDEN);
    SetFileAttributesW(phone.c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);

    std::wstring text;
    EXPECT_EQ(S_OK, client::FormatMirrorTree(dir.path() + L"\\", text));
    EXPECT_EQ(dir.path() +
                  L"\n"
                  L"  Phone1\\ [hidden, system]\n"
                  L"    Memory card\\ [hidden]  Name=\"E:\" Label=\"Memory card\" MemType=\"MMC\"\n"
                  L"    Phone memory\\  Name=\"C:\" Label=\"Phone memory\" MemType=\"PHONE\"\n"
                  L"      Gallery\\  Name=\"predefgallery\" Label=\"\" MemType=\"PHONE\"\n"
                  L"        Empty\\  Name=\"empty\" Label=\"\" MemType=\"PHONE\"\n"
                  L"        a_b_.jpg.vfslnk  Name=\"a<b>.jpg\" Size=2048 Modified=2024-12-31 23:59:58 "
                  L"MimeType=\"image/jpeg\"\n"
                  L"        con_.txt.vfslnk  Name=\"con.txt\" Size=12 Modified=2005-02-28 13:45:09 "
                  L"MimeType=\"text/plain\"\n"
                  L"        \x05E9\x05DC\x05D5\x05DD.txt.vfslnk  Name=\"\x05E9\x05DC\x05D5\x05DD.txt\" Size=-1 "
                  L"Modified=1899-12-30 00:00:00 MimeType=\"\"\n"
                  L"    IMEI\n",
              text);
    // A phone folder given as the start shows its own folder shortcut.
    text.clear();
    EXPECT_EQ(S_OK, client::FormatMirrorTree(phone + L"\\Phone memory\\Gallery\\Empty", text));
    EXPECT_EQ(phone + L"\\Phone memory\\Gallery\\Empty  Name=\"empty\" Label=\"\" MemType=\"PHONE\"\n", text);
    SetFileAttributesW(phone.c_str(), FILE_ATTRIBUTE_NORMAL);
    SetFileAttributesW((phone + L"\\Memory card").c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST(MirrorTree, RefusesWhatIsNoFolder)
{
    TempDir dir;
    WriteText(dir / L"file.txt", "x");
    const struct {
        std::wstring path;
        HRESULT expected;
    } cases[] = {
        {dir / L"missing", HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND)},
        {dir / L"missing\\deeper", HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND)},
        {dir / L"file.txt", HRESULT_FROM_WIN32(ERROR_DIRECTORY)},
    };
    for (const auto& c : cases) {
        std::wstring text;
        EXPECT_EQ(HexResult(c.expected), HexResult(client::FormatMirrorTree(c.path, text))) << c.path;
        EXPECT_EQ(L"", text);
    }
}

} // namespace
