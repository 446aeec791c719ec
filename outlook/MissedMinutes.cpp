#include "outlook/MissedMinutes.h"

#include <algorithm>
#include <cmath>

namespace hv::outlook {
namespace {

constexpr Minute kKeptMinutes = 2 * 1440;

}  // namespace

Minute MinuteOf(const SYSTEMTIME& time) {
    SYSTEMTIME day{};
    day.wYear = time.wYear;
    day.wMonth = time.wMonth;
    day.wDay = time.wDay;
    DATE midnight = 0;
    ::SystemTimeToVariantTime(&day, &midnight);
    return static_cast<Minute>(std::llround(midnight)) * 1440 + time.wHour * 60 + time.wMinute;
}

Minute MinuteOf(DATE time) {
    // Through SYSTEMTIME, which rounds to the second: 10:00 must not come out as 09:59.
    SYSTEMTIME st{};
    ::VariantTimeToSystemTime(time, &st);
    return MinuteOf(st);
}

Minute DayStartOf(Minute m) { return m - ((m % 1440) + 1440) % 1440; }

void MissedMinutes::Looked(Minute now) {
    if (!since_) since_ = now;
}

void MissedMinutes::Watched(Minute from, Minute to) {
    from = std::max(from, to - kKeptMinutes);  // a switch left off for days: only the last ones matter
    for (Minute m = from; m <= to; ++m) minutes_[m] = std::nullopt;
}

void MissedMinutes::Failed(Minute m, MissCause cause) { minutes_.try_emplace(m, cause); }

std::optional<MissCause> MissedMinutes::Missed(Minute m) const {
    if (!since_ || m < *since_) return std::nullopt;
    const auto found = minutes_.find(m);
    return found == minutes_.end() ? MissCause::NoPoll : found->second;
}

void MissedMinutes::ForgetBefore(Minute m) { minutes_.erase(minutes_.begin(), minutes_.lower_bound(m)); }

}  // namespace hv::outlook
