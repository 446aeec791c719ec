// The poll and the daily scan: today's appointments that may still need a notification, in
// start order.
#include "outlook/OutlookAutomation.h"
#include "toolkit/DateForms.h"
#include "toolkit/ScopeExit.h"
#include "toolkit/VersionInfo.h"

namespace hv::outlook {
namespace {

constexpr wchar_t kNoneText[] = L"-- No Appointments Pending --";
constexpr wchar_t kNotRunningText[] = L"-- Outlook is not running --";

// A step whose failure means "cannot be evaluated": the answer is then `onFailure`.
template <class F>
bool Guarded(F&& test, bool onFailure) {
    try {
        return test();
    } catch (const std::exception&) { return onFailure; }
}

}  // namespace

std::wstring DayFilter(const std::wstring& day) {
    // Outlook reads a filter's dates and times in the user's own forms, times without seconds
    // (Microsoft's "Filtering Items Using a Date-time Comparison", which the Items.Find and
    // Items.Restrict pages point to: "Outlook evaluates time according to that specified time
    // format without seconds"), so a 24-hour locale is given "00:00" and "23:59".
    // Where the user's time format has AM/PM designators the day is written as it always was.
    std::wstring first = L"00:00 AM", last = L"11:59 PM";
    if (!toolkit::TimeFormatHasDesignator()) {
        first = toolkit::ShortTime(0, 0);
        last = toolkit::ShortTime(23, 59);
    }
    return L"[Start] >= \"" + day + L" " + first + L"\" and [Start] <= \"" + day + L" " + last + L"\"";
}

std::wstring SentKey(AppointmentView& appointment) {
    return appointment.Property(L"Subject").AsString() + toolkit::GeneralDate(appointment.Property(L"Start").AsDate()) +
           toolkit::GeneralDate(appointment.Property(L"End").AsDate());
}

SYSTEMTIME OutlookAutomation::Now() { return pollTime_ ? *pollTime_ : host_.Now(); }

void OutlookAutomation::Poll(const std::function<bool()>& stopped) {
    // One reading of the clock for the whole poll: an entry due in this minute is still sent when
    // the sends before it (a security prompt) ran past the minute.
    pollTime_ = host_.Now();
    const toolkit::ScopeExit done([this] { pollTime_.reset(); });
    ScanTodaysAppointments();
    const int count = PendingCount();
    for (int n = 1; n <= count && n <= PendingCount() && !stopped(); ++n)
        if (IsAppointmentDue(n)) SendNotification(n);
}

void OutlookAutomation::Report(const AutomationError& e) {
    if (client_.Closed()) return;  // the program is ending: nothing more to say
    host_.ShowMessage(nullptr, e.Description(), MB_OK | MB_ICONEXCLAMATION, toolkit::ReadVersionInfo().productName);
}

void OutlookAutomation::ForgetOutlook() {
    OutlookApp.Reset();
    OutlookNameSpace.Reset();
    CalendarItems.Reset();
    PendingItems.clear();
}

void OutlookAutomation::ShowNotRunning() {
    ForgetOutlook();
    txtQ_.SetText(kNotRunningText);
}

// Outlook has gone (closed by the user, crashed). Its process may still be ending: only what the
// looks from now on see counts. Its references are let go of only once another Outlook is attached
// (or the session closes): an Outlook that COM started for this program ends when this program
// lets go of it, and one that only cut some objects off would then end with them.
void OutlookAutomation::LoseOutlook() {
    seenAtLastLook_ = false;
    lostOutlook_ = {OutlookApp, OutlookNameSpace, CalendarItems};
    ShowNotRunning();
}

// Outlook runs when its server process was seen at this look and at the one before: an Outlook in
// the middle of closing, still in the process list but no longer taking clients, would otherwise
// be started again by COM behind the user's back.
bool OutlookAutomation::OutlookRunsSteadily() {
    const bool seen = outlookRuns_();
    const bool steady = seen && seenAtLastLook_;
    seenAtLastLook_ = seen;
    return steady;
}

void OutlookAutomation::WatchForOutlook() {
    if (!OutlookApp && !client_.Closed()) OutlookRunsSteadily();
}

// Attaches to the Outlook that runs now, keeping the sent log; never starts one. `failure` is
// set when Outlook was reached but failed otherwise.
OutlookAutomation::Attached OutlookAutomation::AttachToRunningOutlook(std::optional<AutomationError>& failure) {
    if (!OutlookRunsSteadily()) return Attached::NotRunning;
    Dispatch app;
    try {
        app = attach_();
    } catch (const AutomationError&) {
        // Running, but out of reach, which counts as not running: "COM security is aware of
        // integrity levels and does not allow lower-integrity clients to bind to class instances
        // running at a higher integrity level" ("How the Integrity Mechanism Is Implemented in
        // Windows Vista", learn.microsoft.com/previous-versions/dotnet/articles/bb625962(v=msdn.10)).
        // The class object of an Outlook started at another level (as administrator) is not this
        // program's to use, and no class object this program may use comes: CoCreateInstance
        // fails with CO_E_SERVER_EXEC_FAILURE, "the COM server process failed to start in time
        // and register the proper class factory" ("When CoCreateInstance returns 0x80080005
        // (CO_E_SERVER_EXEC_FAILURE)", learn.microsoft.com/archive/blogs/adioltean/
        // when-cocreateinstance-returns-0x80080005-co_e_server_exec_failure).
        return Attached::NotRunning;
    }
    if (client_.Closed()) return Attached::NotRunning;  // the program ended while COM connected
    try {
        ConnectCalendar([&app] { return app; });
        lostOutlook_.clear();
        return Attached::Yes;
    } catch (const AutomationError& e) {
        ForgetOutlook();
        if (client_.Closed()) return Attached::NotRunning;  // the program is ending
        if (e.ServerGone()) {
            seenAtLastLook_ = false;
            return Attached::NotRunning;
        }
        failure = e;
        return Attached::Failed;
    }
}

// While no Outlook runs the list says so, and nothing is reported.
bool OutlookAutomation::Reattach() {
    std::optional<AutomationError> failure;
    switch (AttachToRunningOutlook(failure)) {
        case Attached::Yes: return true;
        case Attached::NotRunning:
            if (!client_.Closed()) ShowNotRunning();
            return false;
        case Attached::Failed: Report(*failure); return false;
    }
    return false;
}

void OutlookAutomation::ScanTodaysAppointments() {
    if (client_.Closed()) return;
    // Exit may come while a call waits: whatever the scan found afterwards is let go with the rest.
    const toolkit::ScopeExit endedMeanwhile([this] {
        if (client_.Closed()) CloseOutlookSession();
    });
    client_.ForgetObjects();  // the objects of the last poll are not met again
    if (!CalendarItems && !Reattach()) return;
    try {
        ScanOnce();
    } catch (const AutomationError& e) {
        if (client_.Closed()) return;
        if (e.ServerGone()) return LoseOutlook();
        Report(e);
    }
}

// One pass over today's calendar. Returns true when it completed; throws on the first failing
// Outlook call, after writing the list as far as it got.
bool OutlookAutomation::ScanOnce() {
    const std::wstring day = toolkit::ShortDate(Now());
    if (day != LastScanDate) {
        SentLog.clear();
        allDayFirstFailure_.clear();
        LastScanDate = day;
    }
    PendingItems.clear();
    const std::wstring filter = DayFilter(day);
    if (!CalendarItems) throw AutomationError(E_POINTER, L"The Outlook calendar is not open.");
    Variant found = client_.Call(CalendarItems.Get(), L"Find", {filter});

    // The filters as the configuration window holds them at the moment of the scan.
    const bool reminderOnly = settings::Ticked(settings_.Live().chkReminder);
    const std::wstring category = settings_.Live().txtCategory.Text();
    std::wstring list = kNoneText;
    // The list reaches the viewer even when a later step fails, but never once the program is
    // ending (the viewer is gone, and touching it would make it again).
    const toolkit::ScopeExit writeList([&] {
        if (!client_.Closed()) txtQ_.SetText(list);
    });

    while (!found.IsNothing()) {
        auto item = std::make_shared<AppointmentView>(client_, found.AsDispatch());
        if (!IsAlreadyNotified(*item) && !IsNotifyTimePast(*item) &&
            !IsExcludedByFilters(*item, reminderOnly, category)) {
            if (PendingItems.empty()) list.clear();
            list += toolkit::MediumTime(item->Property(L"Start").AsDate()) + L" - " +
                    item->Property(L"Subject").AsString() + L"\r\n";
            PendingItems.push_back(std::move(item));
        }
        found = client_.Call(CalendarItems.Get(), L"FindNext");
    }
    return true;
}

bool OutlookAutomation::IsAlreadyNotified(AppointmentView& item) {
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

bool OutlookAutomation::IsExcludedByFilters(AppointmentView& item, bool reminderOnly, const std::wstring& category) {
    bool excluded = false;
    if (reminderOnly && !item.Property(L"ReminderSet").AsBool()) excluded = true;
    if (!category.empty() && item.Property(L"Categories").AsString().find(category) == std::wstring::npos)
        excluded = true;
    return excluded;
}

}  // namespace hv::outlook
