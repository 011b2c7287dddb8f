#include "Dates.h"

#include <cmath>

namespace {

constexpr double kSecondsPerDay = 86400.0;
// DATE 0.0 is 1899-12-30, this many days before 1970-01-01.
constexpr long long kDateEpochTo1970 = 25569;
constexpr DATE kFirstDate = -657434.0; // 0100-01-01
constexpr DATE kLastDate = 2958465.0;  // 9999-12-31

long long FloorDivide(long long value, long long divisor)
{
    long long quotient = value / divisor;
    if ((value % divisor) != 0 && value < 0)
        --quotient;
    return quotient;
}

// Days since 1970-01-01 to the proleptic Gregorian calendar.
void CivilFromDays(long long days, int& year, unsigned& month, unsigned& day)
{
    days += 719468;
    const long long era = FloorDivide(days, 146097);
    const unsigned dayOfEra = static_cast<unsigned>(days - era * 146097);
    const unsigned yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const unsigned dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const unsigned monthIndex = (5 * dayOfYear + 2) / 153;
    day = dayOfYear - (153 * monthIndex + 2) / 5 + 1;
    month = monthIndex < 10 ? monthIndex + 3 : monthIndex - 9;
    year = static_cast<int>(yearOfEra + era * 400) + (month <= 2 ? 1 : 0);
}

long long DaysFromCivil(int year, unsigned month, unsigned day)
{
    year -= month <= 2 ? 1 : 0;
    const long long era = FloorDivide(year, 400);
    const unsigned yearOfEra = static_cast<unsigned>(year - era * 400);
    const unsigned dayOfYear = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
    const unsigned dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + static_cast<long long>(dayOfEra) - 719468;
}

} // namespace

bool DateToSystemTime(DATE date, SYSTEMTIME& time)
{
    if (!(date >= kFirstDate && date <= kLastDate))
        return false;
    // Before 1899-12-30 the fraction still counts forward from the start of
    // the day: -1.25 is 1899-12-29 06:00.
    const double dayPart = std::trunc(date);
    const double linear = dayPart + std::fabs(date - dayPart);
    const long long seconds = static_cast<long long>(std::floor(linear * kSecondsPerDay + 0.5));
    const long long days = FloorDivide(seconds, 86400);
    const long long secondOfDay = seconds - days * 86400;

    int year;
    unsigned month, day;
    CivilFromDays(days - kDateEpochTo1970, year, month, day);
    time = SYSTEMTIME{};
    time.wYear = static_cast<WORD>(year);
    time.wMonth = static_cast<WORD>(month);
    time.wDay = static_cast<WORD>(day);
    time.wDayOfWeek = static_cast<WORD>((days % 7 + 7 + 6) % 7); // 1899-12-30 was a Saturday
    time.wHour = static_cast<WORD>(secondOfDay / 3600);
    time.wMinute = static_cast<WORD>(secondOfDay / 60 % 60);
    time.wSecond = static_cast<WORD>(secondOfDay % 60);
    return true;
}

HRESULT DateToFileTime(DATE date, FILETIME& fileTime)
{
    SYSTEMTIME time;
    if (!DateToSystemTime(date, time))
        return E_INVALIDARG;
    FILETIME local;
    if (!SystemTimeToFileTime(&time, &local) || !LocalFileTimeToFileTime(&local, &fileTime))
        return HRESULT_FROM_WIN32(GetLastError());
    return S_OK;
}

HRESULT FileTimeToDate(const FILETIME& fileTime, DATE& date)
{
    FILETIME local;
    SYSTEMTIME time;
    if (!FileTimeToLocalFileTime(&fileTime, &local) || !FileTimeToSystemTime(&local, &time))
        return HRESULT_FROM_WIN32(GetLastError());
    if (time.wYear < 100 || time.wYear > 9999)
        return E_INVALIDARG;
    const long long days = DaysFromCivil(time.wYear, time.wMonth, time.wDay) + kDateEpochTo1970;
    const double fraction =
        (time.wHour * 3600 + time.wMinute * 60 + time.wSecond + time.wMilliseconds / 1000.0) / kSecondsPerDay;
    date = days < 0 ? days - fraction : days + fraction;
    return S_OK;
}
