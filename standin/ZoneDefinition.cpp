#include "standin/ZoneDefinition.h"

#include <algorithm>

namespace standin {
namespace {

bool ReadDigits(std::string_view text, size_t pos, size_t count, int& out) {
    if (pos + count > text.size()) return false;
    out = 0;
    for (size_t i = pos; i < pos + count; ++i) {
        if (text[i] < '0' || text[i] > '9') return false;
        out = out * 10 + (text[i] - '0');
    }
    return true;
}

const Ticks k400Years = 146097 * kSecondsPerDay;

}  // namespace

std::optional<Ticks> ParseUtcOffset(std::string_view text) {
    if (text.size() != 5 && text.size() != 7) return std::nullopt;
    if (text[0] != '+' && text[0] != '-') return std::nullopt;
    int hours = 0, minutes = 0, seconds = 0;
    if (!ReadDigits(text, 1, 2, hours) || !ReadDigits(text, 3, 2, minutes)) return std::nullopt;
    if (text.size() == 7 && !ReadDigits(text, 5, 2, seconds)) return std::nullopt;
    if (hours > 23 || minutes > 59 || seconds > 59) return std::nullopt;
    const Ticks magnitude = hours * kSecondsPerHour + minutes * kSecondsPerMinute + seconds;
    return text[0] == '-' ? -magnitude : magnitude;
}

std::optional<Ticks> ParseDateTimeValue(std::string_view text, bool& dateOnly, bool& utc) {
    CivilDateTime c;
    utc = false;
    dateOnly = text.size() == 8;
    if (!ReadDigits(text, 0, 4, c.year) || !ReadDigits(text, 4, 2, c.month) || !ReadDigits(text, 6, 2, c.day)) {
        return std::nullopt;
    }
    if (!dateOnly) {
        if (text.size() == 16 && text[15] == 'Z') {
            utc = true;
        } else if (text.size() != 15) {
            return std::nullopt;
        }
        if (text[8] != 'T' || !ReadDigits(text, 9, 2, c.hour) || !ReadDigits(text, 11, 2, c.minute) ||
            !ReadDigits(text, 13, 2, c.second)) {
            return std::nullopt;
        }
        if (c.second == 60) c.second = 59;  // a leap second is read as the second before it
    }
    if (!IsValidCivil(c)) return std::nullopt;
    return ToTicks(c);
}

std::optional<ZoneDefinition> ZoneDefinition::FromComponent(const ical::Component& vtimezone) {
    ZoneDefinition zone;
    for (const auto& child : vtimezone.children) {
        if (child.name != "STANDARD" && child.name != "DAYLIGHT") continue;
        const auto* start = child.First("DTSTART");
        const auto* from = child.First("TZOFFSETFROM");
        const auto* to = child.First("TZOFFSETTO");
        if (!start || !from || !to) return std::nullopt;
        Observance o;
        bool dateOnly = false, utc = false;
        const auto startTicks = ParseDateTimeValue(start->value, dateOnly, utc);
        const auto offsetFrom = ParseUtcOffset(from->value);
        const auto offsetTo = ParseUtcOffset(to->value);
        if (!startTicks || dateOnly || utc || !offsetFrom || !offsetTo) return std::nullopt;
        o.start = *startTicks;
        o.offsetFrom = *offsetFrom;
        o.offsetTo = *offsetTo;
        if (const auto* rrule = child.First("RRULE")) {
            o.rule = ParseRecurrenceRule(rrule->value);
            if (!o.rule || child.All("RRULE").size() > 1) return std::nullopt;
            if (!o.rule->untilText.empty()) {
                // UNTIL of an observance is UTC: in wall time it is the moment plus the old offset.
                const auto until = ParseDateTimeValue(o.rule->untilText, dateOnly, utc);
                if (!until) return std::nullopt;
                o.rule->until = dateOnly ? *until + kSecondsPerDay - 1 : (utc ? *until + o.offsetFrom : *until);
            }
        }
        for (const auto* rdate : child.All("RDATE")) {
            const auto* type = rdate->Param("VALUE");
            if (type && *type != "DATE-TIME" && *type != "DATE") return std::nullopt;
            for (auto part : ical::SplitUnescaped(rdate->value, ',')) {
                const auto onset = ParseDateTimeValue(part, dateOnly, utc);
                if (!onset) return std::nullopt;
                o.extraOnsets.push_back(utc ? *onset + o.offsetFrom : *onset);
            }
        }
        zone.observances_.push_back(std::move(o));
    }
    if (zone.observances_.empty()) return std::nullopt;
    return zone;
}

std::optional<Ticks> ZoneDefinition::Observance::LastOnsetAtOrBefore(Ticks wall) const {
    std::optional<Ticks> best;
    if (start <= wall) best = start;
    if (rule) {
        // Four hundred years keep the weekdays and the leap days: the rule's days are the same.
        Ticks origin = start;
        if (!rule->count && !rule->until) {
            while (origin > wall) origin -= k400Years;
        }
        if (auto t = LastInstanceAtOrBefore(*rule, origin, wall)) best = std::max(best.value_or(*t), *t);
    }
    for (Ticks t : extraOnsets) {
        if (t <= wall) best = std::max(best.value_or(t), t);
    }
    return best;
}

Ticks ZoneDefinition::OffsetAt(Ticks wall) const {
    return OffsetWhere([&](const Observance& o) { return o.LastOnsetAtOrBefore(wall); });
}

Ticks ZoneDefinition::FromUtc(Ticks utc) const {
    // An onset is written in the wall time of the offset it ends: in UTC it is onset - offsetFrom.
    return utc + OffsetWhere([&](const Observance& o) -> std::optional<Ticks> {
               const auto onset = o.LastOnsetAtOrBefore(utc + o.offsetFrom);
               return onset ? std::optional<Ticks>(*onset - o.offsetFrom) : std::nullopt;
           });
}

Ticks ZoneDefinition::OffsetWhere(const std::function<std::optional<Ticks>(const Observance&)>& lastOnset) const {
    const Observance* current = nullptr;
    Ticks currentOnset = 0;
    for (const auto& o : observances_) {
        const auto onset = lastOnset(o);
        if (onset && (!current || *onset > currentOnset)) {
            current = &o;
            currentOnset = *onset;
        }
    }
    if (current) return current->offsetTo;
    // Before every onset: the offset the earliest observance changes from.
    const auto earliest = std::min_element(observances_.begin(), observances_.end(),
                                           [](const Observance& a, const Observance& b) { return a.start < b.start; });
    return earliest->offsetFrom;
}

}  // namespace standin
