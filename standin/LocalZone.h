// The machine's own time zone as the calendar reader needs it: UTC to local time and back, and
// whether an iCalendar TZID names this zone. Tests hand in a fixed zone instead. Beside it, the
// other zones Windows knows (its registry's time zones), found by the names calendars give them.
#pragma once
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "standin/CivilTime.h"

namespace standin {

class LocalZone {
public:
    virtual ~LocalZone() = default;
    virtual Ticks UtcToLocal(Ticks utc) const = 0;
    virtual Ticks LocalToUtc(Ticks local) const = 0;
    // True when a TZID (without a VTIMEZONE of its own) names this zone.
    virtual bool HasName(std::wstring_view tzid) const = 0;
};

// The zone Windows is set to, read afresh at every call (Windows' own rules, DST included).
const LocalZone& SystemLocalZone();

// A zone with one constant offset from UTC and a list of names.
class FixedOffsetZone final : public LocalZone {
public:
    FixedOffsetZone(int offsetMinutes, std::vector<std::wstring> names)
        : offset_(offsetMinutes * kSecondsPerMinute), names_(std::move(names)) {}
    Ticks UtcToLocal(Ticks utc) const override { return utc + offset_; }
    Ticks LocalToUtc(Ticks local) const override { return local - offset_; }
    bool HasName(std::wstring_view tzid) const override;

private:
    Ticks offset_;
    std::vector<std::wstring> names_;
};

// The wall clock of a time zone: a wall time to UTC and back.
class ZoneRules {
public:
    virtual ~ZoneRules() = default;
    virtual Ticks ToUtc(Ticks wall) const = 0;
    virtual Ticks FromUtc(Ticks utc) const = 0;
};

// A zone of the Windows registry (HKLM\...\Time Zones), with its rules for each year as Windows
// gives them (dynamic daylight time included), found by its key name ("W. Europe Standard
// Time"), its display name ("(UTC+01:00) Amsterdam, Berlin, ..."), or an IANA name
// ("Europe/Berlin") through CLDR's table of Windows zones. Null when none matches.
std::shared_ptr<const ZoneRules> FindSystemZone(std::wstring_view name);

// The Windows zone key that CLDR maps an IANA zone name (or one of its aliases) to, or null.
const wchar_t* WindowsZoneOfIanaName(std::wstring_view ianaName);

// Case-insensitive comparison of two names (ordinal, as Windows compares identifiers).
bool SameName(std::wstring_view a, std::wstring_view b);

}  // namespace standin
