#include "outlook/Notices.h"

namespace hv::outlook {

bool Notices::Tell(const Appointment& a, Cause cause, const std::wstring& text) {
    if (!told_.emplace(a, cause).second) return false;
    if (show_) show_(text, cause != Cause::SentLate);
    return true;
}

bool Notices::ToldAbout(const Appointment& a) const {
    const auto first = told_.lower_bound({a, Cause::NotSentInItsMinute});
    return first != told_.end() && !(a < first->first) && !(first->first < a);
}

void Notices::SetState(const Appointment& a, const std::wstring& state) {
    if (state.empty())
        states_.erase(a);
    else
        states_[a] = state;
}

const std::wstring* Notices::State(const Appointment& a) const {
    const auto found = states_.find(a);
    return found == states_.end() ? nullptr : &found->second;
}

std::wstring Notices::StatusLines() const {
    std::wstring lines;
    for (const auto& [a, state] : states_) lines += L"-- " + a.line + L": " + state + L" --\r\n";
    return lines;
}

void Notices::NewDay() {
    told_.clear();
    states_.clear();
}

}  // namespace hv::outlook
