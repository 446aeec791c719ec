// The two ways a failing step is taken in the calendar engine. A failure is whatever a step throws
// as std::exception: above all AutomationError, Outlook's answer to a call, but also a value that
// cannot be converted. What a step throws that is no std::exception passes through.
#pragma once
#include <exception>
#include <utility>

namespace hv::outlook {

// A value that counts as `fallback` when it cannot be evaluated: what `evaluate` returns, or
// `fallback` when it fails.
template <class T, class F>
T ValueOr(T fallback, F&& evaluate) {
    try {
        return std::forward<F>(evaluate)();
    } catch (const std::exception&) { return fallback; }
}

// A step that is skipped when it fails: what it did before the failure stays done, and the next
// step runs.
template <class F>
void SkipOnFailure(F&& step) {
    try {
        std::forward<F>(step)();
    } catch (const std::exception&) {}
}

}  // namespace hv::outlook
