// The shortcut file's bytes and how a load reads its lines; damaged files: see the
// broken-file tests.
#include "shortcut/VFSShortcut.h"

#include "TestSupport.h"
#include "common/Resource.h"

#include <gtest/gtest.h>

using namespace testing_support;
using shortcut::VFSShortcut;

namespace {

const std::wstring kFreshText =
    L"[VFSShortcut]\r\nName=\"\"\r\nLabel=\"\"\r\nMemType=\"\"\r\nMimeType=\"\"\r\nSize=0\r\n"
    L"UserPerm=\r\nGroupPerm=\r\nOtherPerm=\r\n"
    L"Created=1899-12-30 00:00:00\r\nAccessed=1899-12-30 00:00:00\r\nModified=1899-12-30 00:00:00\r\n";

// The text fields and the size as "Name|Label|MemType|MimeType|UserPerm|Size".
std::wstring Fields(const VFSShortcut& shortcut)
{
    std::wstring fields;
    for (auto getter : {&VFSShortcut::get_Name, &VFSShortcut::get_Label, &VFSShortcut::get_MemType,
                        &VFSShortcut::get_MimeType, &VFSShortcut::get_UserPerm}) {
        unique_bstr value;
        EXPECT_EQ(S_OK, (shortcut.*getter)(value.put()));
        fields += value.c_str() + std::wstring(L"|");
    }
    LONG size = 0;
    EXPECT_EQ(S_OK, shortcut.get_Size(&size));
    return fields + std::to_wstring(size);
}

// Loads the bytes into a shortcut that held a name and size 99 before.
std::wstring FieldsAfterLoading(const std::vector<unsigned char>& bytes)
{
    TempDir dir;
    WriteBytes(dir / L"a.vfslnk", bytes);
    VFSShortcut shortcut;
    shortcut.put_Name(L"before");
    shortcut.put_Size(99);
    EXPECT_EQ(S_OK, shortcut.Load(dir / L"a.vfslnk"));
    return Fields(shortcut);
}

} // namespace

TEST(ShortcutFile, DateTextIsRoundedToTheSecondWithinTheCalendarRange)
{
    const std::pair<DATE, const wchar_t*> cases[] = {
        {-1.25, L"1899-12-29 06:00:00"},
        {38046.5 + 0.6 / 86400, L"2004-02-29 12:00:01"},
        {38046.0 - 0.2 / 86400, L"2004-02-29 00:00:00"},
        {-1.5 - 0.3 / 86400, L"1899-12-29 12:00:00"},
        {2958465.0, L"9999-12-31 00:00:00"},
        {2958465.25, L"0"},
        {-657434.0, L"0100-01-01 00:00:00"},
        {-657434.5, L"0"},
    };
    for (const auto& [date, text] : cases)
        EXPECT_EQ(shortcut::FormatShortcutDate(date), text) << date;
}

// A fresh object writes every key in fixed order, empty values and zero dates; a filled one, see the shortcut files.
TEST(ShortcutFile, NameWithDoubleQuoteAndNegativeSizeAreWrittenAsTheyAreAndReadBackIntact)
{
    TempDir dir;
    VFSShortcut shortcut;
    shortcut.put_Name(L"say \"hi\".txt");
    shortcut.put_Size(-1234567);
    ASSERT_EQ(S_OK, shortcut.Save(dir / L"a.vfslnk"));
    std::wstring expected = kFreshText;
    expected.replace(expected.find(L"Name=\"\""), 7, L"Name=\"say \"hi\".txt\"");
    expected.replace(expected.find(L"Size=0"), 6, L"Size=-1234567");
    EXPECT_EQ(ReadBytes(dir / L"a.vfslnk"), Utf16Bom(expected));
    EXPECT_EQ(FieldsAfterLoading(ReadBytes(dir / L"a.vfslnk")), L"say \"hi\".txt|||||-1234567");
}

TEST(ShortcutFile, LoadReadsLinesByItsOwnRules)
{
    const std::pair<const wchar_t*, const wchar_t*> cases[] = {
        // The last line needs no line end.
        {L"[VFSShortcut]\r\nName=\"a\"\r\nSize=42", L"a|||||42"},
        // LF alone and any number of trailing CRs end a line.
        {L"[VFSShortcut]\nName=\"a\"\r\r\nSize=7\n", L"a|||||7"},
        // The key is exact: no trimming (a blank before "="), no case folding.
        {L"[VFSShortcut]\r\nMemType =\"MMC\"\r\nname=\"b\"\r\n", L"before|||||99"},
        // Only the first "=" splits; one outer pair of quotes goes.
        {L"[VFSShortcut]\r\nName=\"a=b\"\r\nMemType=\"\"x\"\"\r\n", L"a=b||\"x\"|||99"},
        // A value without both quotes stays as it is; a lone quote leaves nothing.
        {L"[VFSShortcut]\r\nName=\"a\r\nMemType=\"\r\n", L"\"a|||||99"},
        // The later line wins; unknown keys and lines without "=" are skipped.
        {L"[VFSShortcut]\r\nName=\"a\"\r\nOther=1\r\njunk\r\nName=\"b\"\r\nSize=12abc\r\n", L"b|||||12"},
        {L"\r\nSize=x\r\n", L"before|||||0"},
        // The byte-order mark is part of the first line: a key there is not recognised.
        {L"Size=3\r\n", L"before|||||99"},
    };
    for (const auto& [text, fields] : cases)
        EXPECT_EQ(FieldsAfterLoading(Utf16Bom(text)), fields) << Narrow(text);
}
