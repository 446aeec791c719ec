#include "standin/LocalZone.h"

#include <windows.h>

namespace standin {
namespace {

// SYSTEMTIME covers the years 1601 to 30827; times outside are kept as they are.
bool ToSystemTime(Ticks ticks, SYSTEMTIME& out) {
    const CivilDateTime c = FromTicks(ticks);
    if (c.year < 1601 || c.year > 30827) return false;
    out = SYSTEMTIME{};
    out.wYear = static_cast<WORD>(c.year);
    out.wMonth = static_cast<WORD>(c.month);
    out.wDay = static_cast<WORD>(c.day);
    out.wHour = static_cast<WORD>(c.hour);
    out.wMinute = static_cast<WORD>(c.minute);
    out.wSecond = static_cast<WORD>(c.second);
    return true;
}

Ticks FromSystemTime(const SYSTEMTIME& st) {
    return ToTicks(CivilDateTime{st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond});
}

class SystemZone final : public LocalZone {
public:
    Ticks UtcToLocal(Ticks utc) const override {
        SYSTEMTIME in, out;
        if (!ToSystemTime(utc, in) || !::SystemTimeToTzSpecificLocalTime(nullptr, &in, &out)) return utc;
        return FromSystemTime(out);
    }
    Ticks LocalToUtc(Ticks local) const override {
        SYSTEMTIME in, out;
        if (!ToSystemTime(local, in) || !::TzSpecificLocalTimeToSystemTime(nullptr, &in, &out)) return local;
        return FromSystemTime(out);
    }
    bool HasName(std::wstring_view tzid) const override {
        DYNAMIC_TIME_ZONE_INFORMATION info{};
        if (::GetDynamicTimeZoneInformation(&info) == TIME_ZONE_ID_INVALID) return false;
        for (const wchar_t* name : {info.TimeZoneKeyName, info.StandardName, info.DaylightName}) {
            if (*name && SameName(tzid, name)) return true;
        }
        return false;
    }
};

}  // namespace

const LocalZone& SystemLocalZone() {
    static const SystemZone zone;
    return zone;
}

bool FixedOffsetZone::HasName(std::wstring_view tzid) const {
    for (const auto& name : names_) {
        if (SameName(tzid, name)) return true;
    }
    return false;
}

bool SameName(std::wstring_view a, std::wstring_view b) {
    return ::CompareStringOrdinal(a.data(), static_cast<int>(a.size()), b.data(), static_cast<int>(b.size()), TRUE) ==
           CSTR_EQUAL;
}

}  // namespace standin
