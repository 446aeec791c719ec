// The poll timer's rules: what each operation leaves behind, from the states the program reaches.
#include <windows.h>

#include <functional>
#include <vector>

#include <gtest/gtest.h>

#include "core/PollTimer.h"
#include "toolkit/Form.h"

namespace hv::core {
namespace {

class TimerForm : public toolkit::Form {
public:
    TimerForm() : Form(toolkit::FormStyle{}) {}
    toolkit::Timer timer{*this};
};

using Step = std::function<void(PollTimer&)>;
const Step start = [](PollTimer& p) { p.Start(); };
const Step tick = [](PollTimer& p) { p.StopForTick(); };
const Step rearm = [](PollTimer& p) { p.RearmAfterTick(true); };
const Step leaveStopped = [](PollTimer& p) { p.RearmAfterTick(false); };
const Step soon = [](PollTimer& p) { p.PollSoon(); };
const Step forward = [](PollTimer& p) { p.BringForward(); };
const Step now = [](PollTimer& p) { p.PollNow(); };
const Step resume = [](PollTimer& p) { p.ResumeIfStopped(); };
const Step restart = [](PollTimer& p) { p.Restart(); };
const Step about = [](PollTimer& p) { p.HoldForAbout(); };
const Step stop = [](PollTimer& p) { p.Stop(); };

TEST(PollTimer, EachOperationLeavesTheTimerAsItsRuleSays) {
    const struct {
        const char* name;
        std::vector<Step> steps;
        bool running;
        UINT interval;
        bool inTick;
    } rules[] = {
        {"start-up polls every five seconds", {start}, true, 5000, false},
        {"a tick stops the timer at its usual interval", {soon, tick}, false, 5000, true},
        {"re-armed after the tick", {start, tick, rearm}, true, 5000, false},
        {"left stopped after the tick", {start, tick, leaveStopped}, false, 5000, false},
        {"an early poll starts a stopped timer", {start, stop, soon}, true, 500, false},
        {"brought forward, a stopped timer stays stopped", {start, stop, forward}, false, 500, false},
        {"brought forward while running", {start, forward}, true, 500, false},
        {"a poll at once while running", {start, now}, true, USER_TIMER_MINIMUM, false},
        {"no poll at once while stopped", {start, stop, now}, false, 5000, false},
        {"no poll at once during a tick", {start, tick, soon, now}, true, 500, true},
        {"resumed when stopped", {start, stop, resume}, true, 5000, false},
        {"not resumed during a tick", {start, tick, resume}, false, 5000, true},
        {"restarted with the interval it has", {start, forward, stop, restart}, true, 500, false},
        {"held for About", {start, about}, false, 5000, false},
        {"after About, a poll soon", {start, about, soon}, true, 500, false},
    };
    for (const auto& r : rules) {
        TimerForm form;
        PollTimer poll(form.timer);
        for (const Step& step : r.steps) step(poll);
        EXPECT_EQ(form.timer.Enabled(), r.running) << r.name;
        EXPECT_EQ(poll.Running(), r.running) << r.name;
        EXPECT_EQ(form.timer.Interval(), r.interval) << r.name;
        EXPECT_EQ(poll.TickRunning(), r.inTick) << r.name;
    }
}

}  // namespace
}  // namespace hv::core
