// Recurrence rules (RRULE) of the kinds calendars use for appointments and time zones: DAILY,
// WEEKLY, MONTHLY and YEARLY with INTERVAL, COUNT, UNTIL, WKST and the day-level parts BYMONTH,
// BYWEEKNO, BYYEARDAY, BYMONTHDAY, BYDAY (with ordinals such as 2TU or -1FR, counted in the
// month or, in a yearly rule without BYMONTH, in the year) and BYSETPOS. A rule with any other
// part (hourly rules, BYHOUR, ...) is refused rather than read partly.
#pragma once
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "standin/CivilTime.h"

namespace standin {

struct WeekdayNumber {
    int ordinal = 0;  // 0: every such weekday; 1 = first, -1 = last, ...
    int weekday = 0;  // 0 = Sunday ... 6 = Saturday
    bool operator==(const WeekdayNumber&) const = default;
};

struct RecurrenceRule {
    enum class Frequency { Daily, Weekly, Monthly, Yearly };
    Frequency frequency = Frequency::Daily;
    int interval = 1;
    std::optional<int> count;
    std::string untilText;       // UNTIL as written; the caller turns it into `until`
    std::optional<Ticks> until;  // last allowed start, inclusive, in the series' wall time
    std::vector<WeekdayNumber> byDay;
    std::vector<int> byMonthDay;  // 1..31 or -31..-1
    std::vector<int> byMonth;     // 1..12
    std::vector<int> byWeekNo;    // 1..53 or -53..-1
    std::vector<int> byYearDay;   // 1..366 or -366..-1
    std::vector<int> bySetPos;    // 1..366 or -366..-1
    int weekStart = 1;            // Monday
};

// Reads an RRULE value; nullopt for a rule this reader does not expand faithfully.
std::optional<RecurrenceRule> ParseRecurrenceRule(std::string_view value);

// Visits, in order, the starts of a series (first = seriesStart, which always counts as the first
// instance) that lie in [from, to]. `visit` returns false to stop early. Wall times throughout.
void ExpandRule(const RecurrenceRule& rule, Ticks seriesStart, Ticks from, Ticks to,
                const std::function<bool(Ticks)>& visit);

// The last instance that starts at or before `limit`, if any.
std::optional<Ticks> LastInstanceAtOrBefore(const RecurrenceRule& rule, Ticks seriesStart, Ticks limit);
// True when the series has an instance starting exactly at `start`.
bool IsInstance(const RecurrenceRule& rule, Ticks seriesStart, Ticks start);

}  // namespace standin
