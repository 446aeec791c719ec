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
        return item.Property(L"AllDayEvent").AsBool();
    } catch (const AutomationError&) { return true; }
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
