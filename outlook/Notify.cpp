// Composing and sending the notification message of a pending entry, and the test message.
// Every step is guarded on its own: a failing step is skipped and the next one runs.
// A send the user refuses at Outlook's security prompt is final: the entry is logged as handled
// and never prompted for again that day.
#include <optional>

#include "outlook/OutlookAutomation.h"
#include "toolkit/DateForms.h"
#include "toolkit/Form.h"
#include "toolkit/VersionInfo.h"

namespace hv::outlook {
namespace {

constexpr int kMailItem = 0;
constexpr wchar_t kNotRunning[] = L"Outlook is not running.";
constexpr int kRecipientTo = 1;
// What Outlook answers for a call the user denied at its security prompt (Microsoft's "Outlook
// Object Model Security Warnings"): MAPI_E_NOT_SUPPORTED at the address-book warning, and a send
// refused at the send warning fails as "Operation aborted" (E_ABORT).
constexpr HRESULT kMapiNotSupported = static_cast<HRESULT>(0x80040102);

template <class F>
void Step(F&& f) {
    try {
        f();
    } catch (const std::exception&) {}
}

// A test whose evaluation fails counts as true.
template <class F>
bool Test(F&& f) {
    try {
        return f();
    } catch (const std::exception&) { return true; }
}

}  // namespace

bool DeniedByTheUser(const AutomationError& e) { return e.Result() == E_ABORT || e.Result() == kMapiNotSupported; }

// The subject line from the ticked options, built row by row.
std::wstring OutlookAutomation::SubjectLine(AppointmentView& item) {
    auto& live = settings_.Live();
    const bool subject = settings::Ticked(live.chkSubject), times = settings::Ticked(live.chkStartEndTIme),
               location = settings::Ticked(live.chkLocation), organizer = settings::Ticked(live.chkOrganizer);
    std::wstring line;
    if (live.chkSubject.Value() + live.chkStartEndTIme.Value() + live.chkLocation.Value() + live.chkOrganizer.Value() ==
        0)
        line = L"Appointment";
    if (subject) Step([&] { line = item.Property(L"Subject").AsString(); });
    if (times) {
        if (Test([&] { return item.Property(L"AllDayEvent").AsBool(); }))
            line += L" (All Day)";
        else
            Step([&] {
                line += L" (" + toolkit::MediumTime(item.Property(L"Start").AsDate()) + L" - " +
                        toolkit::MediumTime(item.Property(L"End").AsDate()) + L")";
            });
    }
    if (location) {
        std::wstring where;
        if (Test([&] {
                where = item.Property(L"Location").AsString();
                return !where.empty();
            }) &&
            !where.empty())
            line += L" >" + where;
    }
    if (organizer) {
        std::wstring who;
        const bool readable = !Test([&] {
            who = item.Property(L"Organizer").AsString();
            return false;
        });
        // The user's name costs a security prompt; without the organizer it would change nothing.
        const bool other = readable && Test([&] {
                               Dispatch session = client_.Get(OutlookApp.Get(), L"Session").AsDispatch();
                               Dispatch user = client_.Get(session.Get(), L"CurrentUser").AsDispatch();
                               return who != client_.DefaultValue(user.Get()).AsString();
                           });
        if (readable && other) line += L" / " + who;
    }
    return line;
}

// A new mail item with the entry's subject and body (the test message's without an entry); null
// when Outlook could not create one. Throws the failure when Outlook has gone.
Dispatch OutlookAutomation::ComposeMessage(AppointmentView* item) {
    Dispatch mail;
    try {
        mail = client_.Call(OutlookApp.Get(), L"CreateItem", {kMailItem}).AsDispatch();
    } catch (const AutomationError& e) {
        if (e.ServerGone()) throw;  // Outlook has gone: there is nothing to compose
    } catch (const std::exception&) {}
    if (!item) {
        const toolkit::VersionInfo v = toolkit::ReadVersionInfo();
        Step([&] { client_.Put(mail.Get(), L"Subject", L"Test Appointment"); });
        Step([&] { client_.Put(mail.Get(), L"Body", L"Sent from " + v.companyName + L" - " + v.productName); });
        return mail;
    }
    const std::wstring subject = SubjectLine(*item);
    Step([&] { client_.Put(mail.Get(), L"Subject", subject); });
    if (settings::Ticked(settings_.Live().chkComments))
        Step([&] { client_.Put(mail.Get(), L"Body", item->Property(L"Body").AsString()); });
    return mail;
}

// A failed send of an all-day appointment (due all day) is tried again only in the minute of its
// first try; after that minute it counts as handled.
bool OutlookAutomation::RetryOfAllDayIsOver(AppointmentView& item) {
    if (allDayFirstFailure_.empty()) return false;
    try {
        const auto first = allDayFirstFailure_.find(SentKey(item));
        return first != allDayFirstFailure_.end() && first->second != NowMediumTime();
    } catch (const std::exception&) { return false; }
}

void OutlookAutomation::RememberFailedAllDay(AppointmentView& item) {
    Step([&] {
        if (item.Property(L"AllDayEvent").AsBool()) allDayFirstFailure_.try_emplace(SentKey(item), NowMediumTime());
    });
}

void OutlookAutomation::LogAsHandled(AppointmentView& item) {
    // A key that cannot be built is logged empty: the scans then treat every item whose key
    // cannot be built as notified, rather than sending this one again.
    std::wstring key;
    Step([&] { key = SentKey(item); });
    SentLog.push_back(key);
}

// Outlook went away while a message was made: nothing of it is reported as the message's fault,
// and an entry waits, as the scan does, until Outlook runs again.
SendResult OutlookAutomation::OutlookWentAway() {
    LoseOutlook();
    lastSendFailure_ = kNotRunning;
    return SendResult::Failed;
}

SendResult OutlookAutomation::SendNotification(int n) {
    if (n < 0 || n > PendingCount() || client_.Closed()) return SendResult::Failed;
    lastSendFailure_.clear();
    // The entry is held for the whole send: a message handled while a call waits (Exit, while
    // Outlook shows its security prompt) may empty the table.
    const std::shared_ptr<AppointmentView> entry = n == 0 ? nullptr : PendingItems[static_cast<size_t>(n - 1)];
    if (entry && RetryOfAllDayIsOver(*entry)) {
        LogAsHandled(*entry);
        return SendResult::Failed;
    }
    if (!OutlookApp) {
        // Only the test message comes here (the pending table empties with the connection); it
        // attaches by the same rules as the poll, never starting Outlook.
        std::optional<AutomationError> failure;
        switch (AttachToRunningOutlook(failure)) {
            case Attached::Yes: break;
            case Attached::NotRunning:
                if (client_.Closed()) return SendResult::Failed;
                ShowNotRunning();
                lastSendFailure_ = kNotRunning;
                return SendResult::Failed;
            case Attached::Failed: lastSendFailure_ = failure->Description(); return SendResult::Failed;
        }
    }
    const std::wstring address = settings_.Live().txtEmailAddress.Text();
    Dispatch mail;
    try {
        mail = ComposeMessage(entry.get());
    } catch (const AutomationError&) { return client_.Closed() ? SendResult::Failed : OutlookWentAway(); }

    bool resolved = false;
    std::optional<AutomationError> denied;
    bool gone = false;  // Outlook went away: not a matter of the address
    // The address prompt (adding or resolving the recipient) may be refused too.
    auto addressStep = [&](auto&& f) {
        try {
            f();
        } catch (const AutomationError& e) {
            if (DeniedByTheUser(e) && !denied) denied = e;
            if (e.ServerGone()) gone = true;
        } catch (const std::exception&) {}
    };
    {
        Dispatch recipient;
        addressStep([&] {
            Dispatch recipients = client_.Get(mail.Get(), L"Recipients").AsDispatch();
            recipient = client_.Call(recipients.Get(), L"Add", {address}).AsDispatch();
        });
        Step([&] { client_.Put(recipient.Get(), L"Type", kRecipientTo); });
        addressStep([&] { resolved = client_.Call(recipient.Get(), L"Resolve").AsBool(); });
    }
    if (client_.Closed()) return SendResult::Failed;  // the program is ending
    if (gone) return OutlookWentAway();
    if (denied) {
        lastSendFailure_ = denied->Description();
        if (entry) LogAsHandled(*entry);
        return SendResult::Denied;
    }
    if (!resolved) {
        host_.ShowMessage(nullptr, L"Unable to resolve address.\r\n" + address, MB_OK | MB_ICONINFORMATION,
                          toolkit::ReadVersionInfo().productName);
        if (n == 0) toolkit::LetPendingMessagesRun();
        return SendResult::Unresolved;
    }

    try {
        client_.Call(mail.Get(), L"Send");
    } catch (const AutomationError& e) {
        if (e.ServerGone()) return client_.Closed() ? SendResult::Failed : OutlookWentAway();
        lastSendFailure_ = e.Description();
        if (n == 0) return DeniedByTheUser(e) ? SendResult::Denied : SendResult::Failed;
        if (DeniedByTheUser(e)) {
            LogAsHandled(*entry);
            return SendResult::Denied;
        }
        // Not logged: the entry is tried again at the next poll inside its due minute.
        RememberFailedAllDay(*entry);
        return SendResult::Failed;
    }
    if (entry) LogAsHandled(*entry);
    return SendResult::Sent;
}

}  // namespace hv::outlook
