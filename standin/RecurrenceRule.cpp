#include "standin/RecurrenceRule.h"

#include <algorithm>
#include <charconv>

#include "standin/ContentLines.h"

namespace standin {
namespace {

using Frequency = RecurrenceRule::Frequency;

// No walk goes on for more periods than fit into this many years: a rule that yields nothing for
// that long is broken.
constexpr std::int64_t kMaxYearsWalked = 4000;

std::int64_t MaxPeriods(Frequency f, int interval) {
    const std::int64_t perYear = f == Frequency::Daily     ? 366
                                 : f == Frequency::Weekly  ? 53
                                 : f == Frequency::Monthly ? 12
                                                           : 1;
    return kMaxYearsWalked * perYear / interval + 1;
}

std::optional<int> ReadInt(std::string_view text) {
    if (!text.empty() && text.front() == '+') text.remove_prefix(1);
    int value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size() || text.empty()) return std::nullopt;
    return value;
}

std::optional<int> ReadWeekday(std::string_view text) {
    static const char* const kNames[] = {"SU", "MO", "TU", "WE", "TH", "FR", "SA"};
    for (int i = 0; i < 7; ++i) {
        if (text == kNames[i]) return i;
    }
    return std::nullopt;
}

std::vector<std::string_view> Split(std::string_view text, char separator) {
    std::vector<std::string_view> parts;
    size_t start = 0;
    for (;;) {
        const size_t end = text.find(separator, start);
        parts.push_back(text.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start));
        if (end == std::string_view::npos) return parts;
        start = end + 1;
    }
}

bool ReadIntList(std::string_view text, int low, int high, bool allowNegative, std::vector<int>& out) {
    for (auto part : Split(text, ',')) {
        const auto v = ReadInt(part);
        if (!v) return false;
        const int magnitude = *v < 0 ? -*v : *v;
        if ((*v < 0 && !allowNegative) || magnitude < low || magnitude > high) return false;
        out.push_back(*v);
    }
    return true;
}

bool ReadByDay(std::string_view text, std::vector<WeekdayNumber>& out) {
    for (auto part : Split(text, ',')) {
        if (part.size() < 2) return false;
        const auto weekday = ReadWeekday(part.substr(part.size() - 2));
        if (!weekday) return false;
        WeekdayNumber entry{0, *weekday};
        if (part.size() > 2) {
            const auto ordinal = ReadInt(part.substr(0, part.size() - 2));
            if (!ordinal || *ordinal == 0 || *ordinal > 53 || *ordinal < -53) return false;
            entry.ordinal = *ordinal;
        }
        out.push_back(entry);
    }
    return true;
}

bool HasOrdinal(const std::vector<WeekdayNumber>& days) {
    return std::any_of(days.begin(), days.end(), [](const WeekdayNumber& d) { return d.ordinal != 0; });
}

bool Contains(const std::vector<int>& list, int value) {
    return std::find(list.begin(), list.end(), value) != list.end();
}

// True when `position` (1-based) of `size` is picked by a list of positive or negative positions.
bool PicksPosition(const std::vector<int>& list, int position, int size) {
    return Contains(list, position) || Contains(list, position - size - 1);
}

// The parts that do not apply to a frequency are refused, as are ordinals a month cannot hold.
bool FitsFrequency(const RecurrenceRule& r) {
    const bool monthOrdinals = std::all_of(r.byDay.begin(), r.byDay.end(),
                                           [](const WeekdayNumber& d) { return d.ordinal >= -5 && d.ordinal <= 5; });
    switch (r.frequency) {
        case Frequency::Daily: return !HasOrdinal(r.byDay) && r.byWeekNo.empty() && r.byYearDay.empty();
        case Frequency::Weekly:
            return !HasOrdinal(r.byDay) && r.byMonthDay.empty() && r.byWeekNo.empty() && r.byYearDay.empty();
        case Frequency::Monthly: return monthOrdinals && r.byWeekNo.empty() && r.byYearDay.empty();
        case Frequency::Yearly: return r.byMonth.empty() || monthOrdinals;
    }
    return false;
}

// The first day of week 1 of a year: weeks begin on `weekStart`, and week 1 is the first that
// holds at least four days of the year.
std::int64_t FirstWeekStart(int year, int weekStart) {
    const std::int64_t jan4 = DaysFromCivil(year, 1, 4);
    return jan4 - (WeekdayOfDay(jan4) - weekStart + 7) % 7;
}

// The walk over a rule's periods: each period yields its candidate days.
class PeriodWalker {
public:
    PeriodWalker(const RecurrenceRule& rule, Ticks seriesStart)
        : r_(rule), startDay_(DayNumber(seriesStart)), startCivil_(FromTicks(seriesStart)) {
        weekOrigin_ = startDay_ - (WeekdayOfDay(startDay_) - r_.weekStart + 7) % 7;
    }

    // The number of whole periods between the series' first period and the one holding `day`.
    std::int64_t PeriodsUntil(std::int64_t day) const {
        const CivilDateTime c = CivilFromDays(day);
        switch (r_.frequency) {
            case Frequency::Daily: return day - startDay_;
            case Frequency::Weekly: return (day - weekOrigin_) / 7;
            case Frequency::Monthly: return (c.year - startCivil_.year) * 12 + (c.month - startCivil_.month);
            case Frequency::Yearly: return c.year - startCivil_.year;
        }
        return 0;
    }

    std::int64_t FirstDayOf(std::int64_t period) const {
        switch (r_.frequency) {
            case Frequency::Daily: return startDay_ + period;
            case Frequency::Weekly: return weekOrigin_ + 7 * period;
            case Frequency::Monthly: {
                const std::int64_t m = startCivil_.month - 1 + period;
                return DaysFromCivil(static_cast<int>(startCivil_.year + m / 12), static_cast<int>(m % 12 + 1), 1);
            }
            case Frequency::Yearly: return DaysFromCivil(static_cast<int>(startCivil_.year + period), 1, 1);
        }
        return 0;
    }

    // The days of one period that the rule picks, in order, BYSETPOS applied.
    std::vector<std::int64_t> Candidates(std::int64_t period) const {
        const std::int64_t first = FirstDayOf(period);
        std::int64_t from = first, to = first + 1;  // [from, to)
        const int year = CivilFromDays(first).year;
        switch (r_.frequency) {
            case Frequency::Daily: break;
            case Frequency::Weekly: to = first + 7; break;
            case Frequency::Monthly: {
                const CivilDateTime c = CivilFromDays(first);
                to = first + DaysInMonth(c.year, c.month);
                break;
            }
            case Frequency::Yearly:
                // Week 1 may begin in December of the year before, the last week end in January.
                from = r_.byWeekNo.empty() ? first : FirstWeekStart(year, r_.weekStart);
                to = r_.byWeekNo.empty() ? DaysFromCivil(year + 1, 1, 1) : FirstWeekStart(year + 1, r_.weekStart);
                break;
        }
        std::vector<std::int64_t> days;
        for (std::int64_t d = from; d < to; ++d) {
            if (Picks(d, year)) days.push_back(d);
        }
        if (r_.bySetPos.empty()) return days;
        std::vector<std::int64_t> picked;
        const int size = static_cast<int>(days.size());
        for (int i = 0; i < size; ++i) {
            if (PicksPosition(r_.bySetPos, i + 1, size)) picked.push_back(days[static_cast<size_t>(i)]);
        }
        return picked;
    }

private:
    // Whether the rule picks `day` in a period of year `year` (the year matters for BYWEEKNO only).
    bool Picks(std::int64_t day, int year) const {
        const CivilDateTime c = CivilFromDays(day);
        const int weekday = WeekdayOfDay(day);
        if (!r_.byMonth.empty() && !Contains(r_.byMonth, c.month)) return false;
        if (!r_.byWeekNo.empty()) {
            const std::int64_t week1 = FirstWeekStart(year, r_.weekStart);
            const int weeks = static_cast<int>((FirstWeekStart(year + 1, r_.weekStart) - week1) / 7);
            if (!PicksPosition(r_.byWeekNo, static_cast<int>((day - week1) / 7) + 1, weeks)) return false;
        }
        const int daysInYear = IsLeapYear(c.year) ? 366 : 365;
        const int yearDay = static_cast<int>(day - DaysFromCivil(c.year, 1, 1)) + 1;
        if (!r_.byYearDay.empty() && !PicksPosition(r_.byYearDay, yearDay, daysInYear)) return false;
        const int daysInMonth = DaysInMonth(c.year, c.month);
        if (!r_.byMonthDay.empty() && !PicksPosition(r_.byMonthDay, c.day, daysInMonth)) return false;
        if (!r_.byDay.empty() && !PicksWeekday(weekday, c, yearDay, daysInYear)) return false;
        return PicksByDefault(c, weekday);
    }

    // BYDAY: an ordinal counts that weekday in the month (monthly rules, yearly ones with BYMONTH)
    // or in the year (other yearly rules); beside BYWEEKNO it is not counted at all.
    bool PicksWeekday(int weekday, const CivilDateTime& c, int yearDay, int daysInYear) const {
        const bool inYear = r_.frequency == Frequency::Yearly && r_.byMonth.empty();
        const bool counted =
            r_.frequency == Frequency::Monthly || (r_.frequency == Frequency::Yearly && r_.byWeekNo.empty());
        const int position = inYear ? yearDay : c.day;
        const int size = inYear ? daysInYear : DaysInMonth(c.year, c.month);
        return std::any_of(r_.byDay.begin(), r_.byDay.end(), [&](const WeekdayNumber& wd) {
            if (wd.weekday != weekday) return false;
            if (wd.ordinal == 0 || !counted) return true;
            const int fromStart = (position - 1) / 7 + 1;
            const int fromEnd = (size - position) / 7 + 1;
            return wd.ordinal == fromStart || wd.ordinal == -fromEnd;
        });
    }

    // Without a part that names days, a period picks the series' own day in it.
    bool PicksByDefault(const CivilDateTime& c, int weekday) const {
        const bool namesDays = !r_.byDay.empty() || !r_.byMonthDay.empty() || !r_.byYearDay.empty();
        if (namesDays) return true;
        switch (r_.frequency) {
            case Frequency::Daily: return true;
            case Frequency::Weekly: return weekday == WeekdayOfDay(startDay_);
            case Frequency::Monthly: return c.day == startCivil_.day;
            case Frequency::Yearly:
                if (!r_.byWeekNo.empty()) return weekday == WeekdayOfDay(startDay_);
                return c.day == startCivil_.day && (!r_.byMonth.empty() || c.month == startCivil_.month);
        }
        return false;
    }

    const RecurrenceRule& r_;
    std::int64_t startDay_;
    CivilDateTime startCivil_;
    std::int64_t weekOrigin_ = 0;
};

}  // namespace

std::optional<RecurrenceRule> ParseRecurrenceRule(std::string_view value) {
    RecurrenceRule r;
    bool haveFrequency = false;
    std::vector<std::string> seen;
    for (auto part : Split(value, ';')) {
        if (part.empty()) continue;
        const size_t eq = part.find('=');
        if (eq == std::string_view::npos) return std::nullopt;
        const std::string name = ical::Upper(part.substr(0, eq));
        const std::string text = ical::Upper(part.substr(eq + 1));
        if (name.rfind("X-", 0) == 0) continue;  // extensions do not change the instances
        if (std::find(seen.begin(), seen.end(), name) != seen.end()) return std::nullopt;
        seen.push_back(name);
        if (name == "FREQ") {
            if (text == "DAILY")
                r.frequency = Frequency::Daily;
            else if (text == "WEEKLY")
                r.frequency = Frequency::Weekly;
            else if (text == "MONTHLY")
                r.frequency = Frequency::Monthly;
            else if (text == "YEARLY")
                r.frequency = Frequency::Yearly;
            else
                return std::nullopt;
            haveFrequency = true;
        } else if (name == "INTERVAL") {
            const auto v = ReadInt(text);
            if (!v || *v < 1) return std::nullopt;
            r.interval = *v;
        } else if (name == "COUNT") {
            const auto v = ReadInt(text);
            if (!v || *v < 1) return std::nullopt;
            r.count = *v;
        } else if (name == "UNTIL") {
            if (text.empty()) return std::nullopt;
            r.untilText = text;
        } else if (name == "BYDAY") {
            if (!ReadByDay(text, r.byDay)) return std::nullopt;
        } else if (name == "BYMONTHDAY") {
            if (!ReadIntList(text, 1, 31, true, r.byMonthDay)) return std::nullopt;
        } else if (name == "BYMONTH") {
            if (!ReadIntList(text, 1, 12, false, r.byMonth)) return std::nullopt;
        } else if (name == "BYWEEKNO") {
            if (!ReadIntList(text, 1, 53, true, r.byWeekNo)) return std::nullopt;
        } else if (name == "BYYEARDAY") {
            if (!ReadIntList(text, 1, 366, true, r.byYearDay)) return std::nullopt;
        } else if (name == "BYSETPOS") {
            if (!ReadIntList(text, 1, 366, true, r.bySetPos)) return std::nullopt;
        } else if (name == "WKST") {
            const auto wd = ReadWeekday(text);
            if (!wd) return std::nullopt;
            r.weekStart = *wd;
        } else {
            return std::nullopt;  // BYHOUR, BYMINUTE, BYSECOND are not expanded
        }
    }
    if (!haveFrequency || (r.count && !r.untilText.empty()) || !FitsFrequency(r)) return std::nullopt;
    return r;
}

void ExpandRule(const RecurrenceRule& rule, Ticks seriesStart, Ticks from, Ticks to,
                const std::function<bool(Ticks)>& visit) {
    const Ticks timeOfDay = seriesStart - StartOfDay(seriesStart);
    std::int64_t emitted = 0;
    // False when the walk is over: past `to`, past UNTIL or COUNT, or the visitor had enough.
    auto emit = [&](Ticks t) {
        if (rule.until && t > *rule.until) return false;
        if (rule.count && ++emitted > *rule.count) return false;
        if (t > to) return false;
        return t < from || visit(t);
    };
    if (!emit(seriesStart)) return;

    const PeriodWalker walker(rule, seriesStart);
    std::int64_t period = 0;
    if (!rule.count && from > seriesStart) {
        // Without COUNT nothing before `from` matters: start a little before its period.
        const std::int64_t skip = walker.PeriodsUntil(DayNumber(from)) / rule.interval - 1;
        if (skip > 0) period = skip * rule.interval;
    }
    const std::int64_t lastDay = DayNumber(to);
    const std::int64_t maxPeriods = MaxPeriods(rule.frequency, rule.interval);
    for (std::int64_t walked = 0; walked < maxPeriods; ++walked, period += rule.interval) {
        if (walker.FirstDayOf(period) > lastDay) return;
        for (std::int64_t day : walker.Candidates(period)) {
            const Ticks t = day * kSecondsPerDay + timeOfDay;
            if (t <= seriesStart) continue;
            if (!emit(t)) return;
        }
    }
}

std::optional<Ticks> LastInstanceAtOrBefore(const RecurrenceRule& rule, Ticks seriesStart, Ticks limit) {
    std::optional<Ticks> last;
    const Ticks from = std::max(seriesStart, limit - 800 * kSecondsPerDay);
    ExpandRule(rule, seriesStart, from, limit, [&](Ticks t) {
        last = t;
        return true;
    });
    if (!last && from > seriesStart) {
        ExpandRule(rule, seriesStart, seriesStart, limit, [&](Ticks t) {
            last = t;
            return true;
        });
    }
    return last;
}

bool IsInstance(const RecurrenceRule& rule, Ticks seriesStart, Ticks start) {
    bool found = false;
    ExpandRule(rule, seriesStart, start, start, [&](Ticks t) {
        found = t == start;
        return false;
    });
    return found;
}

}  // namespace standin
