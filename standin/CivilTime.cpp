#include "standin/CivilTime.h"

#include <cmath>

namespace standin {
namespace {

// Days from 0000-03-01 of a date; the year starts in March so that the leap day comes last.
std::int64_t DaysFromMarchEpoch(std::int64_t y, int m, int d) {
    y -= m <= 2 ? 1 : 0;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const std::int64_t yoe = y - era * 400;
    const std::int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe;
}

const std::int64_t kEpoch1601 = DaysFromMarchEpoch(1601, 1, 1);
const std::int64_t kOleEpoch = DaysFromMarchEpoch(1899, 12, 30) - DaysFromMarchEpoch(1601, 1, 1);

std::int64_t FloorDiv(std::int64_t a, std::int64_t b) {
    std::int64_t q = a / b;
    if ((a % b != 0) && ((a < 0) != (b < 0))) --q;
    return q;
}

}  // namespace

std::int64_t DaysFromCivil(int year, int month, int day) { return DaysFromMarchEpoch(year, month, day) - kEpoch1601; }

CivilDateTime CivilFromDays(std::int64_t days) {
    const std::int64_t z = days + kEpoch1601;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const std::int64_t doe = z - era * 146097;
    const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const std::int64_t mp = (5 * doy + 2) / 153;
    CivilDateTime out;
    out.day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    out.month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    out.year = static_cast<int>(yoe + era * 400 + (out.month <= 2 ? 1 : 0));
    return out;
}

bool IsLeapYear(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int DaysInMonth(int year, int month) {
    static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month < 1 || month > 12) return 0;
    return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

bool IsValidCivil(const CivilDateTime& v) {
    return v.month >= 1 && v.month <= 12 && v.day >= 1 && v.day <= DaysInMonth(v.year, v.month) && v.hour >= 0 &&
           v.hour <= 23 && v.minute >= 0 && v.minute <= 59 && v.second >= 0 && v.second <= 59;
}

Ticks ToTicks(const CivilDateTime& v) {
    return DaysFromCivil(v.year, v.month, v.day) * kSecondsPerDay + v.hour * kSecondsPerHour +
           v.minute * kSecondsPerMinute + v.second;
}

CivilDateTime FromTicks(Ticks ticks) {
    const std::int64_t days = DayNumber(ticks);
    CivilDateTime out = CivilFromDays(days);
    const Ticks rest = ticks - days * kSecondsPerDay;
    out.hour = static_cast<int>(rest / kSecondsPerHour);
    out.minute = static_cast<int>(rest % kSecondsPerHour / kSecondsPerMinute);
    out.second = static_cast<int>(rest % kSecondsPerMinute);
    return out;
}

std::int64_t DayNumber(Ticks ticks) { return FloorDiv(ticks, kSecondsPerDay); }

Ticks StartOfDay(Ticks ticks) { return DayNumber(ticks) * kSecondsPerDay; }

int WeekdayOfDay(std::int64_t dayNumber) {
    // 1601-01-01 was a Monday.
    const std::int64_t sinceMonday = dayNumber - FloorDiv(dayNumber, 7) * 7;
    return static_cast<int>((sinceMonday + 1) % 7);
}

int Weekday(Ticks ticks) { return WeekdayOfDay(DayNumber(ticks)); }

double ToOleDate(Ticks ticks) {
    const std::int64_t days = DayNumber(ticks) - kOleEpoch;
    const double fraction = static_cast<double>(ticks - DayNumber(ticks) * kSecondsPerDay) / kSecondsPerDay;
    return days >= 0 ? static_cast<double>(days) + fraction : static_cast<double>(days) - fraction;
}

Ticks FromOleDate(double date) {
    const double whole = std::trunc(date);
    const double fraction = std::fabs(date - whole);
    const Ticks seconds = static_cast<Ticks>(std::llround(fraction * kSecondsPerDay));
    return (static_cast<std::int64_t>(whole) + kOleEpoch) * kSecondsPerDay + seconds;
}

}  // namespace standin
