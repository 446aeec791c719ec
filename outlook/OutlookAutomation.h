// OutlookAutomation: everything that talks to Outlook. It holds the Outlook references for the
// run, rebuilds the pending table from today's calendar at every poll, decides which entries are
// due, and composes and sends the notification messages. All its state lives in this object.
#pragma once
#include <functional>
#include <string>
#include <vector>

#include "outlook/Automation.h"
#include "settings/Settings.h"
#include "toolkit/Controls.h"
#include "toolkit/Host.h"

namespace hv::outlook {

// Creates (or attaches to) Outlook's Application object.
using ApplicationFactory = std::function<Dispatch()>;

// "Outlook.Application" through CLSIDFromProgID and CoCreateInstance with CLSCTX_SERVER, so that
// both a local server (Outlook itself) and an in-process server answer.
Dispatch CreateOutlookApplication();

// The outcome of one message.
enum class SendResult { Sent, Unresolved, Failed };

class OutlookAutomation {
public:
    // The text OpenOutlookSession returns when the connection failed.
    static constexpr wchar_t kNothing[] = L"Nothing";

    OutlookAutomation(toolkit::Host& host, settings::Settings& settings, toolkit::TextBox& txtQ,
                      ApplicationFactory factory = CreateOutlookApplication);
    OutlookAutomation(const OutlookAutomation&) = delete;
    OutlookAutomation& operator=(const OutlookAutomation&) = delete;

    // Connects to Outlook and opens the calendar; shows the security notice when its rules say
    // so. Returns the Application's type name, or "Nothing" when any step failed.
    std::wstring OpenOutlookSession();
    // Lets go of every Outlook object the program holds. Harmless when already closed.
    void CloseOutlookSession();

    // Rebuilds the pending table and the viewer's list from today's calendar. Reports its own
    // failure in a message box; never throws.
    void ScanTodaysAppointments();
    // Entry n (1 to PendingCount()) is due this minute.
    bool IsAppointmentDue(int n);
    // Sends the notification for entry n, or the test message for n = 0.
    SendResult SendNotification(int n);

    int PendingCount() const { return static_cast<int>(PendingItems.size()); }
    // The description of the last failed Send.
    const std::wstring& LastSendFailure() const { return lastSendFailure_; }

    // Outlook references, empty until the session is opened.
    Dispatch OutlookApp, OutlookNameSpace, CalendarItems;
    // Today's pending entries, in calendar start order.
    std::vector<Dispatch> PendingItems;
    // The keys of the appointments notified since the day began.
    std::vector<std::wstring> SentLog;
    // The day of the last day change, as "Short Date" text.
    std::wstring LastScanDate;

private:
    void ConnectCalendar();
    void ShowSecurityNoticeIfNeeded();
    bool ScanOnce();
    bool IsAlreadyNotified(IDispatch* item);
    bool IsNotifyTimePast(IDispatch* item);
    bool IsExcludedByFilters(IDispatch* item, bool reminderOnly, const std::wstring& category);
    long ReminderLead(IDispatch* item);
    std::wstring SubjectLine(IDispatch* item);
    Dispatch ComposeMessage(int n);
    std::wstring NowMediumTime();

    toolkit::Host& host_;
    settings::Settings& settings_;
    toolkit::TextBox& txtQ_;
    ApplicationFactory factory_;
    std::wstring lastSendFailure_;
};

// The key under which an appointment is remembered as notified: its subject, then its start and
// end in the general date-time form, with no separator.
std::wstring SentKey(IDispatch* appointment);

}  // namespace hv::outlook
