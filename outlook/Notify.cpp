// Composing and sending the notification message of a pending entry, and the test message.
// Every step is guarded on its own: a failing step is skipped and the next one runs.
// A send the user refuses at Outlook's security prompt is final: the entry is logged as handled
// and never prompted for again that day.
#include <optional>

#include "outlook/Failure.h"
#include "outlook/OutlookAutomation.h"
#include "toolkit/DateForms.h"
#include "toolkit/Form.h"
#include "toolkit/ScopeExit.h"
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
constexpr wchar_t kInOutbox[] = L"waiting in Outlook's Outbox";
// A send that waits longer than this is most likely held by Outlook's security prompt.
constexpr ULONGLONG kPromptPatienceMs = 10000;

}  // namespace

bool DeniedByTheUser(const AutomationError& e) { return e.Result() == E_ABORT || e.Result() == kMapiNotSupported; }

// The subject line from the ticked options, built row by row.
std::wstring OutlookAutomation::SubjectLine(AppointmentView& item) {
    const bool subject = settings_.Ticked(settings::kSubject), times = settings_.Ticked(settings::kStartEndTime),
               location = settings_.Ticked(settings::kLocation), organizer = settings_.Ticked(settings::kOrganizer);
    std::wstring line;
    if (settings_.Value(settings::kSubject) + settings_.Value(settings::kStartEndTime) +
            settings_.Value(settings::kLocation) + settings_.Value(settings::kOrganizer) ==
        0)
        line = L"Appointment";
    if (subject) SkipOnFailure([&] { line = item.Property(L"Subject").AsString(); });
    if (times) {
        if (ValueOr(true, [&] { return item.Property(L"AllDayEvent").AsBool(); }))
            line += L" (All Day)";
        else
            SkipOnFailure([&] {
                line += L" (" + toolkit::MediumTime(item.Property(L"Start").AsDate()) + L" - " +
                        toolkit::MediumTime(item.Property(L"End").AsDate()) + L")";
            });
    }
    if (location) {
        std::wstring where;
        SkipOnFailure([&] { where = item.Property(L"Location").AsString(); });
        if (!where.empty()) line += L" >" + where;
    }
    if (organizer) {
        std::wstring who;
        const bool readable = ValueOr(false, [&] {
            who = item.Property(L"Organizer").AsString();
            return true;
        });
        // The user's name costs a security prompt; without the organizer it would change nothing.
        // A name that cannot be read counts as another's.
        const bool other = readable && ValueOr(true, [&] {
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
Dispatch OutlookAutomation::ComposeMessage(AppointmentView* item, std::wstring& subject) {
    Dispatch mail;
    try {
        mail = client_.Call(OutlookApp.Get(), L"CreateItem", {kMailItem}).AsDispatch();
    } catch (const AutomationError& e) {
        if (e.ServerGone()) throw;  // Outlook has gone: there is nothing to compose
    } catch (const std::exception&) {}
    if (!item) {
        const toolkit::VersionInfo v = toolkit::ReadVersionInfo();
        SkipOnFailure([&] { client_.Put(mail.Get(), L"Subject", L"Test Appointment"); });
        SkipOnFailure(
            [&] { client_.Put(mail.Get(), L"Body", L"Sent from " + v.companyName + L" - " + v.productName); });
        return mail;
    }
    subject = SubjectLine(*item);
    SkipOnFailure([&] { client_.Put(mail.Get(), L"Subject", subject); });
    if (settings_.Ticked(settings::kComments))
        SkipOnFailure([&] { client_.Put(mail.Get(), L"Body", item->Property(L"Body").AsString()); });
    return mail;
}

// A failed send of an all-day appointment (due all day) is tried again only in the minute of its
// first try; after that minute it counts as handled.
bool OutlookAutomation::RetryOfAllDayIsOver(AppointmentView& item) {
    if (allDayFirstFailure_.empty()) return false;
    return ValueOr(false, [&] {
        const auto first = allDayFirstFailure_.find(SentKey(item));
        return first != allDayFirstFailure_.end() && first->second != MinuteOf(Now());
    });
}

void OutlookAutomation::RememberFailedAllDay(AppointmentView& item) {
    SkipOnFailure([&] {
        if (item.Property(L"AllDayEvent").AsBool()) allDayFirstFailure_.try_emplace(SentKey(item), MinuteOf(Now()));
    });
}

void OutlookAutomation::LogAsHandled(AppointmentView& item) {
    // A key that cannot be built is logged empty: the scans then treat every item whose key
    // cannot be built as notified, rather than sending this one again.
    std::wstring key;
    SkipOnFailure([&] { key = SentKey(item); });
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
    const std::wstring address = settings_.Address();
    Dispatch mail;
    std::wstring subject;
    try {
        mail = ComposeMessage(entry.get(), subject);
    } catch (const AutomationError&) { return client_.Closed() ? SendResult::Failed : OutlookWentAway(); }

    // From here Outlook may ask the user for permission: a notification that waits long on it is
    // told of (WatchWaitingSend).
    if (entry) {
        if (const Known* k = KnownEntry(*entry)) waitingSend_ = WaitingSend{k->appointment, host_.TickCount()};
    }
    const toolkit::ScopeExit notWaiting([this] { waitingSend_.reset(); });

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
        SkipOnFailure([&] { client_.Put(recipient.Get(), L"Type", kRecipientTo); });
        addressStep([&] { resolved = client_.Call(recipient.Get(), L"Resolve").AsBool(); });
    }
    if (client_.Closed()) return SendResult::Failed;  // the program is ending
    if (gone) return OutlookWentAway();
    if (denied) {
        lastSendFailure_ = denied->Description();
        if (entry) NoteRefused(*entry);
        return SendResult::Denied;
    }
    if (!resolved) {
        waitingSend_.reset();
        ShowOwnMessage(L"Unable to resolve address.\r\n" + address, MB_OK | MB_ICONINFORMATION);
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
            NoteRefused(*entry);
            return SendResult::Denied;
        }
        // Not logged: the entry is tried again at the next poll, inside its due minute or, the
        // minute having gone by unwatched, until its appointment starts.
        Failed(MissCause::OutlookFailed);
        RememberFailedAllDay(*entry);
        return SendResult::Failed;
    }
    if (entry) {
        LogAsHandled(*entry);
        NoteSent(*entry, subject);
    }
    return SendResult::Sent;
}

bool OutlookAutomation::OutlookOffline() {
    return ValueOr(false, [&] { return client_.Get(OutlookNameSpace.Get(), L"Offline").AsBool(); });
}

// --- What the user is told ---

namespace {

std::wstring Why(MissCause cause) {
    switch (cause) {
        case MissCause::NoPoll: return L"the computer was asleep, or Horavane was held up";
        case MissCause::OutlookNotRunning: return L"Outlook is not running";
        case MissCause::OutlookFailed: return L"Outlook did not respond or could not send it";
        case MissCause::CallHeld: return L"Outlook's security prompt was waiting for an answer";
        case MissCause::ClockMoved: return L"the clock was set forward past it";
    }
    return {};
}

}  // namespace

OutlookAutomation::Known* OutlookAutomation::KnownEntry(AppointmentView& item) {
    return ValueOr<Known*>(nullptr, [&]() -> Known* {
        const Notices::Appointment a = KnownOf(item).appointment;
        for (Known& k : known_)
            if (!(k.appointment < a) && !(a < k.appointment)) return &k;
        return nullptr;
    });
}

// The entry's minute went by unwatched: told once, with what happens next.
void OutlookAutomation::TellMissed(const Known& k, bool started) {
    const Minute now = MinuteOf(Now());
    const std::optional<MissCause> cause = k.notifyAt < now ? missed_.Missed(k.notifyAt) : std::nullopt;
    if (!cause || *cause == MissCause::ClockMoved) return;  // a minute the clock skipped is due now
    const std::wstring why = Why(*cause);
    const std::wstring what = L"The notification for " + k.appointment.line + L", due at " + k.notifyTime +
                              L", could not be sent: " + why + L".";
    if (started) {
        notices_.SetState(k.appointment, L"not sent, " + why);
        notices_.Tell(k.appointment, Cause::NotSentInItsMinute,
                      what + L" The appointment has started, so it will not be sent.");
    } else {
        notices_.SetState(k.appointment, L"not sent yet, " + why);
        notices_.Tell(k.appointment, Cause::NotSentInItsMinute,
                      what + L" It will be sent as soon as it can be, if that is before the appointment starts.");
    }
    ShowList();
}

void OutlookAutomation::TellOfMissedNotifications() {
    const Minute now = MinuteOf(Now());
    for (const Known& k : known_)
        if (k.notifyAt < now) TellMissed(k, now >= k.appointment.start);
}

void OutlookAutomation::NoteSent(AppointmentView& item, const std::wstring& subject) {
    const Known* k = KnownEntry(item);
    if (!k) return;
    const Notices::Appointment a = k->appointment;
    const std::optional<MissCause> cause = k->notifyAt < MinuteOf(Now()) ? missed_.Missed(k->notifyAt) : std::nullopt;
    if (cause && *cause != MissCause::ClockMoved) {
        const std::wstring at = toolkit::MediumTime(host_.Now());
        notices_.SetState(a, L"sent late at " + at);
        if (!notices_.ToldAbout(a))
            notices_.Tell(a, Cause::SentLate,
                          L"The notification for " + a.line + L", due at " + k->notifyTime + L", was sent late, at " +
                              at + L": " + Why(*cause) + L".");
    }
    outbox_.Handed({a, subject, host_.TickCount()});
    known_.erase(known_.begin() + (k - known_.data()));
    ShowList();
}

// Refused at Outlook's security prompt, or by its policy: final for the day.
void OutlookAutomation::NoteRefused(AppointmentView& item) {
    LogAsHandled(item);
    const Known* k = KnownEntry(item);
    if (!k) return;
    const Notices::Appointment a = k->appointment;
    notices_.SetState(a, L"refused by Outlook");
    notices_.Tell(a, Cause::Refused,
                  L"Outlook refused to send the notification for " + a.line +
                      L" (its security prompt was declined, or its security policy does not allow it). It will not "
                      L"be tried again today.");
    known_.erase(known_.begin() + (k - known_.data()));
    ShowList();
}

bool OutlookAutomation::LookAtOutbox() {
    const auto left = [this](const OutboxWatch::Queued& q) {
        const std::wstring* state = notices_.State(q.appointment);
        if (state && *state == kInOutbox) notices_.SetState(q.appointment, L"");
    };
    const auto overdue = [this](const OutboxWatch::Queued& q) {
        notices_.SetState(q.appointment, kInOutbox);
        notices_.Tell(q.appointment, Cause::WaitingInOutbox,
                      L"The notification for " + q.appointment.line +
                          L" is waiting in Outlook's Outbox: Outlook is working offline or cannot send. It goes out "
                          L"when Outlook can send it.");
    };
    if (outbox_.Empty()) return true;
    const bool looked = outbox_.Look(OutlookNameSpace.Get(), host_.TickCount(), left, overdue);
    ShowList();
    return looked;
}

void OutlookAutomation::WatchWaitingSend() {
    if (!waitingSend_ || host_.TickCount() - waitingSend_->sinceMs < kPromptPatienceMs) return;
    notices_.Tell(waitingSend_->appointment, Cause::WaitingForPrompt,
                  L"Horavane is waiting for an answer to Outlook's security prompt, to send the notification for " +
                      waitingSend_->appointment.line + L". Later notifications follow once it is answered.");
}

}  // namespace hv::outlook
