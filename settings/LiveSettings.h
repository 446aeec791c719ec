// The live settings: the controls of the configuration window that hold nine of the ten settings
// while the program runs, and the tenth, the security-notice flag. Every reader looks at these at
// the moment it needs a value. A check box counts as ticked when its value is exactly 1.
#pragma once
#include <windows.h>

#include <string>

#include "ui/toolkit/Controls.h"
#include "ui/toolkit/Menu.h"

namespace hv::settings {

struct LiveSettings {
    ui::TextBox& txtEmailAddress;
    ui::CheckBox& chkCEEnabled;
    ui::CheckBox& chkReminder;
    ui::TextBox& txtCategory;
    ui::CheckBox& chkSubject;
    ui::CheckBox& chkStartEndTIme;
    ui::CheckBox& chkLocation;
    ui::CheckBox& chkOrganizer;
    ui::CheckBox& chkComments;
    // The tray menu and its "Enable Email Notification" item, whose check mark mirrors the switch.
    ui::PopupMenu& mnuPopUpMenu;
    UINT mnuEnableEmailNotification;
};

inline bool Ticked(ui::CheckBox& box) { return box.Value() == 1; }

}  // namespace hv::settings
