#include "standin/MailObjects.h"

#include <windows.h>
#include <objbase.h>

#include <cstdio>
#include <stdexcept>

#include "standin/LocalZone.h"
#include "standin/MailMessage.h"
#include "standin/Outbox.h"
#include "standin/ServerState.h"

namespace standin {
namespace {

constexpr long kTo = kRecipientTo, kCc = kRecipientCc, kBcc = kRecipientBcc;

// An Outbox item that has been sent meanwhile has left the folder. The pages say nothing of an
// item object whose message has moved on; read strictly, it no longer answers, as a mail item
// that was sent does not.
void FailIfSent(const std::shared_ptr<MailState>& mail) {
    if (mail && mail->sent) FailCall(L"The item has been moved or deleted.");
}

// A submitted message waits in the Outbox as it was sent ("MailItem.Submitted property
// (Outlook)": "A message is always created and submitted in a folder, usually the Outbox."). The
// pages do not say what changing it does; read strictly, it cannot be changed or sent again.
void FailIfSubmitted(const std::shared_ptr<MailState>& mail) {
    if (mail && mail->submitted) FailCall(L"The item has already been sent.");
}

std::string NewMessageId() {
    GUID guid{};
    ::CoCreateGuid(&guid);
    char text[64];
    std::snprintf(text, sizeof text, "%08lx.%04x%04x.%02x%02x%02x%02x%02x%02x%02x%02x@standin.invalid",
                  static_cast<unsigned long>(guid.Data1), guid.Data2, guid.Data3, guid.Data4[0], guid.Data4[1],
                  guid.Data4[2], guid.Data4[3], guid.Data4[4], guid.Data4[5], guid.Data4[6], guid.Data4[7]);
    return text;
}

void CurrentTime(Ticks& local, Ticks& offset) {
    FILETIME now;
    ::GetSystemTimeAsFileTime(&now);
    const Ticks utc =
        static_cast<Ticks>((static_cast<ULONGLONG>(now.dwHighDateTime) << 32 | now.dwLowDateTime) / 10000000ull);
    local = SystemLocalZone().UtcToLocal(utc);
    offset = local - utc;
}

}  // namespace

// ---- MailItem ----

MailObject::MailObject(std::shared_ptr<ServerState> server, std::shared_ptr<MailState> mail)
    : DispatchObject(std::move(server), kinds::kMail), mail_(std::move(mail)) {}

void MailObject::Answer(int index, Call& call) {
    using M = kinds::Mail;
    FailIfSent(mail_);
    switch (static_cast<M>(index)) {
        case M::Subject:
            if (call.IsPut()) {
                FailIfSubmitted(mail_);
                mail_->subject = call.PutText();
            } else {
                call.ReturnText(mail_->subject);
            }
            break;
        case M::Body:
            if (call.IsPut()) {
                FailIfSubmitted(mail_);
                mail_->body = call.PutText();
            } else {
                call.ReturnText(mail_->body);
            }
            break;
        case M::Recipients: call.ReturnObject(Make<RecipientsObject>(mail_)); break;
        case M::To: {
            std::wstring names;
            for (const auto& r : mail_->recipients) {
                if (r->type != kTo) continue;
                names += (names.empty() ? L"" : L"; ") + r->name;
            }
            call.ReturnText(names);
            break;
        }
        case M::Send: Send(); break;
        case M::Class: call.ReturnNumber(static_cast<long>(ObjectClass::Mail)); break;
    }
}

void MailObject::Send() {
    FailIfSubmitted(mail_);
    constexpr wchar_t kUnresolved[] = L"Outlook does not recognize one or more names.";
    if (mail_->recipients.empty()) FailCall(kUnresolved);
    OutgoingMessage message;
    for (const auto& r : mail_->recipients) {
        if (!r->resolved) FailCall(kUnresolved);
        if (r->type == kTo) message.to.push_back(r->address);
        if (r->type == kCc) message.cc.push_back(r->address);
    }
    message.fromName = Server().Settings().currentUser;
    message.fromAddress = Server().UserAddress();
    message.subject = mail_->subject;
    message.body = mail_->body;
    CurrentTime(message.localTime, message.utcOffset);
    message.messageId = NewMessageId();
    try {
        Server().Deliver(ComposeMessage(message));
    } catch (const std::runtime_error& e) {
        std::string what = e.what();
        FailCall(L"The message could not be sent. " + std::wstring(what.begin(), what.end()) + L".");
    }
    mail_->sent = true;
}

// ---- Recipients ----

RecipientsObject::RecipientsObject(std::shared_ptr<ServerState> server, std::shared_ptr<MailState> mail)
    : DispatchObject(std::move(server), kinds::kRecipients), mail_(std::move(mail)) {}

size_t RecipientsObject::Index(const Call& call) const {
    const long i = call.Number(0);
    if (i < 1 || static_cast<size_t>(i) > mail_->recipients.size()) FailCall(L"Array index out of bounds.");
    return static_cast<size_t>(i - 1);
}

void RecipientsObject::Answer(int index, Call& call) {
    using M = kinds::Recipients;
    FailIfSent(mail_);
    switch (static_cast<M>(index)) {
        case M::Count: call.ReturnNumber(static_cast<long>(mail_->recipients.size())); break;
        case M::Item: call.ReturnObject(Make<RecipientObject>(mail_, mail_->recipients[Index(call)])); break;
        case M::Add: {
            FailIfSubmitted(mail_);
            auto recipient = std::make_shared<RecipientState>();
            recipient->name = call.Text(0);
            mail_->recipients.push_back(recipient);
            call.ReturnObject(Make<RecipientObject>(mail_, std::move(recipient)));
            break;
        }
        case M::Remove: {
            FailIfSubmitted(mail_);
            const size_t i = Index(call);
            mail_->recipients.erase(mail_->recipients.begin() + static_cast<std::ptrdiff_t>(i));
            break;
        }
        case M::Class: call.ReturnNumber(static_cast<long>(ObjectClass::Recipients)); break;
    }
}

// ---- Recipient ----

RecipientObject::RecipientObject(std::shared_ptr<ServerState> server, std::shared_ptr<MailState> mail,
                                 std::shared_ptr<RecipientState> recipient)
    : DispatchObject(std::move(server), kinds::kRecipient), mail_(std::move(mail)), recipient_(std::move(recipient)) {}

void RecipientObject::Answer(int index, Call& call) {
    using M = kinds::Recipient;
    FailIfSent(mail_);
    RecipientState& r = *recipient_;
    switch (static_cast<M>(index)) {
        case M::Name: call.ReturnText(r.name); break;
        case M::Address: call.ReturnText(r.address); break;
        case M::Type:
            if (!call.IsPut()) {
                call.ReturnNumber(r.type);
            } else {
                FailIfSubmitted(mail_);
                const long type = call.PutNumber();
                if (type != kTo && type != kCc && type != kBcc) {
                    FailCall(L"Could not complete the operation. One or more parameter values are not valid.");
                }
                r.type = type;
            }
            break;
        case M::Resolve:
            if (!r.resolved && IsPlainMailAddress(r.name)) {
                r.resolved = true;
                r.address = r.name;
            }
            call.ReturnFlag(r.resolved);
            break;
        case M::Resolved: call.ReturnFlag(r.resolved); break;
        case M::Class: call.ReturnNumber(static_cast<long>(ObjectClass::Recipient)); break;
    }
}

}  // namespace standin
