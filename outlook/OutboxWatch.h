// The notifications handed to Outlook that may still wait in its Outbox. Outlook's Send only
// queues a message: it leaves the Outbox when Outlook delivers it, which an Outlook working
// offline, or one that cannot reach its server, does not do.
#pragma once
#include <functional>
#include <string>
#include <vector>

#include "outlook/Automation.h"
#include "outlook/Notices.h"

namespace hv::outlook {

class OutboxWatch {
public:
    // How long a notification may wait in the Outbox before the user is told.
    static constexpr ULONGLONG kPatienceMs = 2 * 60 * 1000;

    struct Queued {
        Notices::Appointment appointment;
        std::wstring subject;  // the message's subject line, which finds it in the Outbox
        ULONGLONG handedAtMs;  // when Send queued it
        bool overdueTold = false;
    };

    explicit OutboxWatch(AutomationClient& client) : client_(client) {}
    OutboxWatch(const OutboxWatch&) = delete;
    OutboxWatch& operator=(const OutboxWatch&) = delete;

    void Handed(Queued queued) { queued_.push_back(std::move(queued)); }
    bool Empty() const { return queued_.empty(); }

    // One look at the Outbox of `nameSpace`: nothing while nothing is queued, else the folder's
    // Items and their Count, and the items' subjects only when the count changed or a message has
    // waited its patience. `left` hears of each message that has left, `overdue` of each that
    // waited longer than the patience (once). A failing call ends the look with false; the next
    // one tries again.
    bool Look(IDispatch* nameSpace, ULONGLONG nowMs, const std::function<void(const Queued&)>& left,
              const std::function<void(const Queued&)>& overdue);
    // The session is gone: the folder is let go of; what is queued stays queued in Outlook.
    void ForgetFolder();
    // A new day: what was queued yesterday is no longer watched.
    void Clear() { queued_.clear(); }

private:
    std::vector<std::wstring> QueuedSubjects(IDispatch* items, long count);

    AutomationClient& client_;
    Dispatch outbox_;
    long lastCount_ = -1;
    std::vector<Queued> queued_;
};

}  // namespace hv::outlook
