// Listing dates, and the way between phone times and PC file times.
#include "common/Dates.h"
#include "mirror/Listing.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

using namespace testing_support;

TEST(ListingDates, TextIsReadAsCalendarDateAndTime)
{
    const struct {
        const wchar_t* text;
        DATE date;
    } cases[] = {
        {L"20050229T120000", 0.0}, // 2005 is no leap year
        {L"20040229T120000", 38046.5},
        {L"20000229T000000", 36585.0}, // divisible by 400: leap year
        {L"19000229T000000", 0.0},     // divisible by 100 only: none
        {L"18991229T060000", -1.25},
        {L"20050228T134509Z", 38411.0 + (13 * 3600 + 45 * 60 + 9) / 86400.0},
        {L"20050228X134509", 38411.0 + (13 * 3600 + 45 * 60 + 9) / 86400.0}, // character 9 is not looked at
        {L"99991231T235959", 2958465.0 + 86399 / 86400.0},
        {L"20051301T000000", 0.0}, // month 13
        {L"20050100T000000", 0.0}, // day 0
        {L"20050431T000000", 0.0}, // April has 30 days
        {L"20050101T240000", 0.0},
        {L"20050101T00000", 0.0}, // 14 characters
        {nullptr, 0.0},
        {L"garbage-garbage", 0.0},
    };
    for (const auto& c : cases)
        EXPECT_DOUBLE_EQ(mirror::BSTR2Date(c.text), c.date) << (c.text ? Narrow(c.text) : "null");
}

TEST(ListingDates, DateAndFileTimeRoundTrip)
{
    const DATE dates[] = {38046.5, 38411.0 + (13 * 3600 + 45 * 60 + 9) / 86400.0, 2.0, 2958465.0, -1.25};
    for (DATE date : dates) {
        FILETIME fileTime{};
        ASSERT_EQ(S_OK, DateToFileTime(date, fileTime)) << date;
        DATE back = -1;
        ASSERT_EQ(S_OK, FileTimeToDate(fileTime, back)) << date;
        EXPECT_NEAR(back, date, 1e-9);
    }
}

TEST(ListingDates, DatesOutsideTheCalendarAreRefused)
{
    FILETIME fileTime{};
    EXPECT_EQ(E_INVALIDARG, DateToFileTime(2958466.0, fileTime));
    EXPECT_EQ(E_INVALIDARG, DateToFileTime(-700000.0, fileTime));
    SYSTEMTIME time;
    EXPECT_FALSE(DateToSystemTime(-657434.5, time));
    ASSERT_TRUE(DateToSystemTime(-1.25, time));
    // Friday, 1899-12-29 06:00.
    EXPECT_EQ((std::vector<WORD>{1899, 12, 29, 6, 5}),
              (std::vector<WORD>{time.wYear, time.wMonth, time.wDay, time.wHour, time.wDayOfWeek}));
}
