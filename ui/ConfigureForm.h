// frmConfigure: the configuration window, and the program's hidden main window. Its controls hold
// the live settings (it is the live settings); it owns the poll timer, the tray pictures and the
// tray pop-up menu.
#pragma once
#include <array>
#include <vector>

#include "settings/Settings.h"
#include "ui/ConfigureCommands.h"
#include "toolkit/Controls.h"
#include "toolkit/Form.h"
#include "toolkit/Host.h"
#include "toolkit/Menu.h"

namespace hv::ui {

// The tray menu's Exit arrives at the main window as this WM_COMMAND. The installer sends the same
// command to ask a running copy to exit, so the number must stay as it is.
inline constexpr UINT kExitCommandId = 40006;
// The same for Help Contents, which the installer's test uses to check the installed help file.
inline constexpr UINT kHelpContentsCommandId = 40004;

// The tray icon's callback arrives at the main window as this message, with the mouse message
// that happened over the icon in lParam.
inline constexpr UINT kTrayCallbackMessage = WM_APP + 1;

class ConfigureForm : public toolkit::Form, public settings::LiveSettings {
public:
    ConfigureForm(toolkit::Host& host, ConfigureCommands& commands);
    ~ConfigureForm() override;

    // The tray pictures 1 to 3 (image 2 active, image 3 inactive). Owned by the window.
    HICON Picture(int index) const;

    // The handlers of the window's buttons, callable as a press of the button.
    void cmdOK_Click();
    void cmdClear_Click();
    void cmdTestEmail_Click();

    toolkit::Frame Frame1;
    toolkit::CheckBox chkCEEnabled;
    toolkit::TextBox txtEmailAddress;
    toolkit::Button cmdTestEmail;
    toolkit::CheckBox chkReminder;
    toolkit::Label Label1;
    toolkit::TextBox txtCategory;
    toolkit::Button cmdClear;
    toolkit::Frame Frame3;
    toolkit::CheckBox chkSubject;
    toolkit::CheckBox chkStartEndTIme;
    toolkit::CheckBox chkLocation;
    toolkit::CheckBox chkOrganizer;
    toolkit::CheckBox chkComments;
    toolkit::Button cmdOK;

    toolkit::Timer tmrChkCalEvents;
    toolkit::Timer tmrTrayRetry;  // adds the tray icon again while the shell turns it down
    // Tells of a notification left waiting on Outlook's prompt: its ticks come while the poll's call
    // to Outlook waits, so they are sent, not queued.
    toolkit::Timer tmrCallWatch;
    toolkit::PopupMenu mnuPopUpMenu;
    UINT mnuConfigure = 0, mnuEnableEmailNotification = 0, mnuQAppt = 0, mnuHelpContents = 0, mnuHelpAbout = 0,
         mnuExit = 0, mnuClose = 0;

    settings::Settings& Settings() { return settings_; }

    // The live settings, over the controls (the security-notice flag is held here).
    std::wstring Text(const settings::Setting& setting) override;
    void SetText(const settings::Setting& setting, const std::wstring& text) override;
    int Value(const settings::Setting& setting) override;
    void SetValue(const settings::Setting& setting, int value) override;
    void SaveAll() override { settings_.SaveSettings(); }

protected:
    void OnLoad() override;
    void OnUnload() override;
    void OnCloseBox() override;
    bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;
    void OnDpiChanged() override;

private:
    void WireHandlers();
    void SetWindowIcons();
    // The control that holds a setting (none for the security-notice flag).
    struct Holder {
        const settings::Setting* setting;
        toolkit::TextBox* text;
        toolkit::CheckBox* box;
    };
    const Holder& HolderOf(const settings::Setting& setting) const;

    toolkit::Host& host_;
    ConfigureCommands& commands_;
    settings::Settings settings_;
    const std::vector<Holder> holders_;
    std::wstring securityWarning_ = settings::kSecurityWarning.defaultText;
    std::array<toolkit::UniqueIcon, 3> pictures_;
    std::array<toolkit::UniqueIcon, 2> windowIcons_;  // big and small, at the window's DPI
    UINT taskbarCreated_ = 0;
};

}  // namespace hv::ui
