// The application object: owns every module's state for the run and wires the modules together.
// It brings the program up (Main), runs the poll cycle, the notification switch, the tray icon
// and its menu, help and About, and shuts everything down.
#pragma once
#include <memory>
#include <optional>

#include "core/PollTimer.h"
#include "core/ShellLaunch.h"
#include "outlook/MessageFilter.h"
#include "outlook/OutlookAutomation.h"
#include "tray/TrayIcon.h"
#include "ui/ConfigureForm.h"
#include "ui/QForm.h"
#include "ui/SplashCommands.h"
#include "ui/SplashForm.h"
#include "toolkit/Host.h"
#include "toolkit/UniqueHandle.h"

namespace hv::core {

// The connections to the outside that tests replace.
struct Platform {
    explicit Platform(toolkit::Host& h) : host(h) {}
    toolkit::Host& host;
    outlook::ApplicationFactory outlookFactory = outlook::CreateOutlookApplication;
    outlook::ApplicationFactory outlookAttach = outlook::AttachToOutlook;
    outlook::ProcessTest outlookRuns = outlook::OutlookProcessRuns;
    tray::ShellNotify trayShell = tray::TrayIcon::DefaultShell();
    ShellPlatform* shell = nullptr;  // null: the real shell
    std::wstring instanceName;       // empty: one instance per user of this program
};

class App : public ui::ConfigureCommands, public ui::SplashCommands {
public:
    explicit App(Platform platform);
    App(const App&) = delete;
    App& operator=(const App&) = delete;
    ~App() override;

    // Start-up. Returns false when the program must end at once: another copy is running, or
    // Outlook could not be opened (after telling the user).
    bool Main();

    // The poll cycle: one tick of the poll timer.
    void tmrChkCalEvents_Timer();
    // The notification switch.
    void ApplyNotifySwitch() override;
    void CheckNotifyAddress() override;
    void mnuEnableEmailNotification_Click();
    void RefreshTrayState();
    // Help and About.
    void mnuHelpContents_Click();
    void mnuHelpAbout_Click();

    // 16-bit run-state flags (true = -1).
    VARIANT_BOOL Initializing = VARIANT_FALSE;
    VARIANT_BOOL AboutShowing = VARIANT_FALSE;

    ui::ConfigureForm& frmConfigure() { return frmConfigure_; }
    ui::QForm& frmQ() { return frmQ_; }
    ui::SplashForm& frmSplash() { return frmSplash_; }
    outlook::OutlookAutomation& Outlook() { return outlook_; }
    tray::TrayIcon& Tray() { return tray_; }
    // True once shutdown has run: nothing touches the windows any more.
    bool ShutDown() const { return shutDown_; }

    // ConfigureCommands
    ui::TestOutcome SendTestMessage() override;
    void RunMenuCommand(ui::MenuCommand command) override;
    void TrayCallback(UINT mouseMessage) override;
    void TaskbarCreated() override;
    void MainWindowUnloading() override;
    void ClockChanged() override;
    void PollSoon() override;
    // SplashCommands
    void SplashClosed() override;
    void OpenWebPage() override;
    HICON Logo(int pixels) override;

private:
    void KeepTrayIconShown();
    bool StartUp();
    bool AnotherInstanceRunning();
    bool TickSkipped();
    void RunPollTick();
    bool RunTick();
    void ExitChosen();
    bool OutboxToWaitFor() const;
    void Shutdown(bool endMessageLoop);
    void WaitForTheOutbox();
    std::wstring TrayTooltip(const wchar_t* state) const;

    toolkit::Host& host_;
    std::unique_ptr<ShellPlatform> ownShell_;
    ShellPlatform& shell_;
    ui::ConfigureForm frmConfigure_;
    ui::QForm frmQ_;
    ui::SplashForm frmSplash_;
    outlook::OutlookAutomation outlook_;
    outlook::BusyRetryFilter busyFilter_;
    std::optional<outlook::MessageFilterRegistration> busyFilterRegistration_;
    tray::TrayIcon tray_;
    PollTimer poll_;
    std::wstring instanceName_;
    toolkit::UniqueKernelHandle instanceMutex_;
    toolkit::UniqueIcon logo_;
    int logoPixels_ = 0;
    std::optional<SYSTEMTIME> switchedOffAt_;      // the poll timer stopped with notification off
    std::optional<ULONGLONG> exitAfterTickSince_;  // Exit chosen inside a poll, which ends first
    bool exiting_ = false;                         // Exit waits for the Outbox
    bool started_ = false;
    bool shutDown_ = false;
};

}  // namespace hv::core
