// The poll timer's one owner: every change of its interval or of its running state is one of the
// named operations below, and the flag that keeps ticks from overlapping lives beside it.
#pragma once
#include <windows.h>

#include "toolkit/Controls.h"

namespace hv::core {

class PollTimer {
public:
    static constexpr UINT kEvery = 5000;  // the usual time between two polls
    static constexpr UINT kSoon = 500;    // an early poll
    // SetTimer raises any shorter time-out to USER_TIMER_MINIMUM, and an interval of 0 stops a
    // toolkit timer: this is the soonest a poll can be asked for.
    static constexpr UINT kNow = USER_TIMER_MINIMUM;

    explicit PollTimer(toolkit::Timer& timer) : timer_(timer) {}
    PollTimer(const PollTimer&) = delete;
    PollTimer& operator=(const PollTimer&) = delete;

    bool Running() const { return timer_.Enabled(); }
    bool TickRunning() const { return tickRunning_; }

    // Start-up: a poll every five seconds from now on.
    void Start();
    // A tick begins: the timer stands still until the tick ends, and its next countdown is the
    // usual one. No other tick starts meanwhile.
    void StopForTick();
    // The tick has ended; `again` arms the timer for the next one.
    void RearmAfterTick(bool again);
    // Starts the countdown again from now, with the interval the timer has.
    void Restart();
    // The next poll in half a second, the timer started if it was stopped.
    void PollSoon();
    // The next poll in half a second if the timer runs; a stopped timer stays stopped.
    void BringForward();
    // The next poll at once, if the timer runs and no tick is under way.
    void PollNow();
    // Starts a timer that stands still outside a tick (the switch left it stopped).
    void ResumeIfStopped();
    // No poll while the About window comes up, nor while Exit waits for the Outbox.
    void HoldForAbout() { Stop(); }
    void Stop();

private:
    toolkit::Timer& timer_;
    bool tickRunning_ = false;
};

}  // namespace hv::core
