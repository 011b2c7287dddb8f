#include "Capability.h"
#include "DeviceInfo.h"
#include "ListingEntries.h"
#include "PhoneLink.h"
#include "SuiteErrors.h"
#include "obex/protocol/ObexResults.h"

#include <gtest/gtest.h>

using namespace obex;

TEST(SuiteResult, NamesEveryOutcomeWithACodeTheErrorBoxKnows)
{
    const struct {
        HRESULT in;
        HRESULT out;
    } cases[] = {
        {S_OK, S_OK},
        // A refused connection, a missing item, an unsupported request and a cancel: see the components' tests.
        {kTimeout, static_cast<HRESULT>(0x8004434A)},
        {kConnectionLost, static_cast<HRESULT>(0x80044251)},
        {HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED), HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED)},
        {kMalformed, static_cast<HRESULT>(0x80044342)},
        {ResultFromResponse(0xC3), static_cast<HRESULT>(0x80044203)},
        {ResultFromResponse(0xCD), static_cast<HRESULT>(0x80044345)},
        {ResultFromResponse(0xD3), static_cast<HRESULT>(0x80044334)},
        {ResultFromResponse(0xE0), static_cast<HRESULT>(0x80044360)},
        {ResultFromResponse(0xC0), static_cast<HRESULT>(0x80044342)},
        {E_OUTOFMEMORY, E_OUTOFMEMORY},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.out, SuiteResult(c.in)) << std::hex << c.in;
}

TEST(ListingEntries, GivesItemsWithoutAMemoryTypeThatOfTheirMemory)
{
    EXPECT_EQ(L"<folder-listing version=\"1.0\">\n<file name=\"a\" size=\"1\" mem-type=\"DEV\"/>\n"
              L"<folder name=\"b\" mem-type=\"MMC\"/>\n</folder-listing>\n",
              WithMemoryType(L"<folder-listing version=\"1.0\">\n<file name=\"a\" size=\"1\"/>\n"
                             L"<folder name=\"b\" mem-type=\"MMC\"/>\n</folder-listing>\n",
                             L"DEV"));
}

TEST(ListingEntries, DatesOfTheListing)
{
    SYSTEMTIME time{2026, 12, 0, 8, 15, 35, 29, 0};
    DATE expected = 0;
    ASSERT_TRUE(SystemTimeToVariantTime(&time, &expected));
    EXPECT_EQ(expected, ListingDate(L"20261208T153529"));
    EXPECT_EQ(expected, ListingDate(L"20261208T153529Z"));
    for (const wchar_t* bad : {L"", L"20261208T1535", L"20261308T153529", L"20261208 153529", L"2026120xT153529"})
        EXPECT_EQ(0.0, ListingDate(bad)) << bad;
}

TEST(PhoneMemories, DriveFoldersOfTheRootAreThePhonesMemories)
{
    // A root without drive folders is one memory: see the suite's end-to-end listing.
    std::vector<ListingEntry> drives(4);
    drives[0] = {true, L"c:", 0, L"", L"", L""};
    drives[1] = {true, L"E:", 0, L"", L"Memory card", L"MMC"};
    drives[2] = {true, L"Music", 0, L"", L"", L""};
    drives[3] = {false, L"D:", 0, L"", L"", L""}; // a file is no memory
    std::vector<std::wstring> memories;
    for (const PhoneMemory& m : MemoriesOf(drives))
        memories.push_back(std::wstring(1, m.drive) + L"|" + m.label + L"|" + m.memType + L"|" + m.folder);
    EXPECT_EQ((std::vector<std::wstring>{L"C|c:|DEV|c:", L"E|Memory card|MMC|E:"}), memories);
}

TEST(Capability, ModelMakerAndFreeMemoryOfTheGeneralSection)
{
    const CapabilityInfo info =
        ReadCapability("<?xml version=\"1.0\"?>\n<Capability Version=\"1.0\"><General>\n"
                       "<Manufacturer> Acme &amp; Sons </Manufacturer><Model>X\xC3\xA9-1</Model>\n"
                       "<Memory><MemType>DEV</MemType><Free>1048576</Free><Used>5</Used></Memory>\n"
                       "<Memory><MemType>MMC</MemType></Memory>\n</General>\n"
                       "<Service><Name>Folder-Browsing</Name><Model>not this</Model></Service></Capability>");
    EXPECT_EQ(L"Acme & Sons", info.manufacturer);
    EXPECT_EQ(L"X\u00E9-1", info.model);
    ASSERT_EQ(2u, info.memories.size());
    EXPECT_EQ(L"DEV", info.memories[0].memType);
    EXPECT_EQ(L"1048576", info.memories[0].freeBytes);
    EXPECT_EQ(L"MMC", info.memories[1].memType);
    EXPECT_EQ(L"", info.memories[1].freeBytes);

    const CapabilityInfo none = ReadCapability("");
    EXPECT_EQ(L"", none.model);
    EXPECT_TRUE(none.memories.empty());
}

TEST(DeviceModels, TheCapabilityModelFirstThenTheConfiguredOne)
{
    PhoneEntry configured{L"p", L"tcp:h", L"1", L"Cfg"};
    PhoneEntry bare{L"p", L"tcp:h", L"1", L""};
    EXPECT_EQ((std::vector<std::wstring>{L"Cap", L"Cfg"}), ModelsOf(configured, L"Cap"));
    EXPECT_EQ((std::vector<std::wstring>{L"Cfg"}), ModelsOf(configured, L"Cfg"));
    EXPECT_EQ((std::vector<std::wstring>{L"Cfg"}), ModelsOf(configured, L""));
    EXPECT_EQ((std::vector<std::wstring>{L"OBEX FTP phone"}), ModelsOf(bare, L""));
}
