// The daily scan: today's appointments that may still need a notification, in start order.
#include "outlook/OutlookAutomation.h"
#include "toolkit/DateForms.h"
#include "toolkit/VersionInfo.h"

namespace hv::outlook {
namespace {

constexpr wchar_t kNoneText[] = L"-- No Appointments Pending --";

// A step whose failure means "cannot be evaluated": the answer is then `onFailure`.
template <class F>
bool Guarded(F&& test, bool onFailure) {
    try {
        return test();
    } catch (const std::exception&) {
        return onFailure;
    }
}

}  // namespace

std::wstring SentKey(IDispatch* appointment) {
    return Get(appointment, L"Subject").AsString() + toolkit::GeneralDate(Get(appointment, L"Start").AsDate()) +
           toolkit::GeneralDate(Get(appointment, L"End").AsDate());
}

void OutlookAutomation::ScanTodaysAppointments() {
    try {
        if (ScanOnce()) return;
    } catch (const AutomationError& e) {
        if (!e.ServerGone()) {
            host_.ShowMessage(nullptr, e.Description(), MB_OK | MB_ICONEXCLAMATION, toolkit::ReadVersionInfo().productName);
            return;
        }
    }
    // Outlook has gone away (closed, crashed or restarted): connect again, keeping the sent log,
    // and scan once more before reporting anything.
    try {
        ConnectCalendar();
        ScanOnce();
    } catch (const AutomationError& e) {
        host_.ShowMessage(nullptr, e.Description(), MB_OK | MB_ICONEXCLAMATION, toolkit::ReadVersionInfo().productName);
    }
}

// One pass over today's calendar. Returns true when it completed; throws on the first failing
// Outlook call, after writing the list as far as it got.
bool OutlookAutomation::ScanOnce() {
    const std::wstring day = toolkit::ShortDate(host_.Now());
    if (day != LastScanDate) {
        SentLog.clear();
        LastScanDate = day;
    }
    PendingItems.clear();
    const std::wstring filter =
        L"[Start] >= \"" + day + L" 00:00 AM\" and [Start] <= \"" + day + L" 11:59 PM\"";
    if (!CalendarItems) throw AutomationError(E_POINTER, L"The Outlook calendar is not open.");
    Variant found = Call(CalendarItems.Get(), L"Find", {filter});

    // The filters as the configuration window holds them at the moment of the scan.
    const bool reminderOnly = settings::Ticked(settings_.Live().chkReminder);
    const std::wstring category = settings_.Live().txtCategory.Text();
    std::wstring list = kNoneText;
    struct ListWriter {  // the list reaches the viewer even when a later step fails
        toolkit::TextBox& box;
        std::wstring& text;
        ~ListWriter() { box.SetText(text); }
    } writer{txtQ_, list};

    while (!found.IsNothing()) {
        Dispatch item = found.AsDispatch();
        if (!IsAlreadyNotified(item.Get()) && !IsNotifyTimePast(item.Get()) &&
            !IsExcludedByFilters(item.Get(), reminderOnly, category)) {
            if (PendingItems.empty()) list.clear();
            list += toolkit::MediumTime(Get(item.Get(), L"Start").AsDate()) + L" - " + Get(item.Get(), L"Subject").AsString() +
                    L"\r\n";
            PendingItems.push_back(item);
        }
        found = Call(CalendarItems.Get(), L"FindNext");
    }
    return true;
}

bool OutlookAutomation::IsAlreadyNotified(IDispatch* item) {
    if (SentLog.empty()) return false;
    // An item whose key cannot be built cannot be told apart from a notified one.
    return Guarded(
        [&] {
            const std::wstring key = SentKey(item);
            for (const std::wstring& logged : SentLog)
                if (logged == key) return true;
            return false;
        },
        true);
}

bool OutlookAutomation::IsExcludedByFilters(IDispatch* item, bool reminderOnly, const std::wstring& category) {
    bool excluded = false;
    if (reminderOnly && !Get(item, L"ReminderSet").AsBool()) excluded = true;
    if (!category.empty() && Get(item, L"Categories").AsString().find(category) == std::wstring::npos) excluded = true;
    return excluded;
}

}  // namespace hv::outlook
