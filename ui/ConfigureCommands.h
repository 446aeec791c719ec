// The commands of the application core that the configuration window runs. The core implements
// this interface, so the window never depends on the core itself.
#pragma once
#include <windows.h>

namespace hv::ui {

// What became of the test message: not handed to Outlook (the failure has been reported), sent,
// or queued in the Outbox of an Outlook that works offline.
enum class TestOutcome { NotSent, Sent, Queued };

// The items of the tray pop-up menu that run a command of the core.
enum class MenuCommand { Configure, EnableEmailNotification, ViewPending, HelpContents, HelpAbout, Exit };

class ConfigureCommands {
public:
    virtual ~ConfigureCommands() = default;
    // The notification switch changed: store it, mirror it in the menu and the tray icon.
    virtual void ApplyNotifySwitch() = 0;
    // Warns about an empty address while notification is on, and stores the address.
    virtual void CheckNotifyAddress() = 0;
    // Sends the test message.
    virtual TestOutcome SendTestMessage() = 0;
    // A command chosen from the tray pop-up menu.
    virtual void RunMenuCommand(MenuCommand command) = 0;
    // A tray icon callback arrived (the mouse message that happened over the icon).
    virtual void TrayCallback(UINT mouseMessage) = 0;
    // The shell's task bar was re-created.
    virtual void TaskbarCreated() = 0;
    // The clock may have jumped: the system resumed from sleep, or its time or time zone changed.
    virtual void ClockChanged() = 0;
    // The window closed: the next poll comes soon.
    virtual void PollSoon() = 0;
    // The main window is being unloaded: the program shuts down.
    virtual void MainWindowUnloading() = 0;
};

}  // namespace hv::ui
