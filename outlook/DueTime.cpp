// When an entry of the pending table is due, and when its time is over. Times of day are compared
// as minutes of the day taken from the date values, seconds dropped, against the clock as the poll
// read it; the scan has already limited the table to today.
#include <algorithm>

#include "outlook/Failure.h"
#include "outlook/OutlookAutomation.h"
#include "toolkit/DateForms.h"

namespace hv::outlook {
namespace {

long MinuteOfDay(const SYSTEMTIME& time) { return time.wHour * 60L + time.wMinute; }

// Through SYSTEMTIME, which rounds to the second: 10:00 must not come out as 09:59. Throws for a
// value that is no date.
long MinuteOfDay(DATE time) { return MinuteOfDay(toolkit::ToSystemTime(time)); }

}  // namespace

// The reminder lead in minutes: the reminder's minutes when one is set, else 0. A failing read
// leaves the lead at 0.
long OutlookAutomation::ReminderLead(AppointmentView& item) {
    return ValueOr(0L, [&] {
        return item.Property(L"ReminderSet").AsBool() ? item.Property(L"ReminderMinutesBeforeStart").AsLong() : 0L;
    });
}

bool OutlookAutomation::IsAppointmentDue(int n) {
    if (n < 1 || n > PendingCount()) return false;
    // Held for the whole test: a message handled while a call waits (Exit) may empty the table.
    const std::shared_ptr<AppointmentView> entry = PendingItems[static_cast<size_t>(n - 1)];
    AppointmentView& item = *entry;
    const long lead = ReminderLead(item);
    // A lead that reaches back past midnight makes the first minute of the day the due minute.
    const bool due = ValueOr(
        true, [&] { return std::max(MinuteOfDay(item.Property(L"Start").AsDate()) - lead, 0L) == MinuteOfDay(Now()); });
    if (due || ValueOr(true, [&] { return item.Property(L"AllDayEvent").AsBool(); })) return true;
    return IsOwed(item, lead);
}

// Late rather than never: the entry's minute went by while the program ran but could not poll or
// send, and its appointment has not started yet.
bool OutlookAutomation::IsOwed(AppointmentView& item, long lead) {
    return ValueOr(false, [&] {
        const Minute start = MinuteOf(item.Property(L"Start").AsDate());
        const Minute now = MinuteOf(Now());
        const Minute notifyAt = std::max(start - lead, DayStartOf(start));
        return notifyAt < now && now < start && missed_.Missed(notifyAt).has_value();
    });
}

OutlookAutomation::Known OutlookAutomation::KnownOf(AppointmentView& item) {
    const DATE startDate = item.Property(L"Start").AsDate();
    const Minute start = MinuteOf(startDate);
    Known k;
    k.appointment = {toolkit::MediumTime(startDate) + L" - " + item.Property(L"Subject").AsString(), start};
    k.notifyAt =
        item.Property(L"AllDayEvent").AsBool() ? start : std::max(start - ReminderLead(item), DayStartOf(start));
    const Minute inDay = k.notifyAt - DayStartOf(k.notifyAt);
    k.notifyTime = toolkit::MediumTime(static_cast<int>(inDay / 60), static_cast<int>(inDay % 60));
    return k;
}

// An all-day entry, or one whose all-day flag cannot be read, stays listed; one whose start cannot
// be read is over.
bool OutlookAutomation::IsNotifyTimePast(AppointmentView& item) {
    if (ValueOr(true, [&] { return item.Property(L"AllDayEvent").AsBool(); })) return false;
    const long lead = ReminderLead(item);
    return ValueOr(true, [&] { return MinuteOfDay(item.Property(L"Start").AsDate()) + lead < MinuteOfDay(Now()); });
}

}  // namespace hv::outlook
