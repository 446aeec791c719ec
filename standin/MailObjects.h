// MailItem, its Recipients and a Recipient. A mail that was sent is gone: every later call on it,
// its recipient list or its recipients fails, as in Outlook. A message waiting in the Outbox is
// a MailItem too, which can be read but not changed or sent again, and which is gone as soon as
// it has left the Outbox.
#pragma once
#include <memory>
#include <string>
#include <vector>

#include "standin/DispatchObject.h"

namespace standin {

// Recipient.Type: olTo, olCC, olBCC.
inline constexpr long kRecipientTo = 1, kRecipientCc = 2, kRecipientBcc = 3;

struct RecipientState {
    std::wstring name, address;
    long type = kRecipientTo;
    bool resolved = false;
};

struct MailState {
    std::wstring subject, body;
    std::vector<std::shared_ptr<RecipientState>> recipients;
    bool sent = false;       // gone: sent by this item, or delivered from the Outbox
    bool submitted = false;  // an item of the Outbox: read, never changed or sent again
};

class MailObject final : public DispatchObject {
public:
    MailObject(std::shared_ptr<ServerState> server, std::shared_ptr<MailState> mail);

private:
    void Answer(int index, Call& call) override;
    void Send();

    std::shared_ptr<MailState> mail_;
};

class RecipientsObject final : public DispatchObject {
public:
    RecipientsObject(std::shared_ptr<ServerState> server, std::shared_ptr<MailState> mail);

private:
    void Answer(int index, Call& call) override;
    size_t Index(const Call& call) const;

    std::shared_ptr<MailState> mail_;
};

class RecipientObject final : public DispatchObject {
public:
    // `mail` is null for a recipient that belongs to no mail (the current user).
    RecipientObject(std::shared_ptr<ServerState> server, std::shared_ptr<MailState> mail,
                    std::shared_ptr<RecipientState> recipient);

private:
    void Answer(int index, Call& call) override;

    std::shared_ptr<MailState> mail_;
    std::shared_ptr<RecipientState> recipient_;
};

}  // namespace standin
