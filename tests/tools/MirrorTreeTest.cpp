// The tree of a mirror folder as the client prints it.
#include "MirrorTree.h"
#include "TestSupport.h"
#include "shortcut/ShortcutFiles.h"

#include <gtest/gtest.h>

using namespace testing_support;
using phone::VFSItem;

namespace {

// The tree of shortcuts as a refresh writes them.
TEST(MirrorTree, ShowsFolderShortcutsShortcutFilesAndFlagsSortedFromAnyStart)
{
    TempDir dir;
    const std::wstring phone = dir / L"Phone1", gallery = phone + L"\\Phone memory\\Gallery";
    MakeFolders(phone, {L"", L"\\Phone memory", L"\\Phone memory\\Gallery", L"\\Phone memory\\Gallery\\Empty",
                        L"\\Memory card"});
    WriteText(phone + L"\\IMEI", "350000000000001");
    const std::pair<std::wstring, VFSItem> folders[] = {
        {phone + L"\\Phone memory", {L"C:", L"", 0, 0, 0, L"", L"Phone memory", L"PHONE", L""}},
        {gallery, {L"predefgallery", L"", 0, 0, 0, L"", L"", L"PHONE", L""}},
        {gallery + L"\\Empty", {L"empty", L"", 0, 0, 0, L"", L"", L"PHONE", L""}},
        {phone + L"\\Memory card", {L"E:", L"", 0, 0, 0, L"", L"Memory card", L"MMC", L""}}};
    for (const auto& [path, item] : folders)
        ASSERT_EQ(S_OK, shortcut::CreateFolderShortcut(path, item));
    const VFSItem files[] = {
        {L"con.txt", L"", 12, 0, 38411.57302083333 /* 2005-02-28 13:45:09 */, L"", L"", L"", L"text/plain"},
        {L"a<b>.jpg", L"", 2048, 0, 45657.99997685185 /* 2024-12-31 23:59:58 */, L"", L"", L"", L"image/jpeg"},
        {L"\x05E9\x05DC\x05D5\x05DD.txt", L"", -1, 0, 0, L"", L"", L"", L""}};
    for (const VFSItem& file : files)
        ASSERT_EQ(S_OK, shortcut::CreateShortcutFile(gallery, file));
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
                  L"        _con.txt.vfslnk  Name=\"con.txt\" Size=12 Modified=2005-02-28 13:45:09 "
                  L"MimeType=\"text/plain\"\n"
                  L"        a_b_.jpg.vfslnk  Name=\"a<b>.jpg\" Size=2048 Modified=2024-12-31 23:59:58 "
                  L"MimeType=\"image/jpeg\"\n"
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

// A missing start is refused end to end.
TEST(MirrorTree, RefusesAFileAsStart)
{
    TempDir dir;
    WriteText(dir / L"file.txt", "x");
    std::wstring text;
    EXPECT_EQ(HexResult(HRESULT_FROM_WIN32(ERROR_DIRECTORY)),
              HexResult(client::FormatMirrorTree(dir / L"file.txt", text)));
    EXPECT_EQ(L"", text);
}

} // namespace
