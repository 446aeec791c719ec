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
    int sequence = 0;
    bool cancelled = false;
    std::vector<TimeValue> exdates;
};

bool IsUtcName(std::string_view tzid) {
    static const char* const kNames[] = {"UTC", "ETC/UTC", "GMT", "ETC/GMT", "Z", "ZULU", "ETC/ZULU",
                                         "UNIVERSAL", "ETC/UNIVERSAL", "UCT", "ETC/UCT"};
    const std::string upper = ical::Upper(tzid);
    return std::any_of(std::begin(kNames), std::end(kNames), [&](const char* n) { return upper == n; });
}

// Parameter values may carry ^n, ^' and ^^ (RFC 6868).
std::string DecodeParamValue(std::string_view value) {
    std::string out;
    for (size_t i = 0; i < value.size(); ++i) {
        if (value[i] == '^' && i + 1 < value.size()) {
            const char next = value[i + 1];
            if (next == 'n') { out += "\r\n"; ++i; continue; }
            if (next == '\'') { out += '"'; ++i; continue; }
            if (next == '^') { out += '^'; ++i; continue; }
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
        if (!inTime && unit == 'W') total += n * 7 * kSecondsPerDay;
        else if (!inTime && unit == 'D') total += n * kSecondsPerDay;
        else if (inTime && unit == 'H') total += n * kSecondsPerHour;
        else if (inTime && unit == 'M') total += n * kSecondsPerMinute;
        else if (inTime && unit == 'S') total += n;
        else return std::nullopt;
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

    std::optional<TimeValue> ReadTime(const ContentLine& line, std::string_view text) const {
        const std::string* type = line.Param("VALUE");
        if (type && *type != "DATE" && *type != "DATE-TIME") return std::nullopt;
        TimeValue out;
        bool utc = false;
        const auto ticks = ParseDateTimeValue(text, out.dateOnly, utc);
        if (!ticks || (type && (*type == "DATE") != out.dateOnly)) return std::nullopt;
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
            out.clock = WallClock(WallClock::Kind::Local, &local_);
        }
        return out;
    }

    std::optional<WallClock> ClockFor(const std::string& tzid) const {
        const auto it = zones_.find(tzid);
        if (it != zones_.end()) {
            if (!it->second) return std::nullopt;
            return WallClock(WallClock::Kind::Defined, &local_, it->second);
        }
        std::string_view name = tzid;
        if (!name.empty() && name.front() == '/') name.remove_prefix(1);
        if (IsUtcName(name)) return WallClock(WallClock::Kind::Utc, &local_);
        if (local_.HasName(ical::Utf8ToWide(name))) return WallClock(WallClock::Kind::Local, &local_);
        return std::nullopt;
    }

    static Ticks InClock(const TimeValue& v, const WallClock& clock) {
        if (v.dateOnly || v.clock.SameAs(clock)) return v.wall;
        return clock.FromUtc(v.clock.ToUtc(v.wall));
    }

    // Properties that may appear once: a second, different copy makes the event unreadable.
    static bool HasConflictingCopies(const Component& c) {
        for (const char* name : {"UID", "DTSTART", "DTEND", "DURATION", "SUMMARY", "LOCATION", "DESCRIPTION",
                                 "ORGANIZER", "RRULE", "RECURRENCE-ID"}) {
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
            const std::string* type = trigger->Param("VALUE");
            if (type && *type != "DURATION") continue;
            auto offset = ParseDuration(trigger->value);
            if (!offset) continue;
            const std::string* related = trigger->Param("RELATED");
            if (related && *related == "END") *offset += duration;
            if (*offset > 0) continue;
            v.reminderSet = true;
            v.reminderMinutes = static_cast<long>(-*offset / kSecondsPerMinute);
            return;
        }
    }

    std::optional<Draft> ReadEvent(const Component& c) const {
        if (HasConflictingCopies(c) || c.First("RDATE") || c.First("EXRULE")) return std::nullopt;
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
            const auto duration = ParseDuration(durationLine->value);
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

        Draft draft;
        if (const auto* rrule = c.First("RRULE")) {
            event->rule = ParseRecurrenceRule(rrule->value);
            if (!event->rule || !ResolveUntil(*event)) return std::nullopt;
            v.recurring = true;
        }
        for (const auto* line : c.All("EXDATE")) {
            for (auto part : ical::SplitUnescaped(line->value, ',')) {
                auto exdate = ReadTime(*line, part);
                if (!exdate) return std::nullopt;  // a deletion that cannot be read would show a wrong day
                draft.exdates.push_back(*exdate);
            }
        }
        if (const auto* rid = c.First("RECURRENCE-ID")) {
            const std::string* range = rid->Param("RANGE");
            if (range && ical::Upper(*range) != "THISINSTANCE") return std::nullopt;
            draft.recurrenceId = ReadTime(*rid, rid->value);
            if (!draft.recurrenceId || event->rule) return std::nullopt;
        }
        if (const auto* uid = c.First("UID")) draft.uid = uid->value;
        if (const auto* seq = c.First("SEQUENCE")) {
            std::from_chars(seq->value.data(), seq->value.data() + seq->value.size(), draft.sequence);
        }
        if (const auto* status = c.First("STATUS")) draft.cancelled = ical::Upper(status->value) == "CANCELLED";
        draft.event = std::move(event);
        return draft;
    }

    bool ResolveUntil(Event& event) const {
        auto& rule = *event.rule;
        if (rule.untilText.empty()) return true;
        bool dateOnly = false, utc = false;
        const auto until = ParseDateTimeValue(rule.untilText, dateOnly, utc);
        if (!until) return false;
        if (dateOnly) rule.until = *until + kSecondsPerDay - 1;
        else if (utc) rule.until = event.clock.FromUtc(*until);
        else rule.until = *until;
        return true;
    }

    static void AddException(Event& series, Ticks wall, std::shared_ptr<const ItemValues> changed) {
        for (const auto& e : series.exceptions) {
            if (e.originalWall == wall) return;  // the first word on an occurrence stands
        }
        series.exceptions.push_back(SeriesException{wall, series.clock.ToLocal(wall), std::move(changed)});
    }

    void BuildExceptions(Draft& master, std::vector<Draft*>& overrides) const {
        Event& series = *master.event;
        for (const auto& ex : master.exdates) {
            if (ex.dateOnly) {
                const Ticks day = StartOfDay(ex.wall);
                ExpandRule(*series.rule, series.startWall, day, day + kSecondsPerDay - 1, [&](Ticks t) {
                    AddException(series, t, nullptr);
                    return true;
                });
            } else {
                const Ticks wall = InClock(ex, series.clock);
                if (IsInstance(*series.rule, series.startWall, wall)) AddException(series, wall, nullptr);
            }
        }
        std::stable_sort(overrides.begin(), overrides.end(),
                         [](const Draft* a, const Draft* b) { return a->sequence > b->sequence; });
        for (Draft* o : overrides) {
            const Ticks wall = InClock(*o->recurrenceId, series.clock);
            if (!IsInstance(*series.rule, series.startWall, wall)) continue;
            std::shared_ptr<const ItemValues> changed;
            if (!o->cancelled) {
                auto values = std::make_shared<ItemValues>(o->event->master);
                values->recurring = true;
                changed = std::move(values);
            }
            AddException(series, wall, std::move(changed));
        }
        std::sort(series.exceptions.begin(), series.exceptions.end(),
                  [](const SeriesException& a, const SeriesException& b) { return a.originalWall < b.originalWall; });
    }

    const LocalZone& local_;
    const std::wstring& owner_;
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

std::shared_ptr<const ItemValues> Event::ValuesAt(Ticks wall) const {
    auto values = std::make_shared<ItemValues>(master);
    values->start = clock.ToLocal(wall);
    values->end = clock.ToLocal(wall + durationWall);
    return values;
}

std::vector<Occurrence> Event::OccurrencesIn(Ticks from, Ticks to, size_t limit) const {
    std::vector<Occurrence> out;
    auto self = shared_from_this();
    if (!rule) {
        if (master.start >= from && master.start <= to && limit > 0) {
            out.push_back({self, std::shared_ptr<const ItemValues>(self, &master)});
        }
        return out;
    }
    ExpandRule(*rule, startWall, from - kWallMargin, to + kWallMargin, [&](Ticks wall) {
        if (ExceptionAt(wall)) return true;
        const Ticks start = clock.ToLocal(wall);
        if (start >= from && start <= to) out.push_back({self, ValuesAt(wall)});
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
    if (!rule) return master.start;
    if (!rule->count && !rule->until) return std::nullopt;
    std::optional<Ticks> last;
    ExpandRule(*rule, startWall, startWall, rule->until.value_or(std::numeric_limits<Ticks>::max() / 2), [&](Ticks wall) {
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
