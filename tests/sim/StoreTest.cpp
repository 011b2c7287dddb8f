#include "PhoneStore.h"
#include "StoreNames.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

using store_names::EscapeName;
using store_names::EscapeValue;
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
        {L"CON", L"%43ON"},
        {L"nul .log", L"%6Eul .log"},
        {L"com1", L"%63om1"},
        {L"LPT9.a.b", L"%4CPT9.a.b"},
        {L"com10", L"com10"},
        {L"console", L"console"},
        {L"a<b>c", L"a%3Cb%3Ec"},
        {L"what?", L"what%3F"},
        {L"pipe|star*", L"pipe%7Cstar%2A"},
        {L"q\"colon:", L"q%22colon%3A"},
        {L"slash/back\\", L"slash%2Fback%5C"},
        {L"100%", L"100%25"},
        {L"trailing..", L"trailing%2E%2E"},
        {L"blank ", L"blank%20"},
        {L".hidden", L"%2Ehidden"},
        {L" lead", L"%20lead"},
        {L".", L"%2E"},
        {L"..", L"%2E%2E"},
        {L"tab\tbell\x07", L"tab%09bell%07"},
        {L"\x00e9t\x00e9", L"\x00e9t\x00e9"},
        {L"%41", L"%2541"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "name index " << (&c - cases));
        EXPECT_EQ(c.escaped, EscapeName(c.name));
        EXPECT_EQ(c.name, UnescapeName(EscapeName(c.name)));
    }
}

TEST(StoreNames, UnescapeKeepsMalformedSequencesAndValuesStayOneUnquotedLine)
{
    for (const wchar_t* malformed : {L"50%", L"%G1x", L"a%4"})
        EXPECT_EQ(malformed, UnescapeName(malformed));
    EXPECT_EQ(L"%20Phone memory%20", EscapeValue(L" Phone memory "));
    EXPECT_EQ(L"%22a%27%0D%0A%25", EscapeValue(L"\"a'\r\n%"));
    EXPECT_EQ(L" a\"b ", UnescapeName(L"%20a%22b%20"));
}

TEST(StoreNames, ParsesPhonePaths)
{
    struct Case {
        const wchar_t* text;
        PhonePath::Level level;
        const wchar_t* alias;
        wchar_t drive;
        size_t names;
        const wchar_t* lastName;
    } cases[] = {
        {L"", PhonePath::Level::Root, L"", 0, 0, nullptr},
        {L"ALIAS:Phone1", PhonePath::Level::Phone, L"Phone1", 0, 0, nullptr},
        {L"alias:Phone1", PhonePath::Level::Phone, L"Phone1", 0, 0, nullptr},
        {L"ALIAS:Phone1\\", PhonePath::Level::Phone, L"Phone1", 0, 0, nullptr},
        {L"ALIAS:Phone1\\c:", PhonePath::Level::Memory, L"Phone1", L'C', 0, nullptr},
        {L"ALIAS:Phone1\\E:\\", PhonePath::Level::Memory, L"Phone1", L'E', 0, nullptr},
        {L"ALIAS:My:Phone?\\C:\\Images\\a.jpg", PhonePath::Level::Item, L"My:Phone?", L'C', 2, L"a.jpg"},
        {L"ALIAS:P\\C:\\con.txt", PhonePath::Level::Item, L"P", L'C', 1, L"con.txt"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "path index " << (&c - cases));
        PhonePath path;
        ASSERT_TRUE(ParsePhonePath(c.text, path));
        EXPECT_EQ(c.level, path.level);
        EXPECT_EQ(c.alias, path.alias);
        EXPECT_EQ(c.drive, path.drive);
        ASSERT_EQ(c.names, path.names.size());
        if (c.lastName) {
            EXPECT_EQ(c.lastName, path.names.back());
        }
    }
    for (const wchar_t* text : {L"ALIAS:", L"Phone1", L"ALIAS:P\\Images", L"ALIAS:P\\CC:\\x", L"ALIAS:P\\1:\\x",
                                L"ALIAS:P\\C:\\\\x", L"ALIAS:\\C:"}) {
        PhonePath path;
        EXPECT_FALSE(ParsePhonePath(text, path)) << testing_support::Narrow(text);
    }
}

TEST(StoreNames, ParentClimbsOneLevel)
{
    PhonePath path;
    ASSERT_TRUE(ParsePhonePath(L"ALIAS:P\\C:\\a\\b", path));
    EXPECT_EQ(L"ALIAS:P\\C:\\a", path.Parent().Text());
    EXPECT_EQ(L"ALIAS:P\\C:", path.Parent().Parent().Text());
    EXPECT_EQ(L"ALIAS:P", path.Parent().Parent().Parent().Text());
    EXPECT_EQ(L"", path.Parent().Parent().Parent().Parent().Text());
}

TEST(PhoneStoreFiles, SettingsFileKeepsEscapedValuesInUtf16)
{
    testing_support::TempDir dir;
    PhoneStore store(dir.path());
    ASSERT_EQ(S_OK, store.AddPhone(L"con", L"350000000000001", L"OS-100"));
    const PhoneMemory memory{L'e', L" \"Card\" 100% ", L"MMC", 5000000000ULL};
    ASSERT_EQ(S_OK, store.AddMemory(L"con", memory));
    PhoneInfo phone;
    ASSERT_EQ(S_OK, store.SetConnected(L"con", true, phone));

    EXPECT_EQ(testing_support::Utf16Bom(L"[Phone]\r\nIMEI=350000000000001\r\nModel=OS-100\r\nConnected=1\r\n"
                                        L"[Memory E]\r\nLabel=%20%22Card%22 100%25%20\r\nMemType=MMC\r\n"
                                        L"Quota=5000000000\r\n"),
              testing_support::ReadBytes(dir / L"%63on\\phone.ini"));

    std::vector<PhoneInfo> phones;
    ASSERT_EQ(S_OK, store.ListPhones(phones));
    ASSERT_EQ(1u, phones.size());
    EXPECT_EQ(L"con", phones[0].alias);
    EXPECT_TRUE(phones[0].connected);
    ASSERT_EQ(1u, phones[0].memories.size());
    EXPECT_EQ(L'E', phones[0].memories[0].drive);
    EXPECT_EQ(memory.label, phones[0].memories[0].label);
    EXPECT_EQ(5000000000ULL, phones[0].memories[0].quota);
}

TEST(PhoneStoreFiles, RefusesDuplicatesAndUnknownPhones)
{
    constexpr HRESULT kBadPath = static_cast<HRESULT>(0x80044341);
    constexpr HRESULT kNotFound = static_cast<HRESULT>(0x80044343);
    constexpr HRESULT kAlreadyExists = static_cast<HRESULT>(0x80044344);
    testing_support::TempDir dir;
    PhoneStore store(dir.path());
    ASSERT_EQ(S_OK, store.AddPhone(L"P1", L"1", L"OS-100"));
    EXPECT_EQ(kAlreadyExists, store.AddPhone(L"p1", L"2", L"OS-100"));
    EXPECT_EQ(kAlreadyExists, store.AddPhone(L"P2", L"1", L"OS-100"));
    EXPECT_EQ(E_INVALIDARG, store.AddPhone(L"P3", L"", L"OS-100"));
    EXPECT_EQ(kBadPath, store.AddPhone(L"a\\b", L"3", L"OS-100"));
    PhoneMemory memory;
    memory.drive = L'C';
    EXPECT_EQ(kNotFound, store.AddMemory(L"P9", memory));
    ASSERT_EQ(S_OK, store.AddMemory(L"P1", memory));
    EXPECT_EQ(kAlreadyExists, store.AddMemory(L"P1", memory));
    memory.drive = L'1';
    EXPECT_EQ(E_INVALIDARG, store.AddMemory(L"P1", memory));
    PhoneInfo phone;
    ASSERT_EQ(S_OK, store.FindPhone(L"p1", phone));
    EXPECT_EQ(L"P1", phone.alias);
    EXPECT_EQ(kNotFound, store.SetConnected(L"P9", true, phone));
}
