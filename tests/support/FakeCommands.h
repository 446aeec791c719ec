// Core commands for tests of the windows alone: each call is counted; the switch does what the
// core's does to the store and the menu.
#pragma once
#include <functional>
#include <vector>

#include "ui/ConfigureCommands.h"

namespace hv::test {

class FakeCommands : public ui::ConfigureCommands {
public:
    void ApplyNotifySwitch() override {
        ++applySwitch;
        if (onApplySwitch) onApplySwitch();
    }
    void CheckNotifyAddress() override {
        ++checkAddress;
        if (onCheckAddress) onCheckAddress();
    }
    ui::TestOutcome SendTestMessage() override {
        ++testMessages;
        return testOutcome;
    }
    void RunMenuCommand(ui::MenuCommand c) override { menuCommands.push_back(c); }
    void TrayCallback(UINT m) override { trayCallbacks.push_back(m); }
    void TaskbarCreated() override { ++taskbarCreated; }
    void MainWindowUnloading() override { ++unloading; }
    void ClockChanged() override { ++clockChanged; }
    void PollSoon() override { ++pollSoon; }

    int applySwitch = 0, checkAddress = 0, testMessages = 0, taskbarCreated = 0, unloading = 0, clockChanged = 0,
        pollSoon = 0;
    ui::TestOutcome testOutcome = ui::TestOutcome::Sent;
    std::vector<ui::MenuCommand> menuCommands;
    std::vector<UINT> trayCallbacks;
    std::function<void()> onApplySwitch, onCheckAddress;
};

}  // namespace hv::test
