// The machine's own time zone as the calendar reader needs it: UTC to local time and back, and
// whether an iCalendar TZID names this zone. Tests hand in a fixed zone instead.
#pragma once
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

// Case-insensitive comparison of two names (ordinal, as Windows compares identifiers).
bool SameName(std::wstring_view a, std::wstring_view b);

}  // namespace standin
