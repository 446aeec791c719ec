#include "core/PollTimer.h"

namespace hv::core {

// The toolkit timer restarts its countdown whenever it is enabled, or its interval set while it
// is enabled: each operation below sets only what it means to change.

void PollTimer::Start() {
    timer_.SetInterval(kEvery);
    timer_.SetEnabled(true);
}

void PollTimer::StopForTick() {
    tickRunning_ = true;
    timer_.SetInterval(kEvery);
    timer_.SetEnabled(false);
}

void PollTimer::RearmAfterTick(bool again) {
    tickRunning_ = false;
    if (again) timer_.SetEnabled(true);
}

void PollTimer::Restart() { timer_.SetEnabled(true); }

void PollTimer::PollSoon() {
    timer_.SetInterval(kSoon);
    timer_.SetEnabled(true);
}

void PollTimer::BringForward() { timer_.SetInterval(kSoon); }

void PollTimer::PollNow() {
    if (!tickRunning_ && timer_.Enabled()) timer_.SetInterval(kNow);
}

void PollTimer::ResumeIfStopped() {
    if (!tickRunning_ && !timer_.Enabled()) timer_.SetEnabled(true);
}

void PollTimer::Stop() { timer_.SetEnabled(false); }

}  // namespace hv::core
