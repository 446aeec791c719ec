// What the user is told without opening a window: one balloon on the tray icon per cause and
// appointment, and a status line per affected appointment under the pending list.
#pragma once
#include <functional>
#include <map>
#include <set>
#include <string>
#include <tuple>
#include <utility>

#include "outlook/MissedMinutes.h"

namespace hv::outlook {

// Why the user is told about an appointment. Each is told at most once a day per appointment.
enum class Cause { NotSentInItsMinute, WaitingInOutbox, Refused, SentLate, WaitingForPrompt };

// Shows one balloon; `warning` picks the warning icon over the information icon.
using BalloonShow = std::function<void(const std::wstring& text, bool warning)>;

class Notices {
public:
    explicit Notices(BalloonShow show = nullptr) : show_(std::move(show)) {}
    Notices(const Notices&) = delete;
    Notices& operator=(const Notices&) = delete;

    // The appointment is named by its list line ("10:00 AM - Budget review") and start minute.
    struct Appointment {
        std::wstring line;
        Minute start = 0;
        bool operator<(const Appointment& o) const { return std::tie(start, line) < std::tie(o.start, o.line); }
    };

    // Shows the balloon unless this cause was told for this appointment already; true when shown.
    bool Tell(const Appointment& a, Cause cause, const std::wstring& text);
    // Whether anything was told about the appointment today.
    bool ToldAbout(const Appointment& a) const;
    // The status line of the appointment ("not sent yet, Outlook is not running"); empty removes it.
    void SetState(const Appointment& a, const std::wstring& state);
    const std::wstring* State(const Appointment& a) const;
    // The status lines, each "-- <line>: <state> --" and a line end, in start order.
    std::wstring StatusLines() const;
    // A new day: everything told and every state goes.
    void NewDay();

private:
    BalloonShow show_;
    std::set<std::pair<Appointment, Cause>> told_;
    std::map<Appointment, std::wstring> states_;
};

}  // namespace hv::outlook
