// Which minutes the program watched. A notification whose minute passed while the program ran but
// could not look at the calendar or send (the computer asleep, the process held, Outlook not
// running, out of reach or busy, a call held by Outlook's security prompt) is owed: it is sent late
// at the first poll that can, while its appointment has not started. Minutes in which the
// program's own windows or message boxes held the poll, or notification was switched off, count as
// watched: nothing is owed for them.
#pragma once
#include <windows.h>
#include <oleauto.h>

#include <map>
#include <optional>

namespace hv::outlook {

// A minute of local wall-clock time, counted from the zero of DATE values (30 December 1899).
// The clock is compared as the user reads it: on the day the clocks go back a minute comes twice,
// and on the day they go forward the skipped minutes are never watched.
using Minute = long long;
Minute MinuteOf(const SYSTEMTIME& time);
Minute MinuteOf(DATE time);
// The first minute of the day `m` lies in.
Minute DayStartOf(Minute m);

// Why a minute went unwatched.
enum class MissCause {
    NoPoll,             // no poll came in it: the computer slept, or the process was held
    OutlookNotRunning,  // Outlook was not running, or out of reach
    OutlookFailed,      // Outlook was busy, or a call or a send failed
    CallHeld,           // a call waited the minute through (Outlook's security prompt)
    ClockMoved,         // the clock skipped it: the day the clocks go forward, or set forward
};

class MissedMinutes {
public:
    // A poll or a skipped tick came in `now`; the first one marks where watching began.
    void Looked(Minute now);
    // The minutes from `from` to `to` (both included) were watched, or held by the user.
    void Watched(Minute from, Minute to);
    // A poll in `m` could not do its work; a minute already watched stays watched.
    void Failed(Minute m, MissCause cause);
    // Why `m` went unwatched, or nothing when it was watched or came before the first look.
    std::optional<MissCause> Missed(Minute m) const;
    // Forgets the minutes before `m`.
    void ForgetBefore(Minute m);

private:
    std::optional<Minute> since_;
    std::map<Minute, std::optional<MissCause>> minutes_;  // nothing: watched
};

}  // namespace hv::outlook
