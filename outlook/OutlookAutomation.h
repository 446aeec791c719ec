// OutlookAutomation: everything that talks to Outlook. It holds the Outlook references for the
// run, rebuilds the pending table from today's calendar at every poll, decides which entries are
// due, and composes and sends the notification messages. All its state lives in this object.
#pragma once
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "outlook/AppointmentView.h"
#include "outlook/Automation.h"
#include "outlook/MissedMinutes.h"
#include "outlook/Notices.h"
#include "outlook/OutboxWatch.h"
#include "outlook/OutlookProcess.h"
#include "settings/LiveSettings.h"
#include "toolkit/Host.h"

namespace hv::outlook {

// Creates (or attaches to) Outlook's Application object.
using ApplicationFactory = std::function<Dispatch()>;
// Whether Outlook's server process runs now.
using ProcessTest = std::function<bool()>;
// Shows the pending list's whole text.
using ListShow = std::function<void(const std::wstring&)>;

// "Outlook.Application" through CLSIDFromProgID and CoCreateInstance with CLSCTX_SERVER, so that
// both a local server (Outlook itself) and an in-process server answer. Starts Outlook when none
// runs.
Dispatch CreateOutlookApplication();
// The Application of the Outlook that runs, through CoCreateInstance with CLSCTX_LOCAL_SERVER:
// Outlook's one class object hands it out. When none runs, COM would start one: call it only
// once OutlookProcessRuns has seen Outlook. Throws AutomationError when it cannot be reached.
Dispatch AttachToOutlook();

// The outcome of one message. Denied: the user refused it at Outlook's security prompt.
enum class SendResult { Sent, Unresolved, Failed, Denied };

class OutlookAutomation {
public:
    // The text OpenOutlookSession returns when the connection failed.
    static constexpr wchar_t kNothing[] = L"Nothing";

    // The settings are read at the moment each value is needed; the pending list's text goes to
    // `showList`. `factory` opens the session at start-up; `attach` reconnects after Outlook has
    // gone, once `outlookRuns` has seen Outlook's process on two looks in a row.
    OutlookAutomation(toolkit::Host& host, settings::LiveSettings& settings, ListShow showList,
                      ApplicationFactory factory = CreateOutlookApplication,
                      ApplicationFactory attach = AttachToOutlook, ProcessTest outlookRuns = OutlookProcessRuns);
    OutlookAutomation(const OutlookAutomation&) = delete;
    OutlookAutomation& operator=(const OutlookAutomation&) = delete;

    // Connects to Outlook and opens the calendar; shows the security notice when its rules say
    // so. Returns the Application's type name, or "Nothing" when any step failed.
    std::wstring OpenOutlookSession();
    // Lets go of every Outlook object the program holds. Harmless when already closed.
    void CloseOutlookSession();

    // One poll: the clock read once, today's calendar scanned, and each pending entry tested and
    // notified when due, until `stopped` says the program is ending. The program's timer, the
    // tests and the benchmark all poll through this.
    void Poll(const std::function<bool()>& stopped = [] { return false; });
    // Rebuilds the pending table and the viewer's list from today's calendar. Reports its own
    // failure in a message box; never throws. When Outlook has gone it attaches to a running
    // one; while none runs the list says so and nothing is reported. True when it completed.
    bool ScanTodaysAppointments();
    // For a poll that is skipped because the user holds it (the program's own windows, or no
    // address): the minute counts as watched, and while no Outlook is attached, it looks whether
    // one runs, so that the next poll, or the test message, can attach to it.
    void WatchForOutlook();
    // The minutes from `from` to now were the user's (notification switched off): nothing is
    // owed for them.
    void HeldByTheUser(const SYSTEMTIME& from);
    // Entry n (1 to PendingCount()) is due this minute, or its minute went by unwatched and its
    // appointment has not started.
    bool IsAppointmentDue(int n);
    // Sends the notification for entry n, or the test message for n = 0.
    SendResult SendNotification(int n);

    // An appointment as the last successful scan saw it, for telling the user of it while
    // Outlook cannot be asked.
    struct Known {
        Notices::Appointment appointment;
        Minute notifyAt = 0;
        std::wstring notifyTime;  // the due minute in the "Medium Time" form
    };

    int PendingCount() const { return static_cast<int>(PendingItems.size()); }
    // The description of the last failed Send.
    const std::wstring& LastSendFailure() const { return lastSendFailure_; }
    // Whether Outlook works offline (NameSpace.Offline); false when it cannot be told.
    bool OutlookOffline();

    // Balloons on the tray icon go through `show`.
    void ShowBalloonsWith(BalloonShow show) { balloon_ = std::move(show); }
    // Called about once a second: tells the user, once, of a send that has waited more than
    // ten seconds on Outlook (its security prompt, most likely).
    void WatchWaitingSend();
    // Whether this program started Outlook when the session opened.
    bool StartedOutlook() const { return startedOutlook_; }
    // Whether a notification handed to Outlook may still wait in its Outbox; LookAtOutbox looks
    // again (at most a call or two).
    bool OutboxHoldsNotifications() const { return !outbox_.Empty(); }
    bool LookAtOutbox();

    // The client through which every call to Outlook goes.
    AutomationClient& Client() { return client_; }

    // Outlook references, empty until the session is opened.
    Dispatch OutlookApp, OutlookNameSpace, CalendarItems;
    // Today's pending entries, in calendar start order. Shared: a test or a send holds its entry
    // while a call waits, and a message handled meanwhile (Exit) may empty the table.
    std::vector<std::shared_ptr<AppointmentView>> PendingItems;
    // The keys of the appointments notified since the day began.
    std::vector<std::wstring> SentLog;
    // The day of the last day change, as "Short Date" text.
    std::wstring LastScanDate;

private:
    enum class Attached { Yes, NotRunning, Failed };
    void ConnectCalendar(const ApplicationFactory& factory);
    Dispatch StartOutlook();
    bool OutlookRunsSteadily();
    Attached AttachToRunningOutlook(std::optional<AutomationError>& failure);
    bool Reattach();
    void ForgetOutlook();
    void ShowNotRunning();
    void LoseOutlook();
    SendResult OutlookWentAway();
    void Report(const AutomationError& e);
    void ShowSecurityNoticeIfNeeded();
    bool ScanOnce();
    bool IsAlreadyNotified(AppointmentView& item);
    bool IsNotifyTimePast(AppointmentView& item);
    bool IsExcludedByFilters(AppointmentView& item, bool reminderOnly, const std::wstring& category);
    long ReminderLead(AppointmentView& item);
    std::wstring SubjectLine(AppointmentView& item);
    Dispatch ComposeMessage(AppointmentView* item, std::wstring& subject);
    bool RetryOfAllDayIsOver(AppointmentView& item);
    void RememberFailedAllDay(AppointmentView& item);
    void LogAsHandled(AppointmentView& item);
    SYSTEMTIME Now();
    int ShowOwnMessage(const std::wstring& text, UINT style);
    void Look(Minute now);
    void Failed(MissCause cause);

    Known KnownOf(AppointmentView& item);
    Known* KnownEntry(AppointmentView& item);
    bool IsOwed(AppointmentView& item, long lead);
    void TellMissed(const Known& k, bool started);
    void TellOfMissedNotifications();
    void NoteSent(AppointmentView& item, const std::wstring& subject);
    void NoteRefused(AppointmentView& item);
    void ShowList();
    void NewDay();

    toolkit::Host& host_;
    settings::LiveSettings& settings_;
    ListShow showList_;
    ApplicationFactory factory_, attach_;
    ProcessTest outlookRuns_;
    bool seenAtLastLook_ = false;        // Outlook's process ran at the last look
    std::vector<Dispatch> lostOutlook_;  // the references of an Outlook that went away
    AutomationClient client_;
    std::optional<SYSTEMTIME> pollTime_;                 // the clock as the running poll read it
    std::map<std::wstring, Minute> allDayFirstFailure_;  // key -> minute of the first failed try
    std::wstring lastSendFailure_;
    MissedMinutes missed_;
    std::optional<MissCause> pollFailure_;  // why the running poll could not do its work
    struct LastLook {
        Minute minute;
        ULONGLONG tickMs;
    };
    std::optional<LastLook> lastLook_;  // the last poll or skipped tick
    BalloonShow balloon_;
    Notices notices_{[this](const std::wstring& text, bool warning) {
        if (balloon_) balloon_(text, warning);
    }};
    OutboxWatch outbox_{client_};
    std::vector<Known> known_;  // the entries of the last successful scan
    std::wstring list_;         // the pending list as the last scan wrote it
    bool startedOutlook_ = false;
    struct WaitingSend {
        Notices::Appointment appointment;
        ULONGLONG sinceMs;
    };
    std::optional<WaitingSend> waitingSend_;  // a notification's address and send steps in progress
};

// The search filter for the appointments that start on `day` (a "Short Date" text).
std::wstring DayFilter(const std::wstring& day);

// The key under which an appointment is remembered as notified: its subject, then its start and
// end in the general date-time form, with no separator.
std::wstring SentKey(AppointmentView& appointment);

// A call the user refused at Outlook's security prompt.
bool DeniedByTheUser(const AutomationError& e);

}  // namespace hv::outlook
