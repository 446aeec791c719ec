// The configuration window's check boxes in window order: the control's name, the control and the
// setting it holds. Tests of the window and of the settings walk this one list.
#pragma once
#include "ui/ConfigureForm.h"

namespace hv::test {

struct ConfigureBox {
    const char* name;
    toolkit::CheckBox ui::ConfigureForm::*control;
    const settings::Setting* setting;
};

inline constexpr ConfigureBox kConfigureBoxes[] = {
    {"chkCEEnabled", &ui::ConfigureForm::chkCEEnabled, &settings::kCEEnabled},
    {"chkReminder", &ui::ConfigureForm::chkReminder, &settings::kReminder},
    {"chkSubject", &ui::ConfigureForm::chkSubject, &settings::kSubject},
    {"chkStartEndTIme", &ui::ConfigureForm::chkStartEndTIme, &settings::kStartEndTime},
    {"chkLocation", &ui::ConfigureForm::chkLocation, &settings::kLocation},
    {"chkOrganizer", &ui::ConfigureForm::chkOrganizer, &settings::kOrganizer},
    {"chkComments", &ui::ConfigureForm::chkComments, &settings::kComments},
};

}  // namespace hv::test
