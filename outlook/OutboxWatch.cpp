#include "outlook/OutboxWatch.h"

#include <algorithm>

namespace hv::outlook {
namespace {

constexpr int kFolderOutbox = 4;  // olFolderOutbox

}  // namespace

// Only subjects are read: an item's recipients (To) are protected by Outlook's object-model guard
// ("Protected Properties and Methods"), and reading them could prompt the user at every look.
std::vector<std::wstring> OutboxWatch::QueuedSubjects(IDispatch* items, long count) {
    std::vector<std::wstring> subjects;
    for (long i = 1; i <= count; ++i) {
        Dispatch item = client_.Call(items, L"Item", {static_cast<int>(i)}).AsDispatch();
        subjects.push_back(client_.Get(item.Get(), L"Subject").AsString());
    }
    return subjects;
}

bool OutboxWatch::Look(IDispatch* nameSpace, ULONGLONG nowMs, const std::function<void(const Queued&)>& left,
                       const std::function<void(const Queued&)>& overdue) {
    if (queued_.empty()) return true;
    if (!nameSpace) return false;
    try {
        if (!outbox_) outbox_ = client_.Call(nameSpace, L"GetDefaultFolder", {kFolderOutbox}).AsDispatch();
        // The folder's Items afresh at each look: a collection read once may not show what left.
        Dispatch items = client_.Get(outbox_.Get(), L"Items").AsDispatch();
        const long count = client_.Get(items.Get(), L"Count").AsLong();
        const bool due = std::any_of(queued_.begin(), queued_.end(), [&](const Queued& q) {
            return !q.overdueTold && nowMs - q.handedAtMs >= kPatienceMs;
        });
        if (count > 0 && count == lastCount_ && !due) return true;
        std::vector<std::wstring> subjects =
            count > 0 ? QueuedSubjects(items.Get(), count) : std::vector<std::wstring>{};
        lastCount_ = count;
        std::vector<Queued> still;
        for (Queued& q : queued_) {
            const auto found = std::find(subjects.begin(), subjects.end(), q.subject);
            if (found == subjects.end()) {
                left(q);
                continue;
            }
            subjects.erase(found);  // two notifications of one subject are two items
            if (!q.overdueTold && nowMs - q.handedAtMs >= kPatienceMs) {
                q.overdueTold = true;
                overdue(q);
            }
            still.push_back(std::move(q));
        }
        queued_ = std::move(still);
        return true;
    } catch (const AutomationError&) {
        ForgetFolder();
        return false;
    }
}

void OutboxWatch::ForgetFolder() {
    outbox_.Reset();
    lastCount_ = -1;
}

}  // namespace hv::outlook
