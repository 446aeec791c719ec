#include "standin/LocalZone.h"

#include <windows.h>

#include <algorithm>
#include <iterator>
#include <map>
#include <mutex>

namespace standin {
namespace {

struct IanaToWindows {
    const wchar_t* iana;
    const wchar_t* windows;
};

// Sorted by the upper-cased IANA name.
const IanaToWindows kIanaToWindows[] = {
#include "WindowsZoneTable.inc"
};

const wchar_t kZonesKey[] = L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Time Zones";

int CompareUpper(std::wstring_view a, std::wstring_view b) {
    const size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
        const wchar_t x = a[i] >= L'a' && a[i] <= L'z' ? a[i] - 32 : a[i];
        const wchar_t y = b[i] >= L'a' && b[i] <= L'z' ? b[i] - 32 : b[i];
        if (x != y) return x < y ? -1 : 1;
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

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

// A registry key opened for reading, closed when it goes.
class Key {
public:
    Key(HKEY parent, const wchar_t* path) {
        if (::RegOpenKeyExW(parent, path, 0, KEY_READ, &key_) != ERROR_SUCCESS) key_ = nullptr;
    }
    ~Key() {
        if (key_) ::RegCloseKey(key_);
    }
    Key(const Key&) = delete;
    Key& operator=(const Key&) = delete;
    explicit operator bool() const { return key_ != nullptr; }
    HKEY get() const { return key_; }

    std::wstring Text(const wchar_t* value) const {
        wchar_t buffer[256] = {};
        DWORD size = sizeof(buffer) - sizeof(wchar_t);
        DWORD type = 0;
        if (::RegQueryValueExW(key_, value, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size) != ERROR_SUCCESS ||
            type != REG_SZ) {
            return {};
        }
        return buffer;
    }
    bool Binary(const wchar_t* value, void* out, DWORD size) const {
        DWORD got = size, type = 0;
        return ::RegQueryValueExW(key_, value, nullptr, &type, static_cast<BYTE*>(out), &got) == ERROR_SUCCESS &&
               type == REG_BINARY && got == size;
    }

private:
    HKEY key_ = nullptr;
};

// The layout of a zone's TZI value.
struct RegistryTzi {
    LONG bias, standardBias, daylightBias;
    SYSTEMTIME standardDate, daylightDate;
};

template <size_t N>
void CopyName(const std::wstring& from, WCHAR (&to)[N]) {
    const size_t n = std::min<size_t>(from.size(), N - 1);
    std::copy_n(from.c_str(), n, to);
    to[n] = L'\0';
}

// One registry zone. Windows gives its rules per year; each year's rules are asked for once.
class RegistryZone final : public ZoneRules {
public:
    explicit RegistryZone(const DYNAMIC_TIME_ZONE_INFORMATION& info) : info_(info) {}

    Ticks ToUtc(Ticks wall) const override {
        SYSTEMTIME in, out;
        TIME_ZONE_INFORMATION year;
        if (!ToSystemTime(wall, in) || !RulesFor(in.wYear, year) ||
            !::TzSpecificLocalTimeToSystemTime(&year, &in, &out)) {
            return wall;
        }
        return FromSystemTime(out);
    }
    Ticks FromUtc(Ticks utc) const override {
        SYSTEMTIME in, out;
        TIME_ZONE_INFORMATION year;
        if (!ToSystemTime(utc, in) || !RulesFor(in.wYear, year) ||
            !::SystemTimeToTzSpecificLocalTime(&year, &in, &out)) {
            return utc;
        }
        return FromSystemTime(out);
    }

private:
    bool RulesFor(WORD year, TIME_ZONE_INFORMATION& out) const {
        std::lock_guard lock(mutex_);
        auto it = years_.find(year);
        if (it == years_.end()) {
            TIME_ZONE_INFORMATION rules{};
            auto info = info_;
            if (!::GetTimeZoneInformationForYear(year, &info, &rules)) return false;
            it = years_.emplace(year, rules).first;
        }
        out = it->second;
        return true;
    }

    DYNAMIC_TIME_ZONE_INFORMATION info_;
    mutable std::mutex mutex_;
    mutable std::map<WORD, TIME_ZONE_INFORMATION> years_;
};

std::shared_ptr<const ZoneRules> ZoneOfKey(const Key& zones, const std::wstring& keyName) {
    const Key zone(zones.get(), keyName.c_str());
    RegistryTzi tzi{};
    if (!zone || !zone.Binary(L"TZI", &tzi, sizeof(tzi))) return nullptr;
    DYNAMIC_TIME_ZONE_INFORMATION info{};
    info.Bias = tzi.bias;
    info.StandardBias = tzi.standardBias;
    info.DaylightBias = tzi.daylightBias;
    info.StandardDate = tzi.standardDate;
    info.DaylightDate = tzi.daylightDate;
    CopyName(zone.Text(L"Std"), info.StandardName);
    CopyName(zone.Text(L"Dlt"), info.DaylightName);
    CopyName(keyName, info.TimeZoneKeyName);
    return std::make_shared<RegistryZone>(info);
}

// The key whose name, display name or standard name is `name`; empty when none is.
std::wstring KeyNamed(const Key& zones, std::wstring_view name) {
    for (DWORD i = 0;; ++i) {
        wchar_t keyName[256];
        DWORD length = 256;
        if (::RegEnumKeyExW(zones.get(), i, keyName, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            return {};
        if (SameName(name, keyName)) return keyName;
        const Key zone(zones.get(), keyName);
        if (!zone) continue;
        for (const wchar_t* value : {L"Display", L"Std"}) {
            const std::wstring text = zone.Text(value);
            if (!text.empty() && SameName(name, text)) return keyName;
        }
    }
}

}  // namespace

const wchar_t* WindowsZoneOfIanaName(std::wstring_view ianaName) {
    const auto it =
        std::lower_bound(std::begin(kIanaToWindows), std::end(kIanaToWindows), ianaName,
                         [](const IanaToWindows& e, std::wstring_view n) { return CompareUpper(e.iana, n) < 0; });
    if (it == std::end(kIanaToWindows) || CompareUpper(it->iana, ianaName) != 0) return nullptr;
    return it->windows;
}

std::shared_ptr<const ZoneRules> FindSystemZone(std::wstring_view name) {
    if (name.empty()) return nullptr;
    static std::mutex mutex;
    static std::map<std::wstring, std::shared_ptr<const ZoneRules>, std::less<>> found;  // misses too, as null
    std::lock_guard lock(mutex);
    if (const auto it = found.find(name); it != found.end()) return it->second;
    std::shared_ptr<const ZoneRules> zone;
    if (const Key zones(HKEY_LOCAL_MACHINE, kZonesKey); zones) {
        const wchar_t* windowsName = WindowsZoneOfIanaName(name);
        const std::wstring key = windowsName ? std::wstring(windowsName) : KeyNamed(zones, name);
        if (!key.empty()) zone = ZoneOfKey(zones, key);
    }
    found.emplace(std::wstring(name), zone);
    return zone;
}

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
