// Listing dates; the way between phone times and PC file times is pinned by the
// transfers' times and the bad requests' dates.
#include "mirror/Listing.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

using namespace testing_support;

TEST(ListingDates, TextIsReadAsCalendarDateAndTime)
{
    const std::pair<const wchar_t*, DATE> cases[] = {
        {L"20050229T120000", 0.0}, // 2005 is no leap year
        {L"20040229T120000", 38046.5},
        {L"20000229T000000", 36585.0}, // divisible by 400: leap year
        {L"19000229T000000", 0.0},     // divisible by 100 only: none
        {L"18991229T060000", -1.25},
        {L"20050228T134509Z", 38411.0 + (13 * 3600 + 45 * 60 + 9) / 86400.0},
        {L"99991231T235959", 2958465.0 + 86399 / 86400.0},
        {L"20051301T000000", 0.0}, // month 13
        {L"20050431T000000", 0.0}, // April has 30 days
        {L"20050101T240000", 0.0},
        {L"20050101T00000", 0.0}, // 14 characters
        {nullptr, 0.0},
    };
    for (const auto& [text, date] : cases)
        EXPECT_DOUBLE_EQ(mirror::BSTR2Date(text), date) << (text ? Narrow(text) : "null");
}
