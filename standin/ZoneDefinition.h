// A time zone defined inside a calendar (VTIMEZONE): its STANDARD and DAYLIGHT observances with
// their offsets and onsets (DTSTART plus a yearly RRULE, or RDATE lists).
#pragma once
#include <functional>
#include <optional>
#include <vector>

#include "standin/CivilTime.h"
#include "standin/ContentLines.h"
#include "standin/LocalZone.h"
#include "standin/RecurrenceRule.h"

namespace standin {

class ZoneDefinition final : public ZoneRules {
public:
    // nullopt when any observance cannot be read (the zone is then unusable, not guessed).
    static std::optional<ZoneDefinition> FromComponent(const ical::Component& vtimezone);

    // The offset from UTC, in seconds, in force at a wall time of this zone.
    // Observances whose rule has no end also hold before their first onset, as the rule would
    // have had them, so that a zone written from some recent year on still places older times.
    Ticks OffsetAt(Ticks wall) const;
    Ticks ToUtc(Ticks wall) const override { return wall - OffsetAt(wall); }
    Ticks FromUtc(Ticks utc) const override;

private:
    struct Observance {
        Ticks start = 0;
        Ticks offsetFrom = 0;
        Ticks offsetTo = 0;
        std::optional<RecurrenceRule> rule;
        std::vector<Ticks> extraOnsets;
        std::optional<Ticks> LastOnsetAtOrBefore(Ticks wall) const;
    };
    // The offsetTo of the observance whose last onset (as `lastOnset` finds it) is the latest.
    Ticks OffsetWhere(const std::function<std::optional<Ticks>(const Observance&)>& lastOnset) const;

    std::vector<Observance> observances_;
};

// "+0100", "-0500", "+115544": seconds east of UTC.
std::optional<Ticks> ParseUtcOffset(std::string_view text);
// "20261207T093000" (optionally with a trailing Z, which the caller checks) or "20261207".
std::optional<Ticks> ParseDateTimeValue(std::string_view text, bool& dateOnly, bool& utc);

}  // namespace standin
