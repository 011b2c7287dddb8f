// Phone times are OLE Automation DATEs in local time; PC file times are UTC.
#pragma once

#include <windows.h>
#include <oleauto.h>

// DATE to calendar form, rounded to the nearest second. False outside the
// years 100 to 9999 (DATE -657434.0 to 2958465.0).
bool DateToSystemTime(DATE date, SYSTEMTIME& time);

// Phone time (local DATE) to a PC file time (UTC), and back.
HRESULT DateToFileTime(DATE date, FILETIME& fileTime);
HRESULT FileTimeToDate(const FILETIME& fileTime, DATE& date);
