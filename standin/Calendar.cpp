#include "standin/Calendar.h"

#include <algorithm>
#include <charconv>
#include <limits>
#include <map>

#include "standin/ContentLines.h"
#include "standin/ZoneDefinition.h"

namespace standin {
namespace {

using ical::Component;
using ical::ContentLine;

// Ranges are widened by this much in wall time, more than any zone's offset from local time.
constexpr Ticks kWallMargin = 2 * kSecondsPerDay;

struct TimeValue {
    Ticks wall = 0;
    bool dateOnly = false;
    WallClock clock;
};

// A VEVENT as read, before overrides are joined to their series.
struct Draft {
    std::shared_ptr<Event> event;
    std::string uid;
    std::optional<TimeValue> recurrenceId;
    bool thisAndFuture = false;  // RANGE=THISANDFUTURE
    int sequence = 0;
    std::vector<TimeValue> exdates;
};

// No series yields more starts than this to one walk.
constexpr size_t kMaxStartsPerRule = 200000;

// Outlook keeps a meeting its organizer cancelled on the attendee's calendar, marked cancelled,
// until the attendee removes it: "The scheduled meeting has been cancelled but still appears on
// the user's calendar" (OlMeetingStatus.olMeetingReceivedAndCanceled,
// https://learn.microsoft.com/en-us/office/vba/api/outlook.olmeetingstatus), and its subject
// then begins with "Canceled: " (the prefix Outlook's cancellation puts on the subject, which
// Outlook's own tools search for to clean such meetings up:
// https://www.slipstick.com/outlook/calendar/remove-cancelled-meeting-requests-from-resource-calendar/).
const wchar_t kCancelledPrefix[] = L"Canceled: ";

bool IsUtcName(std::string_view tzid) {
    static const char* const kNames[] = {"UTC",      "ETC/UTC",   "GMT",           "ETC/GMT", "Z",      "ZULU",
                                         "ETC/ZULU", "UNIVERSAL", "ETC/UNIVERSAL", "UCT",     "ETC/UCT"};
    const std::string upper = ical::Upper(tzid);
    return std::any_of(std::begin(kNames), std::end(kNames), [&](const char* n) { return upper == n; });
}

// Parameter values may carry ^n, ^' and ^^ (RFC 6868).
std::string DecodeParamValue(std::string_view value) {
    std::string out;
    for (size_t i = 0; i < value.size(); ++i) {
        if (value[i] == '^' && i + 1 < value.size()) {
            const char next = value[i + 1];
            if (next == 'n') {
                out += "\r\n";
                ++i;
                continue;
            }
            if (next == '\'') {
                out += '"';
                ++i;
                continue;
            }
            if (next == '^') {
                out += '^';
                ++i;
                continue;
            }
        }
        out += value[i];
    }
    return out;
}

// "-PT15M", "P1D", "P2W", "+PT1H30M": signed seconds.
std::optional<Ticks> ParseDuration(std::string_view text) {
    Ticks sign = 1;
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
        if (text.front() == '-') sign = -1;
        text.remove_prefix(1);
    }
    if (text.empty() || text.front() != 'P') return std::nullopt;
    text.remove_prefix(1);
    Ticks total = 0;
    bool inTime = false, any = false;
    while (!text.empty()) {
        if (text.front() == 'T') {
            if (inTime) return std::nullopt;
            inTime = true;
            text.remove_prefix(1);
            continue;
        }
        std::int64_t n = 0;
        const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), n);
        if (ec != std::errc() || end == text.data() + text.size() || n < 0 || n > 1'000'000) return std::nullopt;
        const char unit = *end;
        text.remove_prefix(static_cast<size_t>(end - text.data()) + 1);
        if (!inTime && unit == 'W')
            total += n * 7 * kSecondsPerDay;
        else if (!inTime && unit == 'D')
            total += n * kSecondsPerDay;
        else if (inTime && unit == 'H')
            total += n * kSecondsPerHour;
        else if (inTime && unit == 'M')
            total += n * kSecondsPerMinute;
        else if (inTime && unit == 'S')
            total += n;
        else
            return std::nullopt;
        any = true;
    }
    if (!any) return std::nullopt;
    return sign * total;
}

std::wstring TrimBlanks(std::wstring text) {
    const auto first = text.find_first_not_of(L" \t");
    if (first == std::wstring::npos) return {};
    const auto last = text.find_last_not_of(L" \t");
    return text.substr(first, last - first + 1);
}

class CalendarReader {
public:
    CalendarReader(const LocalZone& zone, const std::wstring& ownerName) : local_(zone), owner_(ownerName) {}

    void ReadCalendar(const Component& vcalendar) {
        zones_.clear();
        for (const auto& child : vcalendar.children) {
            if (child.name != "VTIMEZONE") continue;
            const auto* tzid = child.First("TZID");
            if (!tzid) continue;
            auto zone = ZoneDefinition::FromComponent(child);
            zones_[tzid->value] = zone ? std::make_shared<const ZoneDefinition>(std::move(*zone)) : nullptr;
        }
        // Times without a zone are in the calendar's zone when it names one (as Google Calendar
        // and Apple Calendar write it), otherwise in the machine's.
        floating_ = WallClock(WallClock::Kind::Local, &local_);
        if (const auto* wr = vcalendar.First("X-WR-TIMEZONE")) {
            if (auto clock = ClockFor(wr->value)) floating_ = *clock;
        }
        for (const auto& child : vcalendar.children) {
            if (child.name != "VEVENT") continue;
            if (auto draft = ReadEvent(child)) drafts_.push_back(std::move(*draft));
        }
    }

    std::shared_ptr<const Calendar> Finish() {
        auto calendar = std::make_shared<Calendar>();
        std::map<std::string, Draft*> series;
        for (auto& d : drafts_) {
            if (!d.recurrenceId && d.event->IsRecurring() && !d.uid.empty() && !series.count(d.uid)) {
                series[d.uid] = &d;
            }
        }
        std::map<Draft*, std::vector<Draft*>> overrides;
        for (auto& d : drafts_) {
            if (!d.recurrenceId) continue;
            const auto it = series.find(d.uid);
            if (it != series.end()) {
                overrides[it->second].push_back(&d);
            } else if (!d.uid.empty() && HasMaster(d.uid)) {
                d.event.reset();  // an override of something that does not recur: not readable
            } else {
                d.recurrenceId.reset();  // an occurrence whose series is not in the file stands alone
            }
        }
        for (auto& d : drafts_) {
            if (!d.event || d.recurrenceId) continue;
            if (d.event->IsRecurring()) BuildExceptions(d, overrides[&d]);
            calendar->events.push_back(d.event);
        }
        return calendar;
    }

private:
    bool HasMaster(const std::string& uid) const {
        return std::any_of(drafts_.begin(), drafts_.end(),
                           [&](const Draft& d) { return d.event && !d.recurrenceId && d.uid == uid; });
    }

    static std::string ValueType(const ContentLine& line) {
        const std::string* type = line.Param("VALUE");
        return type ? ical::Upper(*type) : std::string();
    }

    // A date or date-time value read by its form, as calendar programs read it: "20190101" is a
    // date even where VALUE=DATE was left out.
    std::optional<TimeValue> ReadTime(const ContentLine& line, std::string_view text) const {
        const std::string type = ValueType(line);
        if (!type.empty() && type != "DATE" && type != "DATE-TIME") return std::nullopt;
        TimeValue out;
        bool utc = false;
        const auto ticks = ParseDateTimeValue(ical::Upper(text), out.dateOnly, utc);
        if (!ticks) return std::nullopt;
        out.wall = *ticks;
        if (out.dateOnly) {
            out.clock = WallClock(WallClock::Kind::Local, &local_);
        } else if (utc) {
            out.clock = WallClock(WallClock::Kind::Utc, &local_);
        } else if (const std::string* tzid = line.Param("TZID")) {
            auto clock = ClockFor(*tzid);
            if (!clock) return std::nullopt;
            out.clock = *clock;
        } else {
            out.clock = floating_;
        }
        return out;
    }

    // A zone is converted with Windows' own rules wherever Windows knows it (by its Windows name
    // or, through CLDR's table, by its IANA name), as Outlook does; with the calendar's
    // VTIMEZONE otherwise. A name that neither knows is read as floating time.
    std::optional<WallClock> ClockFor(const std::string& tzid) const {
        std::string_view name = tzid;
        if (!name.empty() && name.front() == '/') name.remove_prefix(1);
        if (IsUtcName(name)) return WallClock(WallClock::Kind::Utc, &local_);
        const std::wstring wide = ical::Utf8ToWide(name);
        if (local_.HasName(wide)) return WallClock(WallClock::Kind::Local, &local_);
        if (auto system = FindSystemZone(wide)) return WallClock(WallClock::Kind::Defined, &local_, std::move(system));
        const auto it = zones_.find(tzid);
        if (it != zones_.end()) {
            if (!it->second) return std::nullopt;
            return WallClock(WallClock::Kind::Defined, &local_, it->second);
        }
        return floating_;
    }

    static Ticks InClock(const TimeValue& v, const WallClock& clock) {
        if (v.dateOnly || v.clock.SameAs(clock)) return v.wall;
        return clock.FromUtc(v.clock.ToUtc(v.wall));
    }

    // Properties that may appear once: a second, different copy makes the event unreadable.
    static bool HasConflictingCopies(const Component& c) {
        for (const char* name : {"UID", "DTSTART", "DTEND", "DURATION", "SUMMARY", "LOCATION", "DESCRIPTION",
                                 "ORGANIZER", "RECURRENCE-ID"}) {
            const auto copies = c.All(name);
            for (size_t i = 1; i < copies.size(); ++i) {
                if (copies[i]->value != copies[0]->value || copies[i]->params != copies[0]->params) return true;
            }
        }
        return false;
    }

    std::wstring Text(const Component& c, const char* name) const {
        const auto* line = c.First(name);
        return line ? ical::UnescapeText(line->value) : std::wstring();
    }

    std::wstring Organizer(const Component& c) const {
        const auto* line = c.First("ORGANIZER");
        if (!line) return owner_;
        if (const std::string* cn = line->Param("CN"); cn && !cn->empty()) {
            return ical::Utf8ToWide(DecodeParamValue(*cn));
        }
        std::string_view address = line->value;
        if (ical::Upper(address.substr(0, 7)) == "MAILTO:") address.remove_prefix(7);
        return ical::Utf8ToWide(address);
    }

    static std::wstring Categories(const Component& c) {
        std::wstring joined;
        for (const auto* line : c.All("CATEGORIES")) {
            for (auto part : ical::SplitUnescaped(line->value, ',')) {
                const std::wstring name = TrimBlanks(ical::UnescapeText(part));
                if (name.empty()) continue;
                if (!joined.empty()) joined += L", ";
                joined += name;
            }
        }
        return joined;
    }

    // The first alarm with a trigger before the start gives the reminder.
    static void ReadReminder(const Component& c, Ticks duration, ItemValues& v) {
        for (const auto& alarm : c.children) {
            if (alarm.name != "VALARM") continue;
            const auto* trigger = alarm.First("TRIGGER");
            if (!trigger) continue;
            const std::string type = ValueType(*trigger);
            if (!type.empty() && type != "DURATION") continue;
            auto offset = ParseDuration(ical::Upper(trigger->value));
            if (!offset) continue;
            const std::string* related = trigger->Param("RELATED");
            if (related && ical::Upper(*related) == "END") *offset += duration;
            if (*offset > 0) continue;
            v.reminderSet = true;
            v.reminderMinutes = static_cast<long>(-*offset / kSecondsPerMinute);
            return;
        }
    }

    std::optional<Draft> ReadEvent(const Component& c) const {
        if (HasConflictingCopies(c) || c.First("EXRULE")) return std::nullopt;
        const auto* startLine = c.First("DTSTART");
        if (!startLine) return std::nullopt;
        const auto start = ReadTime(*startLine, startLine->value);
        if (!start) return std::nullopt;

        auto event = std::make_shared<Event>();
        event->clock = start->clock;
        event->startWall = start->wall;
        const auto* endLine = c.First("DTEND");
        const auto* durationLine = c.First("DURATION");
        if (endLine && durationLine) return std::nullopt;
        if (endLine) {
            const auto end = ReadTime(*endLine, endLine->value);
            if (!end || end->dateOnly != start->dateOnly) return std::nullopt;
            event->durationWall = end->clock.SameAs(start->clock) || start->dateOnly
                                      ? end->wall - start->wall
                                      : end->clock.ToUtc(end->wall) - start->clock.ToUtc(start->wall);
        } else if (durationLine) {
            const auto duration = ParseDuration(ical::Upper(durationLine->value));
            if (!duration) return std::nullopt;
            event->durationWall = *duration;
        } else {
            event->durationWall = start->dateOnly ? kSecondsPerDay : 0;
        }
        if (event->durationWall < 0) return std::nullopt;

        ItemValues& v = event->master;
        v.subject = Text(c, "SUMMARY");
        v.location = Text(c, "LOCATION");
        v.body = Text(c, "DESCRIPTION");
        v.organizer = Organizer(c);
        v.categories = Categories(c);
        v.allDay = start->dateOnly;
        v.start = event->clock.ToLocal(event->startWall);
        v.end = event->clock.ToLocal(event->startWall + event->durationWall);
        ReadReminder(c, event->durationWall, v);

        if (const auto* status = c.First("STATUS"); status && ical::Upper(status->value) == "CANCELLED") {
            v.subject = kCancelledPrefix + v.subject;
        }
        Draft draft;
        if (!ReadRules(c, *event, start->dateOnly) || !ReadExtraStarts(c, *event)) return std::nullopt;
        v.recurring = event->IsRecurring();
        for (const auto* line : c.All("EXDATE")) {
            for (auto part : ical::SplitUnescaped(line->value, ',')) {
                auto exdate = ReadTime(*line, part);
                if (!exdate) return std::nullopt;  // a deletion that cannot be read would show a wrong day
                draft.exdates.push_back(*exdate);
            }
        }
        if (const auto* rid = c.First("RECURRENCE-ID")) {
            const std::string* range = rid->Param("RANGE");
            const std::string rangeName = range ? ical::Upper(*range) : std::string();
            if (!rangeName.empty() && rangeName != "THISINSTANCE" && rangeName != "THISANDFUTURE") return std::nullopt;
            draft.thisAndFuture = rangeName == "THISANDFUTURE";
            draft.recurrenceId = ReadTime(*rid, rid->value);
            if (!draft.recurrenceId || event->IsRecurring()) return std::nullopt;
        }
        if (const auto* uid = c.First("UID")) draft.uid = uid->value;
        if (const auto* seq = c.First("SEQUENCE")) {
            std::from_chars(seq->value.data(), seq->value.data() + seq->value.size(), draft.sequence);
        }
        draft.event = std::move(event);
        return draft;
    }

    // Every RRULE line; copies of one rule count once, an empty one not at all.
    static bool ReadRules(const Component& c, Event& event, bool dateOnly) {
        std::vector<std::string> seen;
        for (const auto* line : c.All("RRULE")) {
            const std::string text = ical::Upper(line->value);
            if (text.find_first_not_of(" ;") == std::string::npos) continue;
            if (std::find(seen.begin(), seen.end(), text) != seen.end()) continue;
            seen.push_back(text);
            auto rule = ParseRecurrenceRule(text);
            if (!rule || !ResolveUntil(*rule, event.clock, dateOnly)) return false;
            if (!event.rule)
                event.rule = std::move(*rule);
            else
                event.moreRules.push_back(std::move(*rule));
        }
        return true;
    }

    // UNTIL in whatever form it was written, in the series' wall time: a date ends with its day,
    // UTC is converted; for a series of whole days only the date counts.
    static bool ResolveUntil(RecurrenceRule& rule, const WallClock& clock, bool seriesOfDays) {
        if (rule.untilText.empty()) return true;
        bool dateOnly = false, utc = false;
        const auto until = ParseDateTimeValue(rule.untilText, dateOnly, utc);
        if (!until) return false;
        if (dateOnly || seriesOfDays)
            rule.until = StartOfDay(*until) + kSecondsPerDay - 1;
        else if (utc)
            rule.until = clock.FromUtc(*until);
        else
            rule.until = *until;
        return true;
    }

    // RDATE: dates, date-times and periods (start/end or start/duration) added to the series.
    bool ReadExtraStarts(const Component& c, Event& event) const {
        for (const auto* line : c.All("RDATE")) {
            const bool periods = ValueType(*line) == "PERIOD";
            for (auto part : ical::SplitUnescaped(line->value, ',')) {
                ExtraStart extra{0, event.durationWall};
                const size_t slash = part.find('/');
                if (periods != (slash != std::string_view::npos)) return false;
                const auto start = ReadTime(periods ? WithoutValueType(*line) : *line, part.substr(0, slash));
                if (!start) return false;
                extra.wall = InClock(*start, event.clock);
                if (periods) {
                    const auto rest = part.substr(slash + 1);
                    if (auto duration = ParseDuration(ical::Upper(rest))) {
                        extra.duration = *duration;
                    } else if (auto end = ReadTime(WithoutValueType(*line), rest)) {
                        extra.duration = end->clock.ToUtc(end->wall) - start->clock.ToUtc(start->wall);
                    } else {
                        return false;
                    }
                    if (extra.duration < 0) return false;
                }
                event.extraStarts.push_back(extra);
            }
        }
        std::sort(event.extraStarts.begin(), event.extraStarts.end(),
                  [](const ExtraStart& a, const ExtraStart& b) { return a.wall < b.wall; });
        return true;
    }

    static ContentLine WithoutValueType(const ContentLine& line) {
        ContentLine copy = line;
        std::erase_if(copy.params, [](const auto& p) { return p.first == "VALUE"; });
        return copy;
    }

    static void AddException(Event& series, Ticks wall, std::shared_ptr<const ItemValues> changed) {
        for (const auto& e : series.exceptions) {
            if (e.originalWall == wall) return;  // the first word on an occurrence stands
        }
        series.exceptions.push_back(SeriesException{wall, series.clock.ToLocal(wall), std::move(changed)});
    }

    static std::vector<Ticks> StartsOnDay(const Event& series, Ticks wall) {
        std::vector<Ticks> starts;
        const Ticks day = StartOfDay(wall);
        series.VisitStarts(day, day + kSecondsPerDay - 1, [&](Ticks t) {
            starts.push_back(t);
            return true;
        });
        return starts;
    }

    // The occurrence a date or date-time names: the one starting at that time, or, where the
    // series or the value is whole days, the first on that day.
    static std::optional<Ticks> MatchStart(const Event& series, const TimeValue& value) {
        const Ticks wall = InClock(value, series.clock);
        const auto starts = StartsOnDay(series, wall);
        if (std::find(starts.begin(), starts.end(), wall) != starts.end()) return wall;
        if ((value.dateOnly || series.master.allDay) && !starts.empty()) return starts.front();
        return std::nullopt;
    }

    void BuildExceptions(Draft& master, std::vector<Draft*>& overrides) const {
        Event& series = *master.event;
        for (const auto& ex : master.exdates) {
            if (ex.dateOnly || series.master.allDay) {
                for (Ticks t : StartsOnDay(series, InClock(ex, series.clock))) AddException(series, t, nullptr);
            } else if (const auto wall = MatchStart(series, ex)) {
                AddException(series, *wall, nullptr);
            }
        }
        std::stable_sort(overrides.begin(), overrides.end(),
                         [](const Draft* a, const Draft* b) { return a->sequence > b->sequence; });
        for (Draft* o : overrides) {
            auto values = std::make_shared<ItemValues>(o->event->master);
            values->recurring = true;
            const auto matched = MatchStart(series, *o->recurrenceId);
            // A change of an occurrence the series does not have adds it, as the programs that
            // write such files show it.
            const Ticks wall = matched.value_or(InClock(*o->recurrenceId, series.clock));
            if (o->thisAndFuture && matched) AddFutureChange(series, *o, wall, values);
            AddException(series, wall, std::move(values));
        }
        std::sort(series.exceptions.begin(), series.exceptions.end(),
                  [](const SeriesException& a, const SeriesException& b) { return a.originalWall < b.originalWall; });
        std::sort(series.futureChanges.begin(), series.futureChanges.end(),
                  [](const FutureChange& a, const FutureChange& b) { return a.fromWall < b.fromWall; });
    }

    static void AddFutureChange(Event& series, const Draft& change, Ticks wall,
                                std::shared_ptr<const ItemValues> values) {
        const Event& e = *change.event;
        const Ticks newStart =
            e.clock.SameAs(series.clock) ? e.startWall : series.clock.FromUtc(e.clock.ToUtc(e.startWall));
        series.futureChanges.push_back(FutureChange{wall, newStart - wall, e.durationWall, std::move(values)});
    }

    const LocalZone& local_;
    const std::wstring& owner_;
    WallClock floating_;
    std::map<std::string, std::shared_ptr<const ZoneDefinition>> zones_;
    std::vector<Draft> drafts_;
};

}  // namespace

Ticks WallClock::ToLocal(Ticks wall) const {
    switch (kind_) {
        case Kind::Local: return wall;
        case Kind::Utc: return local_->UtcToLocal(wall);
        case Kind::Defined: return local_->UtcToLocal(zone_->ToUtc(wall));
    }
    return wall;
}

Ticks WallClock::ToUtc(Ticks wall) const {
    switch (kind_) {
        case Kind::Local: return local_->LocalToUtc(wall);
        case Kind::Utc: return wall;
        case Kind::Defined: return zone_->ToUtc(wall);
    }
    return wall;
}

Ticks WallClock::FromUtc(Ticks utc) const {
    switch (kind_) {
        case Kind::Local: return local_->UtcToLocal(utc);
        case Kind::Utc: return utc;
        case Kind::Defined: return zone_->FromUtc(utc);
    }
    return utc;
}

const SeriesException* Event::ExceptionAt(Ticks wall) const {
    const auto it = std::lower_bound(exceptions.begin(), exceptions.end(), wall,
                                     [](const SeriesException& e, Ticks t) { return e.originalWall < t; });
    return it != exceptions.end() && it->originalWall == wall ? &*it : nullptr;
}

void Event::VisitStarts(Ticks fromWall, Ticks toWall, const std::function<bool(Ticks)>& visit) const {
    std::vector<Ticks> starts;
    auto collect = [&](const RecurrenceRule& r) {
        size_t taken = 0;
        ExpandRule(r, startWall, fromWall, toWall, [&](Ticks t) {
            starts.push_back(t);
            return ++taken < kMaxStartsPerRule;
        });
    };
    if (rule) collect(*rule);
    for (const auto& r : moreRules) collect(r);
    if (startWall >= fromWall && startWall <= toWall) starts.push_back(startWall);  // DTSTART always counts
    for (const auto& extra : extraStarts) {
        if (extra.wall >= fromWall && extra.wall <= toWall) starts.push_back(extra.wall);
    }
    std::sort(starts.begin(), starts.end());
    starts.erase(std::unique(starts.begin(), starts.end()), starts.end());
    for (Ticks t : starts) {
        if (!visit(t)) return;
    }
}

std::shared_ptr<const ItemValues> Event::ValuesAt(Ticks wall) const {
    Ticks duration = durationWall;
    const auto extra =
        std::find_if(extraStarts.begin(), extraStarts.end(), [&](const ExtraStart& e) { return e.wall == wall; });
    if (extra != extraStarts.end()) duration = extra->duration;
    const FutureChange* change = nullptr;
    for (const auto& c : futureChanges) {
        if (c.fromWall <= wall) change = &c;
    }
    auto values = std::make_shared<ItemValues>(change ? *change->values : master);
    Ticks start = wall;
    if (change) {
        start += change->shift;
        duration = change->duration;
    }
    values->start = clock.ToLocal(start);
    values->end = clock.ToLocal(start + duration);
    return values;
}

std::vector<Occurrence> Event::OccurrencesIn(Ticks from, Ticks to, size_t limit) const {
    std::vector<Occurrence> out;
    auto self = shared_from_this();
    if (!IsRecurring()) {
        if (master.start >= from && master.start <= to && limit > 0) {
            out.push_back({self, std::shared_ptr<const ItemValues>(self, &master)});
        }
        return out;
    }
    Ticks margin = kWallMargin;
    for (const auto& c : futureChanges) margin = std::max(margin, kWallMargin + (c.shift < 0 ? -c.shift : c.shift));
    VisitStarts(from - margin, to + margin, [&](Ticks wall) {
        if (ExceptionAt(wall)) return true;
        auto values = ValuesAt(wall);
        if (values->start >= from && values->start <= to) out.push_back({self, std::move(values)});
        return out.size() < limit;
    });
    for (const auto& e : exceptions) {
        if (e.changed && e.changed->start >= from && e.changed->start <= to) out.push_back({self, e.changed});
    }
    std::stable_sort(out.begin(), out.end(),
                     [](const Occurrence& a, const Occurrence& b) { return a.values->start < b.values->start; });
    if (out.size() > limit) out.resize(limit);
    return out;
}

std::optional<Ticks> Event::LastStart() const {
    if (!IsRecurring()) return master.start;
    if (rule && !rule->count && !rule->until) return std::nullopt;
    for (const auto& r : moreRules) {
        if (!r.count && !r.until) return std::nullopt;
    }
    std::optional<Ticks> last;
    VisitStarts(startWall, std::numeric_limits<Ticks>::max() / 2, [&](Ticks wall) {
        last = wall;
        return true;
    });
    return last ? std::optional<Ticks>(clock.ToLocal(*last)) : std::nullopt;
}

std::shared_ptr<const Calendar> ParseCalendar(std::string_view text, const LocalZone& zone,
                                              const std::wstring& ownerName) {
    CalendarReader reader(zone, ownerName);
    for (const auto& component : ical::ReadComponents(ical::ReadContentLines(text))) {
        if (component.name == "VCALENDAR") reader.ReadCalendar(component);
    }
    return reader.Finish();
}

}  // namespace standin
