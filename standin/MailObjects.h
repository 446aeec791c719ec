// MailItem, its Recipients and a Recipient. A mail that was sent is gone: every later call on it,
// its recipient list or its recipients fails, as in Outlook.
#pragma once
#include <memory>
#include <string>
#include <vector>

#include "standin/DispatchObject.h"

namespace standin {

struct RecipientState {
    std::wstring name, address;
    long type = 1;  // To
    bool resolved = false;
};

struct MailState {
    std::wstring subject, body;
    std::vector<std::shared_ptr<RecipientState>> recipients;
    bool sent = false;
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
