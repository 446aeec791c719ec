#include "standin/RecurrenceRule.h"

#include <algorithm>
#include <charconv>

#include "standin/ContentLines.h"

namespace standin {
namespace {

using Frequency = RecurrenceRule::Frequency;

// More periods than this are never walked: a rule that yields nothing for that long is broken.
constexpr std::int64_t kMaxPeriods = 400'000;

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

// An ordinal counts weekdays within a month here, where there are at most five of each.
bool OrdinalsFitAMonth(const std::vector<WeekdayNumber>& days) {
    return std::all_of(days.begin(), days.end(), [](const WeekdayNumber& d) { return d.ordinal >= -5 && d.ordinal <= 5; });
}

bool FitsFrequency(const RecurrenceRule& r) {
    switch (r.frequency) {
        case Frequency::Daily: return !HasOrdinal(r.byDay);
        case Frequency::Weekly: return !HasOrdinal(r.byDay) && r.byMonthDay.empty();
        case Frequency::Monthly: return OrdinalsFitAMonth(r.byDay);
        case Frequency::Yearly: return r.byDay.empty() || (!r.byMonth.empty() && OrdinalsFitAMonth(r.byDay));
    }
    return false;
}

// Days (day numbers) of one month that the rule picks, in order.
std::vector<std::int64_t> DaysOfMonth(const RecurrenceRule& r, int year, int month, int defaultDay) {
    const int dim = DaysInMonth(year, month);
    const std::int64_t first = DaysFromCivil(year, month, 1);
    std::vector<int> days;
    for (int md : r.byMonthDay) {
        const int d = md > 0 ? md : dim + md + 1;
        if (d >= 1 && d <= dim) days.push_back(d);
    }
    if (!r.byDay.empty()) {
        std::vector<int> picked;
        const int firstWeekday = WeekdayOfDay(first);
        for (const auto& wd : r.byDay) {
            const int firstOf = 1 + (wd.weekday - firstWeekday + 7) % 7;
            if (wd.ordinal == 0) {
                for (int d = firstOf; d <= dim; d += 7) picked.push_back(d);
            } else if (wd.ordinal > 0) {
                const int d = firstOf + 7 * (wd.ordinal - 1);
                if (d <= dim) picked.push_back(d);
            } else {
                int last = firstOf;
                while (last + 7 <= dim) last += 7;
                const int d = last - 7 * (-wd.ordinal - 1);
                if (d >= 1) picked.push_back(d);
            }
        }
        if (r.byMonthDay.empty()) {
            days = picked;
        } else {
            std::erase_if(days, [&](int d) { return !Contains(picked, d); });
        }
    }
    if (r.byMonthDay.empty() && r.byDay.empty() && defaultDay <= dim) days.push_back(defaultDay);
    std::sort(days.begin(), days.end());
    days.erase(std::unique(days.begin(), days.end()), days.end());
    std::vector<std::int64_t> out;
    for (int d : days) out.push_back(first + d - 1);
    return out;
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

    std::vector<std::int64_t> Candidates(std::int64_t period) const {
        const std::int64_t firstDay = FirstDayOf(period);
        std::vector<std::int64_t> days;
        switch (r_.frequency) {
            case Frequency::Daily: days.push_back(firstDay); break;
            case Frequency::Weekly:
                if (r_.byDay.empty()) {
                    days.push_back(firstDay + (WeekdayOfDay(startDay_) - r_.weekStart + 7) % 7);
                } else {
                    for (const auto& wd : r_.byDay) days.push_back(firstDay + (wd.weekday - r_.weekStart + 7) % 7);
                }
                break;
            case Frequency::Monthly: {
                const CivilDateTime c = CivilFromDays(firstDay);
                days = DaysOfMonth(r_, c.year, c.month, startCivil_.day);
                break;
            }
            case Frequency::Yearly: {
                const int year = CivilFromDays(firstDay).year;
                std::vector<int> months = r_.byMonth;
                if (months.empty() && !r_.byMonthDay.empty()) {
                    for (int m = 1; m <= 12; ++m) months.push_back(m);
                } else if (months.empty()) {
                    months.push_back(startCivil_.month);
                }
                std::sort(months.begin(), months.end());
                for (int m : months) {
                    auto inMonth = DaysOfMonth(r_, year, m, startCivil_.day);
                    days.insert(days.end(), inMonth.begin(), inMonth.end());
                }
                break;
            }
        }
        std::sort(days.begin(), days.end());
        days.erase(std::unique(days.begin(), days.end()), days.end());
        std::erase_if(days, [&](std::int64_t d) { return !PassesLimits(d); });
        return days;
    }

private:
    // BYxxx parts that only narrow what the frequency yields.
    bool PassesLimits(std::int64_t day) const {
        const CivilDateTime c = CivilFromDays(day);
        if (!r_.byMonth.empty() && !Contains(r_.byMonth, c.month)) return false;
        if (r_.frequency == Frequency::Daily) {
            if (!r_.byDay.empty() &&
                std::none_of(r_.byDay.begin(), r_.byDay.end(),
                             [&](const WeekdayNumber& wd) { return wd.weekday == WeekdayOfDay(day); })) {
                return false;
            }
            if (!r_.byMonthDay.empty()) {
                const int dim = DaysInMonth(c.year, c.month);
                if (!Contains(r_.byMonthDay, c.day) && !Contains(r_.byMonthDay, c.day - dim - 1)) return false;
            }
        }
        return true;
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
            if (text == "DAILY") r.frequency = Frequency::Daily;
            else if (text == "WEEKLY") r.frequency = Frequency::Weekly;
            else if (text == "MONTHLY") r.frequency = Frequency::Monthly;
            else if (text == "YEARLY") r.frequency = Frequency::Yearly;
            else return std::nullopt;
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
        } else if (name == "WKST") {
            const auto wd = ReadWeekday(text);
            if (!wd) return std::nullopt;
            r.weekStart = *wd;
        } else {
            return std::nullopt;  // BYSETPOS, BYWEEKNO, BYYEARDAY, BYHOUR, ... are not expanded
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
    for (std::int64_t walked = 0; walked < kMaxPeriods; ++walked, period += rule.interval) {
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
