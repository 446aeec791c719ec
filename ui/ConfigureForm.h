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

    // The controls, each with its place, caption, tooltip and tab index; a control that holds a
    // setting is named beside that setting in holders_ below.
    toolkit::Frame Frame1{*this, kFrame1};
    toolkit::CheckBox chkCEEnabled{
        *this, In(kFrame1, {{120, 240, 5655, 255},
                            L"&Enable notification email to the following email address:",
                            L"Checked: Email notification is enabled, Unchecked: Email notification is disabled.",
                            4})};
    toolkit::TextBox txtEmailAddress{
        *this, In(kFrame1, {{120, 600, 4815, 285}, L"", L"Enter the email address for you notification service", 2})};
    toolkit::Button cmdTestEmail{
        *this, In(kFrame1, {{5040, 600, 735, 255}, L"&Test", L"Send a test page to the specified address.", 3})};
    toolkit::CheckBox chkReminder{
        *this,
        In(kFrame1, {{120, 960, 5415, 315},
                     L"Notifiy only if the Outlook appointment &reminder option is checked.",
                     L"Checked: Notification is limited to only Outlook appointments with the reminder option checked.",
                     5})};
    // A label passes its access key to the control that follows it in window order, so the label
    // goes just before the category box (with the reminder box's index, after it in
    // declaration order). Labels take no focus: the tab walk is the same as with index 12.
    toolkit::Label Label1{*this,
                          In(kFrame1, {{120, 1320, 2895, 255}, L"Notifiy only if appointment cate&gory = ", L"", 5})};
    toolkit::TextBox txtCategory{
        *this,
        In(kFrame1,
           {{2880, 1320, 2055, 285},
            L"",
            L"Notification is limited to Outlook appointments with a matching category text to the one entered here.",
            6})};
    toolkit::Button cmdClear{*this, In(kFrame1, {{5040, 1320, 735, 255}, L"Cl&ear", L"Clear the category text.", 15})};
    toolkit::Frame Frame3{*this, kFrame3};
    toolkit::CheckBox chkSubject{
        *this, In(kFrame3,
                  {{360, 360, 975, 195}, L"&Subject (", L"Includes the appointment subject in the email subject.", 8})};
    toolkit::CheckBox chkStartEndTIme{*this,
                                      In(kFrame3, {{1320, 360, 1695, 195},
                                                   L"Start-End &Time)",
                                                   L"Includes the appointment start and end time in the email subject.",
                                                   9})};
    toolkit::CheckBox chkLocation{
        *this,
        In(kFrame3,
           {{2880, 360, 1575, 195}, L"> &Location", L"Includes the appointment location in the email subject.", 10})};
    toolkit::CheckBox chkOrganizer{
        *this,
        In(kFrame3, {{3960, 360, 1815, 195},
                     L"/ Meeting &Organizer",
                     L"Includes the name of the appointment oganizer in the email subject if not the current user.",
                     11})};
    toolkit::CheckBox chkComments{*this, In(kFrame3, {{360, 720, 4935, 195},
                                                      L"Include appointment &body in email body",
                                                      L"Includes the appointment's notes as the body of the email.",
                                                      13})};
    toolkit::Button cmdOK{*this, {{2280, 3000, 1215, 375}, L"&Close", L"", 0}};

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
    // The window's layout, in twips. Positions inside a frame are given relative to the frame;
    // controls are children of the window.
    static inline const toolkit::ControlSpec kFrame1{
        {0, 0, 5895, 1695}, L"Appointment notification options", L"", 1, true};
    static inline const toolkit::ControlSpec kFrame3{
        {0, 1800, 5895, 1095}, L"Email formatting options (select appointment fields to include)", L"", 7, true};
    static toolkit::ControlSpec In(const toolkit::ControlSpec& frame, toolkit::ControlSpec layout) {
        layout.rect.left += frame.rect.left;
        layout.rect.top += frame.rect.top;
        return layout;
    }

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
    // The control that holds each setting.
    const std::vector<Holder> holders_{
        {&settings::kEmailAddress, &txtEmailAddress, nullptr}, {&settings::kCEEnabled, nullptr, &chkCEEnabled},
        {&settings::kReminder, nullptr, &chkReminder},         {&settings::kCategoryText, &txtCategory, nullptr},
        {&settings::kSubject, nullptr, &chkSubject},           {&settings::kStartEndTime, nullptr, &chkStartEndTIme},
        {&settings::kLocation, nullptr, &chkLocation},         {&settings::kOrganizer, nullptr, &chkOrganizer},
        {&settings::kComments, nullptr, &chkComments}};
    std::wstring securityWarning_ = settings::kSecurityWarning.defaultText;
    std::array<toolkit::UniqueIcon, 3> pictures_;
    std::array<toolkit::UniqueIcon, 2> windowIcons_;  // big and small, at the window's DPI
    UINT taskbarCreated_ = 0;
};

}  // namespace hv::ui
