// The live settings: the controls of the configuration window that hold nine of the ten settings
// while the program runs, and the tenth, the security-notice flag. Every reader looks at these at
// the moment it needs a value. A check box counts as ticked when its value is exactly 1.
#pragma once
#include <windows.h>

#include <string>

#include "toolkit/Controls.h"
#include "toolkit/Menu.h"

namespace hv::settings {

struct LiveSettings {
    toolkit::TextBox& txtEmailAddress;
    toolkit::CheckBox& chkCEEnabled;
    toolkit::CheckBox& chkReminder;
    toolkit::TextBox& txtCategory;
    toolkit::CheckBox& chkSubject;
    toolkit::CheckBox& chkStartEndTIme;
    toolkit::CheckBox& chkLocation;
    toolkit::CheckBox& chkOrganizer;
    toolkit::CheckBox& chkComments;
    // The tray menu and its "Enable Email Notification" item, whose check mark mirrors the switch.
    toolkit::PopupMenu& mnuPopUpMenu;
    UINT mnuEnableEmailNotification;
};

inline bool Ticked(toolkit::CheckBox& box) { return box.Value() == 1; }

}  // namespace hv::settings
