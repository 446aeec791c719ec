#include "core/App.h"

#include "core/SingleInstance.h"
#include "resources/resource.h"
#include "resources/version.h"
#include "toolkit/AnsiText.h"
#include "toolkit/DateForms.h"
#include "toolkit/ScopeExit.h"
#include "toolkit/VersionInfo.h"

namespace hv::core {
namespace {

constexpr UINT kTrayRetry = 1000;
constexpr UINT kCallWatch = 1000;
// How long Exit waits for a notification to leave the Outbox of an Outlook this program started.
constexpr ULONGLONG kOutboxWaitMs = 30000;
constexpr DWORD kOutboxLookMs = 1000;
constexpr DWORD kHoldAfterSession = 3000;
constexpr DWORD kHoldSplash = 4000;
constexpr int kActivePicture = 2;
constexpr int kInactivePicture = 3;
constexpr wchar_t kHelpFile[] = L"HvaneHelp.chm";
// The tray record names the message the main window listens to.
static_assert(tray::kCallbackMessage == ui::kTrayCallbackMessage);

}  // namespace

App::App(Platform platform)
    : host_(platform.host),
      ownShell_(platform.shell ? nullptr : std::make_unique<ShellPlatform>()),
      shell_(platform.shell ? *platform.shell : *ownShell_),
      frmConfigure_(host_, *this),
      frmQ_(host_),
      frmSplash_(*this),
      outlook_(
          host_, frmConfigure_, [this](const std::wstring& text) { frmQ_.txtQ.SetText(text); },
          std::move(platform.outlookFactory), std::move(platform.outlookAttach), std::move(platform.outlookRuns)),
      busyFilter_([this](DWORD elapsedMs) { return outlook_.Client().PatienceLeftMs(elapsedMs); }),
      tray_(std::move(platform.trayShell)),
      poll_(frmConfigure_.tmrChkCalEvents),
      instanceName_(std::move(platform.instanceName)) {
    frmConfigure_.tmrChkCalEvents.onTick = [this] { tmrChkCalEvents_Timer(); };
    frmConfigure_.tmrTrayRetry.onTick = [this] {
        if (!shutDown_) tray_.Readd();
        KeepTrayIconShown();
    };
    frmConfigure_.tmrCallWatch.onTick = [this] {
        if (shutDown_) return;
        outlook_.WatchWaitingSend();
        // A poll held past Exit's wait for the Outbox (a prompt nobody answers) is left where it is.
        if (exitAfterTickSince_ && host_.TickCount() - *exitAfterTickSince_ >= kOutboxWaitMs) frmConfigure_.Unload();
    };
    outlook_.ShowBalloonsWith([this](const std::wstring& text, bool warning) {
        if (!shutDown_) tray_.ShowBalloon(toolkit::ReadVersionInfo().productName, text, warning);
    });
}

App::~App() { Shutdown(false); }

// --- Start-up and shutdown ---

bool App::AnotherInstanceRunning() {
    InstanceClaim claim = ClaimInstance(instanceName_.empty() ? DefaultInstanceName() : instanceName_);
    instanceMutex_ = std::move(claim.mutex);
    return claim.anotherRunning;
}

bool App::Main() {
    outlook_.LastScanDate = toolkit::ShortDate(host_.Now());
    if (!StartUp()) return false;
    tray_.UpdateTray(frmConfigure_.Hwnd(), frmConfigure_.Picture(kActivePicture),
                     toolkit::ReadVersionInfo().productName + L" (Active)");
    KeepTrayIconShown();
    frmConfigure_.tmrCallWatch.SetInterval(kCallWatch);
    frmConfigure_.tmrCallWatch.SetEnabled(true);
    started_ = true;
    toolkit::LetPendingMessagesRun();
    return !shutDown_;
}

// Start-up up to the first poll: the windows, the session, the splash and the stored switch.
// Ticks meanwhile are skipped.
bool App::StartUp() {
    Initializing = VARIANT_TRUE;
    const toolkit::ScopeExit initialized([this] { Initializing = VARIANT_FALSE; });
    AboutShowing = VARIANT_FALSE;
    if (AnotherInstanceRunning()) return false;

    frmConfigure_.Settings().LoadSettings();
    frmConfigure_.Load();
    frmQ_.Load();
    frmSplash_.Show();
    frmConfigure_.Hide();
    // Exit may arrive at every point where pending messages run (the installer sends it): start-up
    // then ends there.
    toolkit::LetPendingMessagesRun();
    if (shutDown_) return false;

    busyFilterRegistration_.emplace(&busyFilter_);  // a busy Outlook is waited for
    const std::wstring session = outlook_.OpenOutlookSession();
    if (shutDown_) return false;
    if (session == outlook::OutlookAutomation::kNothing) {
        frmConfigure_.Unload();
        host_.ShowMessage(nullptr, L"Failed to open Outlook.", MB_OK | MB_ICONEXCLAMATION,
                          toolkit::ReadVersionInfo().productName);
        return false;
    }
    toolkit::LetPendingMessagesRun();
    if (shutDown_) return false;
    host_.Sleep(kHoldAfterSession);
    toolkit::LetPendingMessagesRun();
    if (shutDown_) return false;
    poll_.Start();

    frmSplash_.Show();
    toolkit::LetPendingMessagesRun();
    if (shutDown_) return false;
    host_.Sleep(kHoldSplash);
    frmSplash_.Hide();

    if (frmConfigure_.Address().empty()) {
        frmConfigure_.Show();
        CheckNotifyAddress();
    }
    if (shutDown_) return false;  // the user chose Exit while the message was up
    frmConfigure_.Settings().SaveSettings();
    ApplyNotifySwitch();
    poll_.Restart();
    return true;
}

void App::MainWindowUnloading() {
    WaitForTheOutbox();
    Shutdown(true);
}

// An Outlook that this program started ends when the program lets go of it, and a notification
// still in its Outbox would wait there until Outlook runs again: Exit gives it up to 30 seconds
// to leave, the tray menu still answering.
bool App::OutboxToWaitFor() const {
    return started_ && !shutDown_ && outlook_.StartedOutlook() && outlook_.OutboxHoldsNotifications();
}

void App::WaitForTheOutbox() {
    if (exiting_ || poll_.TickRunning() || !OutboxToWaitFor()) return;
    exiting_ = true;
    const toolkit::ScopeExit done([this] { exiting_ = false; });
    poll_.Stop();
    const ULONGLONG first = host_.TickCount();
    // An Outbox that cannot be read is not waited for.
    bool looked = outlook_.LookAtOutbox();
    while (looked && outlook_.OutboxHoldsNotifications() && !shutDown_ && host_.TickCount() - first < kOutboxWaitMs) {
        host_.Sleep(kOutboxLookMs);
        toolkit::LetPendingMessagesRun();
        looked = outlook_.LookAtOutbox();
    }
}

void App::Shutdown(bool endMessageLoop) {
    // Runs when the main window unloads and again when the application object goes; every step
    // is harmless the second time.
    const bool first = !shutDown_;
    shutDown_ = true;
    tray_.Delete();
    if (first) toolkit::LetPendingMessagesRun();
    outlook_.CloseOutlookSession();
    busyFilterRegistration_.reset();
    frmConfigure_.Unload();
    frmSplash_.Unload();
    frmQ_.Unload();
    if (first && started_ && endMessageLoop) ::PostQuitMessage(0);
}

// --- Poll cycle ---

bool App::TickSkipped() {
    return frmConfigure_.Visible() || frmConfigure_.mnuPopUpMenu.Visible() || Initializing != VARIANT_FALSE ||
           frmSplash_.Visible() || frmConfigure_.Address().empty();
}

void App::tmrChkCalEvents_Timer() {
    if (poll_.TickRunning() || shutDown_) return;  // ticks never overlap, and none runs after shutdown
    RunPollTick();
    if (exitAfterTickSince_ && !shutDown_) frmConfigure_.Unload();  // Exit chosen during the tick
}

// One tick: its work, then the timer armed again.
void App::RunPollTick() {
    poll_.StopForTick();
    bool skipped = false;
    // Whatever happens inside the tick, it ends here and the timer is armed again by the usual
    // rule: a skipped tick always, a full one while notification is on.
    const toolkit::ScopeExit rearm([&] {
        const bool again = !shutDown_ && (skipped || frmConfigure_.NotifyOn());
        poll_.RearmAfterTick(again);
        if (!again && !shutDown_) switchedOffAt_ = host_.Now();
    });
    // The minutes the timer stood still with notification switched off were the user's choice.
    if (switchedOffAt_) outlook_.HeldByTheUser(*switchedOffAt_);
    switchedOffAt_.reset();
    try {
        skipped = !RunTick();
    } catch (...) {
        // An unexpected failure (a date the system cannot format, no memory left) ends this tick
        // only; the next one tries again.
    }
}

// The tick's work; false when it was skipped.
bool App::RunTick() {
    if (AboutShowing == VARIANT_FALSE) {
        frmSplash_.Load();
        frmSplash_.Hide();
    }
    if (TickSkipped()) {
        // Outlook is still looked for, so that the Test button finds one started meanwhile.
        outlook_.WatchForOutlook();
        return false;
    }
    outlook_.Poll([this] { return shutDown_ || exitAfterTickSince_.has_value(); });
    return true;
}

// The clock may have jumped (the computer woke from sleep, the system time or the time zone
// changed): the next poll comes at once instead of at the end of its five seconds. A tick that runs
// sets its own next time, and a timer that is stopped (the switch off, start-up, shutdown) stays so.
void App::ClockChanged() {
    if (shutDown_ || Initializing != VARIANT_FALSE) return;
    poll_.PollNow();
}

void App::PollSoon() { poll_.PollSoon(); }

// --- Notification switch ---

std::wstring App::TrayTooltip(const wchar_t* state) const {
    const toolkit::VersionInfo v = toolkit::ReadVersionInfo();
    return v.companyName + L" " + v.productName + L" (" + state + L")";
}

void App::RefreshTrayState() {
    if (frmConfigure_.NotifyOn())
        tray_.Modify(frmConfigure_.Picture(kActivePicture), TrayTooltip(L"Active"));
    else
        tray_.Modify(frmConfigure_.Picture(kInactivePicture), TrayTooltip(L"Inactive"));
}

void App::ApplyNotifySwitch() {
    auto& f = frmConfigure_;
    const bool on = f.NotifyOn();
    f.Settings().Store(settings::kCEEnabled);
    RefreshTrayState();
    poll_.BringForward();
    // Switching on resumes a poll timer that a tick left stopped while the switch was off.
    if (on && Initializing == VARIANT_FALSE && !shutDown_) poll_.ResumeIfStopped();
    tray_.Notify();
}

void App::CheckNotifyAddress() {
    auto& f = frmConfigure_;
    if (f.Address().empty() && f.NotifyOn()) {
        const int answer = host_.ShowMessage(
            f.Visible() ? f.Hwnd() : nullptr,
            L"Horavane can not enable the notification option.\r\nPlease enter the notification email address.",
            MB_OKCANCEL | MB_ICONINFORMATION, toolkit::ReadVersionInfo().productName);
        if (answer == IDCANCEL && !shutDown_) f.SetValue(settings::kCEEnabled, 0);
    }
    if (!shutDown_) f.Settings().Store(settings::kEmailAddress);
}

void App::mnuEnableEmailNotification_Click() {
    auto& f = frmConfigure_;
    f.SetValue(settings::kCEEnabled, f.Value(settings::kCEEnabled) ^ 1);
    ApplyNotifySwitch();
    if (f.Address().empty() && f.NotifyOn()) {
        f.Show();
        CheckNotifyAddress();
    }
}

// --- Test message ---

ui::TestOutcome App::SendTestMessage() {
    const outlook::SendResult result = outlook_.SendNotification(0);
    if (shutDown_) return ui::TestOutcome::NotSent;  // Exit came while the message waited
    if (result == outlook::SendResult::Failed || result == outlook::SendResult::Denied)
        host_.ShowMessage(frmConfigure_.Visible() ? frmConfigure_.Hwnd() : nullptr,
                          L"The test message could not be sent.\r\n" + outlook_.LastSendFailure(),
                          MB_OK | MB_ICONEXCLAMATION, toolkit::ReadVersionInfo().productName);
    if (result != outlook::SendResult::Sent) return ui::TestOutcome::NotSent;
    // Sent means queued: an Outlook that works offline keeps it in its Outbox.
    return outlook_.OutlookOffline() ? ui::TestOutcome::Queued : ui::TestOutcome::Sent;
}

// --- Tray callback and menu ---

void App::TrayCallback(UINT mouseMessage) {
    if (shutDown_) return;
    switch (tray::DecodeTrayCallback(mouseMessage)) {
        case tray::TrayAction::ToggleNotification: mnuEnableEmailNotification_Click(); break;
        case tray::TrayAction::ShowMenu:
            // The menu only closes properly when a click lands elsewhere if its owner is the
            // foreground window, even though the owner is hidden.
            ::SetForegroundWindow(frmConfigure_.Hwnd());
            frmConfigure_.mnuPopUpMenu.TrackAtPointer(frmConfigure_.Hwnd());
            break;
        case tray::TrayAction::None: break;
    }
}

void App::RunMenuCommand(ui::MenuCommand command) {
    if (shutDown_) return;
    switch (command) {
        case ui::MenuCommand::Configure: frmConfigure_.Show(); break;
        case ui::MenuCommand::EnableEmailNotification: mnuEnableEmailNotification_Click(); break;
        case ui::MenuCommand::ViewPending: frmQ_.Show(); break;
        case ui::MenuCommand::HelpContents: mnuHelpContents_Click(); break;
        case ui::MenuCommand::HelpAbout: mnuHelpAbout_Click(); break;
        case ui::MenuCommand::Exit: ExitChosen(); break;
    }
}

// The menu answers while a poll waits on Outlook. Exit chosen then ends the program at once,
// unless a notification is in the Outbox of an Outlook this program started (the poll may have
// just handed it over): the poll ends first, sending nothing more, and Exit then waits for the
// Outbox as usual.
void App::ExitChosen() {
    if (poll_.TickRunning() && OutboxToWaitFor()) {
        if (!exitAfterTickSince_) exitAfterTickSince_ = host_.TickCount();
        return;
    }
    frmConfigure_.Unload();
}

void App::TaskbarCreated() {
    // The shell's task bar was re-created (Explorer restarted): the icon has to be added again.
    if (!started_ || shutDown_) return;
    tray_.Readd();
    KeepTrayIconShown();
}

// The shell turns an icon down while it is busy or not there yet (a program started at logon can
// come before the task bar; Wine's task bar starts with the first program of a session): the
// icon is added again every second until the shell takes it.
void App::KeepTrayIconShown() {
    toolkit::Timer& retry = frmConfigure_.tmrTrayRetry;
    retry.SetInterval(kTrayRetry);
    retry.SetEnabled(!shutDown_ && !tray_.Shown());
}

// --- Help and About ---

void App::mnuHelpContents_Click() {
    std::wstring file = kHelpFile;
    const LaunchResult r = ShellLaunch(file, SW_SHOWNORMAL, toolkit::ProgramFolder(), shell_);
    if (!r.started)
        host_.ShowMessage(nullptr, L"The help file " + std::wstring(kHelpFile) + L" could not be opened.",
                          MB_OK | MB_ICONEXCLAMATION, toolkit::ReadVersionInfo().productName);
}

void App::mnuHelpAbout_Click() {
    poll_.HoldForAbout();
    frmSplash_.Show();
    AboutShowing = VARIANT_TRUE;
    toolkit::LetPendingMessagesRun();
    if (shutDown_) return;
    poll_.PollSoon();
    toolkit::LetPendingMessagesRun();
}

// --- Splash window ---

void App::SplashClosed() { AboutShowing = VARIANT_FALSE; }

void App::OpenWebPage() {
    std::wstring page = toolkit::FromAnsi(HV_WEB_PAGE);
    ShellLaunch(page, SW_HIDE, std::nullopt, shell_);
}

HICON App::Logo(int pixels) {
    if (!logo_ || logoPixels_ != pixels) {
        logo_.reset(toolkit::LoadIconAtSize(IDI_TRAY2, pixels));
        logoPixels_ = pixels;
    }
    return logo_.get();
}

}  // namespace hv::core
