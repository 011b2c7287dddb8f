// The names of the suite's store: phone names on the PC, and phone paths.
#include "StoreNames.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

using store_names::EscapeName;
using store_names::ParsePhonePath;
using store_names::PhonePath;
using store_names::UnescapeName;

TEST(StoreNames, EscapesWhatPcNamesCannotHoldAndRoundTrips)
{
    struct Case {
        const wchar_t* name;
        const wchar_t* escaped;
    } cases[] = {
        {L"Photo 1.jpg", L"Photo 1.jpg"},
        {L"con.txt", L"%63on.txt"},
        {L"LPT9.a.b", L"%4CPT9.a.b"},
        {L"com10", L"com10"},
        {L"console", L"console"},
        {L"a<b>|*?\"/\\:", L"a%3Cb%3E%7C%2A%3F%22%2F%5C%3A"},
        {L"100%", L"100%25"},
        {L"trailing. ", L"trailing%2E%20"},
        {L" .hidden", L"%20.hidden"},
        {L"..", L"%2E%2E"},
        {L"tab\tbell\x07", L"tab%09bell%07"},
        {L"\x00e9t\x00e9", L"\x00e9t\x00e9"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "name index " << (&c - cases));
        EXPECT_EQ(c.escaped, EscapeName(c.name));
        EXPECT_EQ(c.name, UnescapeName(EscapeName(c.name)));
    }
    for (const wchar_t* malformed : {L"50%", L"%G1x", L"a%4"})
        EXPECT_EQ(malformed, UnescapeName(malformed));
}

TEST(StoreNames, ParsesPhonePaths)
{
    struct Case {
        const wchar_t* text;
        PhonePath::Level level;
        const wchar_t* alias;
        wchar_t drive;
        size_t names;
    } cases[] = {
        {L"", PhonePath::Level::Root, L"", 0, 0},
        {L"alias:Phone1\\", PhonePath::Level::Phone, L"Phone1", 0, 0},
        {L"ALIAS:Phone1\\e:\\", PhonePath::Level::Memory, L"Phone1", L'E', 0},
        {L"ALIAS:My:Phone?\\C:\\Images\\a.jpg", PhonePath::Level::Item, L"My:Phone?", L'C', 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing_support::Narrow(c.text));
        PhonePath path;
        ASSERT_TRUE(ParsePhonePath(c.text, path));
        EXPECT_EQ(c.level, path.level);
        EXPECT_EQ(c.alias, path.alias);
        EXPECT_EQ(c.drive, path.drive);
        EXPECT_EQ(c.names, path.names.size());
    }
    for (const wchar_t* text : {L"ALIAS:", L"Phone1", L"ALIAS:P\\Images", L"ALIAS:P\\CC:\\x", L"ALIAS:P\\C:\\\\x"}) {
        PhonePath path;
        EXPECT_FALSE(ParsePhonePath(text, path)) << testing_support::Narrow(text);
    }
}
