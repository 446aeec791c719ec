// The poll and the daily scan: today's appointments that may still need a notification, in
// start order.
#include <algorithm>

#include "outlook/Failure.h"
#include "outlook/OutlookAutomation.h"
#include "toolkit/DateForms.h"
#include "toolkit/ScopeExit.h"
#include "toolkit/VersionInfo.h"

namespace hv::outlook {
namespace {

constexpr wchar_t kNoneText[] = L"-- No Appointments Pending --";
constexpr wchar_t kNotRunningText[] = L"-- Outlook is not running --";

bool SameAppointment(const OutlookAutomation::Known& a, const OutlookAutomation::Known& b) {
    return !(a.appointment < b.appointment) && !(b.appointment < a.appointment);
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
    const Minute minute = MinuteOf(*pollTime_);
    Look(minute);
    pollFailure_.reset();
    const toolkit::ScopeExit done([this] { pollTime_.reset(); });
    const bool scanned = ScanTodaysAppointments();
    const int count = PendingCount();
    for (int n = 1; n <= count && n <= PendingCount() && !stopped(); ++n)
        if (IsAppointmentDue(n)) SendNotification(n);
    if (client_.Closed()) return;
    if (scanned) LookAtOutbox();

    // The poll's minute was watched when the poll did its work; the minutes a call held it
    // through were not, and what falls due in them is owed.
    if (pollFailure_)
        missed_.Failed(minute, *pollFailure_);
    else
        missed_.Watched(minute, minute);
    const Minute end = MinuteOf(host_.Now());
    for (Minute m = minute + 1; m < end && m <= minute + 1440; ++m) missed_.Failed(m, MissCause::CallHeld);
    TellOfMissedNotifications();
}

// A look at the clock by a poll or a skipped tick. Minutes skipped since the last look went by
// unwatched: asleep or held when the tick count went on with the clock (it counts the time the
// computer sleeps: Microsoft's "Environment.TickCount and Environment.TickCount64 behavior changed
// on Windows" says GetTickCount64 "included the time the system spent in sleep, hibernation, or
// other low-power states"), or skipped by the clock itself when it did not (the day the clocks go
// forward, or the user set the clock on): what fell due in them is then due now, not late.
void OutlookAutomation::Look(Minute now) {
    missed_.Looked(now);
    const ULONGLONG tick = host_.TickCount();
    if (lastLook_ && now > lastLook_->minute + 1) {
        const ULONGLONG skippedMs = static_cast<ULONGLONG>(now - lastLook_->minute - 1) * 60000;
        if (skippedMs > tick - lastLook_->tickMs + 60000)
            for (Minute m = lastLook_->minute + 1; m < now && m <= lastLook_->minute + 1440; ++m)
                missed_.Failed(m, MissCause::ClockMoved);
    }
    lastLook_ = LastLook{now, tick};
}

void OutlookAutomation::WatchForOutlook() {
    const Minute now = MinuteOf(host_.Now());
    Look(now);
    missed_.Watched(now, now);
    if (!OutlookApp && !client_.Closed()) OutlookRunsSteadily();
}

void OutlookAutomation::HeldByTheUser(const SYSTEMTIME& from) {
    missed_.Watched(MinuteOf(from), MinuteOf(host_.Now()));
}

void OutlookAutomation::Failed(MissCause cause) {
    if (!pollFailure_) pollFailure_ = cause;
}

// The program's own message box holds the poll: its minutes are the user's, and nothing falls
// due in them later.
int OutlookAutomation::ShowOwnMessage(const std::wstring& text, UINT style) {
    const Minute from = MinuteOf(host_.Now());
    const int answer = host_.ShowMessage(nullptr, text, style, toolkit::ReadVersionInfo().productName);
    missed_.Watched(from, MinuteOf(host_.Now()));
    return answer;
}

void OutlookAutomation::Report(const AutomationError& e) {
    Failed(MissCause::OutlookFailed);
    if (client_.Closed()) return;  // the program is ending: nothing more to say
    ShowOwnMessage(e.Description(), MB_OK | MB_ICONEXCLAMATION);
}

void OutlookAutomation::ShowList() {
    if (client_.Closed()) return;  // the viewer is gone, and touching it would make it again
    const std::wstring status = notices_.StatusLines();
    if (status.empty()) return showList_(list_);
    const bool lineEnded = list_.size() >= 2 && list_.compare(list_.size() - 2, 2, L"\r\n") == 0;
    showList_(list_ + (list_.empty() || lineEnded ? L"" : L"\r\n") + status);
}

void OutlookAutomation::ForgetOutlook() {
    outbox_.ForgetFolder();
    OutlookApp.Reset();
    OutlookNameSpace.Reset();
    CalendarItems.Reset();
    PendingItems.clear();
}

void OutlookAutomation::ShowNotRunning() {
    ForgetOutlook();
    Failed(MissCause::OutlookNotRunning);
    list_ = kNotRunningText;
    ShowList();
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

bool OutlookAutomation::ScanTodaysAppointments() {
    if (client_.Closed()) return false;
    // Exit may come while a call waits: whatever the scan found afterwards is let go with the rest.
    const toolkit::ScopeExit endedMeanwhile([this] {
        if (client_.Closed()) CloseOutlookSession();
    });
    client_.ForgetObjects();  // the objects of the last poll are not met again
    if (!CalendarItems && !Reattach()) return false;
    try {
        return ScanOnce();
    } catch (const AutomationError& e) {
        if (client_.Closed()) return false;
        if (e.ServerGone()) {
            LoseOutlook();
            return false;
        }
        Report(e);
    }
    return false;
}

// One pass over today's calendar. Returns true when it completed; throws on the first failing
// Outlook call, after writing the list as far as it got.
bool OutlookAutomation::ScanOnce() {
    const std::wstring day = toolkit::ShortDate(Now());
    if (day != LastScanDate) NewDay();
    PendingItems.clear();
    const std::wstring filter = DayFilter(day);
    if (!CalendarItems) throw AutomationError(E_POINTER, L"The Outlook calendar is not open.");
    Variant found = client_.Call(CalendarItems.Get(), L"Find", {filter});

    // The filters as the configuration window holds them at the moment of the scan.
    const bool reminderOnly = settings_.ReminderOnly();
    const std::wstring category = settings_.Category();
    list_ = kNoneText;
    // The list reaches the viewer even when a later step fails.
    const toolkit::ScopeExit writeList([&] { ShowList(); });

    std::vector<Known> known;
    while (!found.IsNothing()) {
        auto item = std::make_shared<AppointmentView>(client_, found.AsDispatch());
        if (!IsAlreadyNotified(*item) && !IsNotifyTimePast(*item) &&
            !IsExcludedByFilters(*item, reminderOnly, category)) {
            if (PendingItems.empty()) list_.clear();
            list_ += toolkit::MediumTime(item->Property(L"Start").AsDate()) + L" - " +
                     item->Property(L"Subject").AsString() + L"\r\n";
            SkipOnFailure([&] { known.push_back(KnownOf(*item)); });  // an entry that cannot be named is not told of
            PendingItems.push_back(std::move(item));
        }
        found = client_.Call(CalendarItems.Get(), L"FindNext");
    }
    // What the last scan knew and this one no longer lists is done with: notified, or over.
    for (Known& k : known_)
        if (std::none_of(known.begin(), known.end(), [&](const Known& n) { return SameAppointment(n, k); }))
            TellMissed(k, true);
    known_ = std::move(known);
    return true;
}

void OutlookAutomation::NewDay() {
    SentLog.clear();
    allDayFirstFailure_.clear();
    notices_.NewDay();
    outbox_.Clear();
    known_.clear();
    LastScanDate = toolkit::ShortDate(Now());
    missed_.ForgetBefore(DayStartOf(MinuteOf(Now())) - 1440);
}

bool OutlookAutomation::IsAlreadyNotified(AppointmentView& item) {
    if (SentLog.empty()) return false;
    // An item whose key cannot be built cannot be told apart from a notified one.
    return ValueOr(true, [&] {
        const std::wstring key = SentKey(item);
        for (const std::wstring& logged : SentLog)
            if (logged == key) return true;
        return false;
    });
}

bool OutlookAutomation::IsExcludedByFilters(AppointmentView& item, bool reminderOnly, const std::wstring& category) {
    bool excluded = false;
    if (reminderOnly && !item.Property(L"ReminderSet").AsBool()) excluded = true;
    if (!category.empty() && item.Property(L"Categories").AsString().find(category) == std::wstring::npos)
        excluded = true;
    return excluded;
}

}  // namespace hv::outlook
