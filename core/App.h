// The application object: owns every module's state for the run and wires the modules together.
#pragma once
#include "ui/ConfigureForm.h"
#include "ui/toolkit/Host.h"

namespace hv::core {

class App : public ui::ConfigureCommands {
public:
    explicit App(ui::Host& host);
    App(const App&) = delete;
    App& operator=(const App&) = delete;
    ~App() override;

    // Brings the program up; returns false when it must end at once.
    bool Main();

    ui::ConfigureForm& frmConfigure() { return frmConfigure_; }

    // ConfigureCommands
    void ApplyNotifySwitch() override;
    void CheckNotifyAddress() override;
    bool SendTestMessage() override;
    void RunMenuCommand(ui::MenuCommand command) override;
    void TrayCallback(UINT mouseMessage) override;
    void TaskbarCreated() override;
    void MainWindowUnloading() override;

private:
    ui::Host& host_;
    ui::ConfigureForm frmConfigure_;
};

}  // namespace hv::core
