// The named date and time forms of the user's regional settings.
#pragma once
#include <windows.h>
#include <oleauto.h>

#include <string>

namespace hv::toolkit {

// "Short Date": the locale's short date of the given day (GetDateFormatEx, DATE_SHORTDATE).
std::wstring ShortDate(const SYSTEMTIME& day);

// "Medium Time": two-digit hour from 01 to 12, a colon, two-digit minutes, a blank and the
// locale's AM or PM designator ("09:30 PM"). Seconds are dropped.
std::wstring MediumTime(int hour, int minute);
std::wstring MediumTime(const SYSTEMTIME& time);
std::wstring MediumTime(DATE time);

// The locale's own time form without seconds (GetTimeFormatEx, TIME_NOSECONDS): "23:59" in a
// 24-hour locale, "11:59 PM" in en-US.
std::wstring ShortTime(int hour, int minute);
// The user's time format shows an AM/PM designator.
bool TimeFormatHasDesignator();

// The general date-time form: the locale's short date, a blank and its long time, the time left
// out when it is exactly midnight (as the system writes a date value as text).
std::wstring GeneralDate(DATE value);

// The date value as a SYSTEMTIME, rounded to the second. Throws std::invalid_argument for a value
// that is no date.
SYSTEMTIME ToSystemTime(DATE value);

}  // namespace hv::toolkit
