// Composing and sending the notification message of a pending entry, and the test message.
// Every step is guarded on its own: a failing step is skipped and the next one runs.
#include "outlook/OutlookAutomation.h"
#include "toolkit/DateForms.h"
#include "toolkit/Form.h"
#include "toolkit/VersionInfo.h"

namespace hv::outlook {
namespace {

constexpr int kMailItem = 0;
constexpr int kRecipientTo = 1;

template <class F>
void Step(F&& f) {
    try {
        f();
    } catch (const std::exception&) {
    }
}

// A test whose evaluation fails counts as true.
template <class F>
bool Test(F&& f) {
    try {
        return f();
    } catch (const std::exception&) {
        return true;
    }
}

}  // namespace

// The subject line from the ticked options, built row by row.
std::wstring OutlookAutomation::SubjectLine(IDispatch* item) {
    auto& live = settings_.Live();
    const bool subject = settings::Ticked(live.chkSubject), times = settings::Ticked(live.chkStartEndTIme),
               location = settings::Ticked(live.chkLocation), organizer = settings::Ticked(live.chkOrganizer);
    std::wstring line;
    if (live.chkSubject.Value() + live.chkStartEndTIme.Value() + live.chkLocation.Value() +
            live.chkOrganizer.Value() == 0)
        line = L"Appointment";
    if (subject) Step([&] { line = Get(item, L"Subject").AsString(); });
    if (times) {
        if (Test([&] { return Get(item, L"AllDayEvent").AsBool(); }))
            line += L" (All Day)";
        else
            Step([&] {
                line += L" (" + toolkit::MediumTime(Get(item, L"Start").AsDate()) + L" - " +
                        toolkit::MediumTime(Get(item, L"End").AsDate()) + L")";
            });
    }
    if (location) {
        std::wstring where;
        if (Test([&] { where = Get(item, L"Location").AsString(); return !where.empty(); }) && !where.empty())
            line += L" >" + where;
    }
    if (organizer) {
        std::wstring who;
        const bool readable = !Test([&] { who = Get(item, L"Organizer").AsString(); return false; });
        const bool other = Test([&] {
            Dispatch session = Get(OutlookApp.Get(), L"Session").AsDispatch();
            Dispatch user = Get(session.Get(), L"CurrentUser").AsDispatch();
            return who != DefaultValue(user.Get()).AsString();
        });
        if (readable && other) line += L" / " + who;
    }
    return line;
}

// A new mail item with its subject and body; null when Outlook could not create one.
Dispatch OutlookAutomation::ComposeMessage(int n) {
    Dispatch mail;
    Step([&] { mail = Call(OutlookApp.Get(), L"CreateItem", {kMailItem}).AsDispatch(); });
    if (n == 0) {
        const toolkit::VersionInfo v = toolkit::ReadVersionInfo();
        Step([&] { Put(mail.Get(), L"Subject", L"Test Appointment"); });
        Step([&] { Put(mail.Get(), L"Body", L"Sent from " + v.companyName + L" - " + v.productName); });
        return mail;
    }
    IDispatch* item = PendingItems[static_cast<size_t>(n - 1)].Get();
    const std::wstring subject = SubjectLine(item);
    Step([&] { Put(mail.Get(), L"Subject", subject); });
    if (settings::Ticked(settings_.Live().chkComments))
        Step([&] { Put(mail.Get(), L"Body", Get(item, L"Body").AsString()); });
    return mail;
}

SendResult OutlookAutomation::SendNotification(int n) {
    if (n < 0 || n > PendingCount()) return SendResult::Failed;
    lastSendFailure_.clear();
    const std::wstring address = settings_.Live().txtEmailAddress.Text();
    Dispatch mail = ComposeMessage(n);

    bool resolved = false;
    {
        Dispatch recipient;
        Step([&] {
            Dispatch recipients = Get(mail.Get(), L"Recipients").AsDispatch();
            recipient = Call(recipients.Get(), L"Add", {address}).AsDispatch();
        });
        Step([&] { Put(recipient.Get(), L"Type", kRecipientTo); });
        Step([&] { resolved = Call(recipient.Get(), L"Resolve").AsBool(); });
    }
    if (!resolved) {
        host_.ShowMessage(nullptr, L"Unable to resolve address.\r\n" + address, MB_OK | MB_ICONINFORMATION,
                         toolkit::ReadVersionInfo().productName);
        if (n == 0) toolkit::LetPendingMessagesRun();
        return SendResult::Unresolved;
    }

    try {
        Call(mail.Get(), L"Send");
    } catch (const AutomationError& e) {
        // Not logged: the entry is tried again at the next poll inside its due minute.
        lastSendFailure_ = e.Description();
        return SendResult::Failed;
    }
    if (n != 0) {
        // A key that cannot be built is logged empty: the scans then treat every item whose key
        // cannot be built as notified, rather than sending this one again.
        std::wstring key;
        Step([&] { key = SentKey(PendingItems[static_cast<size_t>(n - 1)].Get()); });
        SentLog.push_back(key);
    }
    return SendResult::Sent;
}

}  // namespace hv::outlook
