// The shortcut file's bytes, and reading any file back without harm.
#include "shortcut/VFSShortcut.h"
#include "shortcut/ShortcutFiles.h"

#include "TestSupport.h"
#include "common/Resource.h"

#include <gtest/gtest.h>

using namespace testing_support;
using shortcut::VFSShortcut;

namespace {

const std::wstring kFreshText = L"[VFSShortcut]\r\n"
                                L"Name=\"\"\r\n"
                                L"Label=\"\"\r\n"
                                L"MemType=\"\"\r\n"
                                L"MimeType=\"\"\r\n"
                                L"Size=0\r\n"
                                L"UserPerm=\r\n"
                                L"GroupPerm=\r\n"
                                L"OtherPerm=\r\n"
                                L"Created=1899-12-30 00:00:00\r\n"
                                L"Accessed=1899-12-30 00:00:00\r\n"
                                L"Modified=1899-12-30 00:00:00\r\n";

// 2005-02-28 13:45:09 and 2004-02-29 12:00:00 as whole seconds.
const DATE kCreated = 38411.0 + (13 * 3600 + 45 * 60 + 9) / 86400.0;
const DATE kModified = 38046.5;

VFSShortcut FullShortcut()
{
    VFSShortcut shortcut;
    shortcut.put_Name(L"ALIAS:Phone\\C:\\Images\\photo.jpg");
    shortcut.put_Label(L"Phone memory");
    shortcut.put_MemType(L"DEV");
    shortcut.put_MimeType(L"image/jpeg");
    shortcut.put_Size(-1234567);
    shortcut.put_UserPerm(L"RWD");
    shortcut.put_Created(kCreated);
    shortcut.put_Modified(kModified);
    return shortcut;
}

const std::wstring kFullText = L"[VFSShortcut]\r\n"
                               L"Name=\"photo.jpg\"\r\n"
                               L"Label=\"Phone memory\"\r\n"
                               L"MemType=\"DEV\"\r\n"
                               L"MimeType=\"image/jpeg\"\r\n"
                               L"Size=-1234567\r\n"
                               L"UserPerm=RWD\r\n"
                               L"GroupPerm=\r\n"
                               L"OtherPerm=\r\n"
                               L"Created=2005-02-28 13:45:09\r\n"
                               L"Accessed=1899-12-30 00:00:00\r\n"
                               L"Modified=2004-02-29 12:00:00\r\n";

std::wstring Text(const VFSShortcut& shortcut, HRESULT (VFSShortcut::*getter)(BSTR*) const)
{
    unique_bstr value;
    EXPECT_EQ(S_OK, (shortcut.*getter)(value.put()));
    return value.c_str();
}

LONG SizeOf(const VFSShortcut& shortcut)
{
    LONG size = 0;
    EXPECT_EQ(S_OK, shortcut.get_Size(&size));
    return size;
}

std::vector<unsigned char> Bytes(const std::string& text)
{
    return std::vector<unsigned char>(text.begin(), text.end());
}

} // namespace

TEST(ShortcutFile, FreshObjectWritesEmptyValuesAndZeroDates)
{
    TempDir dir;
    ASSERT_EQ(S_OK, VFSShortcut{}.Save(dir / L"a.vfslnk"));
    EXPECT_EQ(ReadBytes(dir / L"a.vfslnk"), Utf16Bom(kFreshText));
}

TEST(ShortcutFile, FullObjectWritesEveryKeyInFixedOrder)
{
    TempDir dir;
    ASSERT_EQ(S_OK, FullShortcut().Save(dir / L"a.vfslnk"));
    EXPECT_EQ(ReadBytes(dir / L"a.vfslnk"), Utf16Bom(kFullText));
}

TEST(ShortcutFile, DateTextIsRoundedToTheSecondWithinTheCalendarRange)
{
    const struct {
        DATE date;
        const wchar_t* text;
    } cases[] = {
        {0.0, L"1899-12-30 00:00:00"},
        {-1.25, L"1899-12-29 06:00:00"},
        {38046.5 + 0.4 / 86400, L"2004-02-29 12:00:00"},
        {38046.5 + 0.6 / 86400, L"2004-02-29 12:00:01"},
        {38046.0 - 0.2 / 86400, L"2004-02-29 00:00:00"},
        {-1.5 - 0.3 / 86400, L"1899-12-29 12:00:00"},
        {2958465.0, L"9999-12-31 00:00:00"},
        {2958465.25, L"0"},
        {-657434.0, L"0100-01-01 00:00:00"},
        {-657434.5, L"0"},
        {1e300, L"0"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(shortcut::FormatShortcutDate(c.date), c.text) << c.date;
}

TEST(ShortcutFile, LoadAfterSaveGivesTheSameFields)
{
    TempDir dir;
    ASSERT_EQ(S_OK, FullShortcut().Save(dir / L"a.vfslnk"));
    VFSShortcut loaded;
    ASSERT_EQ(S_OK, loaded.Load(dir / L"a.vfslnk"));
    EXPECT_EQ(Text(loaded, &VFSShortcut::get_Name), L"photo.jpg");
    EXPECT_EQ(Text(loaded, &VFSShortcut::get_Label), L"Phone memory");
    EXPECT_EQ(Text(loaded, &VFSShortcut::get_MemType), L"DEV");
    EXPECT_EQ(Text(loaded, &VFSShortcut::get_MimeType), L"image/jpeg");
    EXPECT_EQ(Text(loaded, &VFSShortcut::get_UserPerm), L"RWD");
    EXPECT_EQ(SizeOf(loaded), -1234567);
    DATE created = 0, modified = 0;
    EXPECT_EQ(S_OK, loaded.get_Created(&created));
    EXPECT_EQ(S_OK, loaded.get_Modified(&modified));
    EXPECT_NEAR(created, kCreated, 1e-9);
    EXPECT_NEAR(modified, kModified, 1e-9);
    // Saved again, the loaded object gives the same bytes.
    ASSERT_EQ(S_OK, loaded.Save(dir / L"b.vfslnk"));
    EXPECT_EQ(ReadBytes(dir / L"b.vfslnk"), Utf16Bom(kFullText));
}

TEST(ShortcutFile, NameWithDoubleQuoteIsWrittenUnescapedAndReadBackIntact)
{
    TempDir dir;
    VFSShortcut shortcut;
    shortcut.put_Name(L"say \"hi\".txt");
    ASSERT_EQ(S_OK, shortcut.Save(dir / L"a.vfslnk"));
    std::wstring expected = kFreshText;
    expected.replace(expected.find(L"Name=\"\""), 7, L"Name=\"say \"hi\".txt\"");
    EXPECT_EQ(ReadBytes(dir / L"a.vfslnk"), Utf16Bom(expected));
    VFSShortcut loaded;
    ASSERT_EQ(S_OK, loaded.Load(dir / L"a.vfslnk"));
    EXPECT_EQ(Text(loaded, &VFSShortcut::get_Name), L"say \"hi\".txt");
}

TEST(ShortcutFile, LoadReadsLinesByItsOwnRules)
{
    const struct {
        const wchar_t* text;
        const wchar_t* name;
        const wchar_t* memType;
        LONG size;
    } cases[] = {
        // The last line needs no line end.
        {L"[VFSShortcut]\r\nName=\"a\"\r\nSize=42", L"a", L"", 42},
        // LF alone and any number of trailing CRs end a line.
        {L"[VFSShortcut]\nName=\"a\"\r\r\nSize=7\n", L"a", L"", 7},
        // The key is exact: no trimming, no case folding.
        {L"[VFSShortcut]\r\nMemType =\"MMC\"\r\nname=\"b\"\r\n", L"", L"", 0},
        // Only the first "=" splits; one outer pair of quotes goes.
        {L"[VFSShortcut]\r\nName=\"a=b\"\r\nMemType=\"\"x\"\"\r\n", L"a=b", L"\"x\"", 0},
        // A value without both quotes stays as it is; a lone quote leaves nothing.
        {L"[VFSShortcut]\r\nName=\"a\r\nMemType=\"\r\n", L"\"a", L"", 0},
        // The later line wins; unknown keys and lines without "=" are skipped.
        {L"[VFSShortcut]\r\nName=\"a\"\r\nOther=1\r\njunk\r\nName=\"b\"\r\nSize=12abc\r\n", L"b", L"", 12},
        {L"\r\nSize=-17\r\n", L"", L"", -17},
        {L"\r\nSize=x\r\n", L"", L"", 0},
        // The byte-order mark is part of the first line: a key there is not recognised.
        {L"Size=3\r\n", L"", L"", 0},
    };
    for (const auto& c : cases) {
        TempDir dir;
        WriteBytes(dir / L"a.vfslnk", Utf16Bom(c.text));
        VFSShortcut shortcut;
        ASSERT_EQ(S_OK, shortcut.Load(dir / L"a.vfslnk"));
        EXPECT_EQ(Text(shortcut, &VFSShortcut::get_Name), c.name) << Narrow(c.text);
        EXPECT_EQ(Text(shortcut, &VFSShortcut::get_MemType), c.memType) << Narrow(c.text);
        EXPECT_EQ(SizeOf(shortcut), c.size) << Narrow(c.text);
    }
}

TEST(ShortcutFile, BlankBeforeEqualsIsSkippedByLoadButReadByTheIniReader)
{
    TempDir dir;
    WriteBytes(dir / L"a.vfslnk", Utf16Bom(L"[VFSShortcut]\r\nMemType =\"MMC\"\r\n"));
    VFSShortcut shortcut;
    ASSERT_EQ(S_OK, shortcut.Load(dir / L"a.vfslnk"));
    EXPECT_EQ(Text(shortcut, &VFSShortcut::get_MemType), L"");
    wchar_t memType[16] = L"?";
    EXPECT_EQ(S_OK, shortcut::ReadShortcutMemType((dir / L"a.vfslnk").c_str(), memType, 16));
    EXPECT_STREQ(memType, L"MMC");
}

TEST(ShortcutFile, DatesParseThroughTheLocaleParser)
{
    const struct {
        const wchar_t* text;
        DATE date;
    } cases[] = {
        {L"2005-02-28 13:45:09", kCreated},
        {L"1899-12-30 00:00:00", 0.0},
        {L"", 0.0},           // type mismatch
        {L"garbage", 0.0},    // type mismatch
        {L"2005-02-30", 0.0}, // type mismatch
    };
    for (const auto& c : cases)
        EXPECT_NEAR(shortcut::ParseShortcutDate(c.text), c.date, 1e-9) << Narrow(c.text);
}

TEST(ShortcutFile, SavingOverHiddenSystemFileKeepsItsAttributes)
{
    TempDir dir;
    const std::wstring path = dir / L"folder.vfsfolder";
    WriteText(path, "old");
    ASSERT_TRUE(SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM));
    ASSERT_EQ(S_OK, FullShortcut().Save(path));
    EXPECT_EQ(ReadBytes(path), Utf16Bom(kFullText));
    EXPECT_EQ(GetFileAttributesW(path.c_str()) & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM),
              DWORD(FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM));
}

TEST(ShortcutFile, SaveAndLoadReportFilesTheyCannotOpen)
{
    TempDir dir;
    EXPECT_EQ(E_FAIL, VFSShortcut{}.Save(dir / L"missing\\a.vfslnk"));
    VFSShortcut shortcut;
    EXPECT_EQ(E_FAIL, shortcut.Load(dir / L"missing.vfslnk"));
    EXPECT_EQ(E_FAIL, shortcut.Load(dir.path()));
}

TEST(ShortcutFile, AnyFileIsReadWithoutHarm)
{
    std::vector<unsigned char> binary;
    for (int i = 0; i < 5000; ++i)
        binary.push_back(static_cast<unsigned char>((i * 7919) >> 3));
    std::vector<unsigned char> oddLength = Utf16Bom(L"[VFSShortcut]\r\nSize=7");
    oddLength.push_back('1'); // pairs with a zero byte: "71"
    const struct {
        const char* what;
        std::vector<unsigned char> bytes;
        LONG size;
    } cases[] = {
        {"8-bit text", Bytes("[VFSShortcut]\r\nName=\"x\"\r\nSize=5\r\n"), 99},
        {"empty", {}, 99},
        {"one byte", {'A'}, 99},
        {"odd length", oddLength, 71},
        {"binary", binary, 99},
        {"only line ends", Utf16Bom(L"\r\n\n\r\r"), 99},
    };
    for (const auto& c : cases) {
        TempDir dir;
        WriteBytes(dir / L"a.vfslnk", c.bytes);
        VFSShortcut shortcut;
        shortcut.put_Name(L"before");
        shortcut.put_Size(99);
        ASSERT_EQ(S_OK, shortcut.Load(dir / L"a.vfslnk")) << c.what;
        EXPECT_EQ(SizeOf(shortcut), c.size) << c.what;
        if (c.size == 99) {
            EXPECT_EQ(Text(shortcut, &VFSShortcut::get_Name), L"before") << c.what;
        }
    }
}

TEST(ShortcutFile, AbsurdlyLargeFileIsRefused)
{
    TempDir dir;
    const std::wstring path = dir / L"huge.vfslnk";
    {
        unique_file file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
        ASSERT_TRUE(file);
        LARGE_INTEGER size;
        size.QuadPart = shortcut::kMaxShortcutFileBytes + 2;
        ASSERT_TRUE(SetFilePointerEx(file.get(), size, nullptr, FILE_BEGIN));
        ASSERT_TRUE(SetEndOfFile(file.get()));
    }
    VFSShortcut shortcut;
    shortcut.put_Size(99);
    EXPECT_EQ(E_FAIL, shortcut.Load(path));
    EXPECT_EQ(SizeOf(shortcut), 99);
}

TEST(ShortcutFile, IniReaderReadsEveryKeyOfASavedShortcut)
{
    TempDir dir;
    const std::wstring path = dir / L"a.vfslnk";
    ASSERT_EQ(S_OK, FullShortcut().Save(path));
    const struct {
        const wchar_t* key;
        const wchar_t* value;
    } cases[] = {
        {L"Name", L"photo.jpg"},
        {L"Label", L"Phone memory"},
        {L"MemType", L"DEV"},
        {L"MimeType", L"image/jpeg"},
        {L"Size", L"-1234567"},
        {L"UserPerm", L"RWD"},
        {L"GroupPerm", L""},
        {L"OtherPerm", L""},
        {L"Created", L"2005-02-28 13:45:09"},
        {L"Accessed", L"1899-12-30 00:00:00"},
        {L"Modified", L"2004-02-29 12:00:00"},
    };
    for (const auto& c : cases) {
        wchar_t value[64];
        GetPrivateProfileStringW(L"VFSShortcut", c.key, L"<missing>", value, 64, path.c_str());
        EXPECT_STREQ(value, c.value) << Narrow(c.key);
    }
}

TEST(ShortcutFile, ReadShortcutMemTypeReportsWhetherItFoundAValue)
{
    TempDir dir;
    const std::wstring full = dir / L"full.vfslnk";
    const std::wstring fresh = dir / L"fresh.vfslnk";
    ASSERT_EQ(S_OK, FullShortcut().Save(full));
    ASSERT_EQ(S_OK, VFSShortcut{}.Save(fresh));
    wchar_t memType[16];
    EXPECT_EQ(S_OK, shortcut::ReadShortcutMemType(full.c_str(), memType, 16));
    EXPECT_STREQ(memType, L"DEV");
    EXPECT_EQ(E_FAIL, shortcut::ReadShortcutMemType(fresh.c_str(), memType, 16));
    EXPECT_STREQ(memType, L"");
    EXPECT_EQ(E_FAIL, shortcut::ReadShortcutMemType((dir / L"missing.vfslnk").c_str(), memType, 16));
    EXPECT_EQ(E_FAIL, shortcut::ReadShortcutMemType(L"", memType, 16));
    EXPECT_EQ(E_FAIL, shortcut::ReadShortcutMemType(nullptr, memType, 16));
    EXPECT_EQ(E_INVALIDARG, shortcut::ReadShortcutMemType(full.c_str(), nullptr, 16));
}
