// When an entry of the pending table is due, and when its time is over. Times of day are compared
// at minute precision, against the clock as the poll read it; the scan has already limited the
// table to today.
#include <algorithm>

#include "outlook/OutlookAutomation.h"
#include "toolkit/DateForms.h"

namespace hv::outlook {

// The reminder lead in milliseconds: the reminder's minutes when one is set, else 0. A failing
// read leaves the lead as far as it got.
long OutlookAutomation::ReminderLead(AppointmentView& item) {
    long lead = 0;
    try {
        if (item.Property(L"ReminderSet").AsBool())
            lead = item.Property(L"ReminderMinutesBeforeStart").AsLong() * 60000L;
    } catch (const AutomationError&) {}
    return lead;
}

std::wstring OutlookAutomation::NowMediumTime() { return toolkit::MediumTime(Now()); }

bool OutlookAutomation::IsAppointmentDue(int n) {
    if (n < 1 || n > PendingCount()) return false;
    // Held for the whole test: a message handled while a call waits (Exit) may empty the table.
    const std::shared_ptr<AppointmentView> entry = PendingItems[static_cast<size_t>(n - 1)];
    AppointmentView& item = *entry;
    const long lead = ReminderLead(item);
    std::wstring start;
    try {
        start = toolkit::MediumTime(item.Property(L"Start").AsDate());
    } catch (const std::exception&) {}
    bool due = true;  // a comparison that cannot be evaluated counts as due
    try {
        // A lead that reaches back past midnight makes the first minute of the day the due minute.
        const long notifyAt = std::max(toolkit::TimeToMilliseconds(start) - lead, 0L);
        due = notifyAt == toolkit::TimeToMilliseconds(NowMediumTime());
    } catch (const std::exception&) {}
    if (due) return true;
    try {
        if (item.Property(L"AllDayEvent").AsBool()) return true;
    } catch (const AutomationError&) { return true; }
    return IsOwed(item, lead);
}

// Late rather than never: the entry's minute went by while the program ran but could not poll or
// send, and its appointment has not started yet.
bool OutlookAutomation::IsOwed(AppointmentView& item, long lead) {
    try {
        const Minute start = MinuteOf(item.Property(L"Start").AsDate());
        const Minute now = MinuteOf(Now());
        const Minute notifyAt = std::max(start - lead / 60000, DayStartOf(start));
        return notifyAt < now && now < start && missed_.Missed(notifyAt).has_value();
    } catch (const std::exception&) { return false; }
}

OutlookAutomation::Known OutlookAutomation::KnownOf(AppointmentView& item) {
    const DATE startDate = item.Property(L"Start").AsDate();
    const Minute start = MinuteOf(startDate);
    Known k;
    k.appointment = {toolkit::MediumTime(startDate) + L" - " + item.Property(L"Subject").AsString(), start};
    k.notifyAt = item.Property(L"AllDayEvent").AsBool()
                     ? start
                     : std::max(start - ReminderLead(item) / 60000, DayStartOf(start));
    const Minute inDay = k.notifyAt - DayStartOf(k.notifyAt);
    k.notifyTime = toolkit::MediumTime(static_cast<int>(inDay / 60), static_cast<int>(inDay % 60));
    return k;
}

bool OutlookAutomation::IsNotifyTimePast(AppointmentView& item) {
    try {
        if (item.Property(L"AllDayEvent").AsBool()) return false;
    } catch (const AutomationError&) { return false; }
    const long lead = ReminderLead(item);
    std::wstring start;
    try {
        start = toolkit::MediumTime(item.Property(L"Start").AsDate());
    } catch (const std::exception&) {}
    try {
        return toolkit::TimeToMilliseconds(start) + lead < toolkit::TimeToMilliseconds(NowMediumTime());
    } catch (const std::exception&) { return true; }
}

}  // namespace hv::outlook
