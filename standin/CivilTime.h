// Calendar arithmetic on wall-clock times that carry no time zone: a point in time is a count of
// seconds since 1601-01-01 00:00 in whatever zone the caller means (local time, UTC, or the wall
// clock of an iCalendar time zone). Proleptic Gregorian calendar.
#pragma once
#include <cstdint>

namespace standin {

using Ticks = std::int64_t;  // seconds since 1601-01-01 00:00 of some wall clock

inline constexpr Ticks kSecondsPerMinute = 60;
inline constexpr Ticks kSecondsPerHour = 3600;
inline constexpr Ticks kSecondsPerDay = 86400;

struct CivilDateTime {
    int year = 1601;
    int month = 1;  // 1..12
    int day = 1;    // 1..31
    int hour = 0;
    int minute = 0;
    int second = 0;
};

// Days since 1601-01-01 of a date, and back.
std::int64_t DaysFromCivil(int year, int month, int day);
CivilDateTime CivilFromDays(std::int64_t days);

bool IsLeapYear(int year);
int DaysInMonth(int year, int month);
// True when the fields form a real date and time (seconds up to 60 are not accepted).
bool IsValidCivil(const CivilDateTime& value);

Ticks ToTicks(const CivilDateTime& value);
CivilDateTime FromTicks(Ticks ticks);

// Whole days since 1601-01-01, rounded down, and the day's midnight.
std::int64_t DayNumber(Ticks ticks);
Ticks StartOfDay(Ticks ticks);
// 0 = Sunday ... 6 = Saturday, as SYSTEMTIME counts them.
int Weekday(Ticks ticks);
int WeekdayOfDay(std::int64_t dayNumber);

// OLE Automation dates (VT_DATE): days since 1899-12-30, the fraction being the time of day
// (for days before the epoch the fraction still counts forwards from midnight).
double ToOleDate(Ticks ticks);
Ticks FromOleDate(double date);

}  // namespace standin
