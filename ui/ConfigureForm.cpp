#include "ui/ConfigureForm.h"

#include "resources/resource.h"

namespace hv::ui {
namespace {

toolkit::FormStyle ConfigureStyle() {
    toolkit::FormStyle s;
    s.caption = L"Horavane Configuration";
    // Fixed dialog border with a close box; no minimize or maximize button.
    s.style = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME;
    s.exStyle = WS_EX_CONTROLPARENT | WS_EX_DLGMODALFRAME;
    s.clientWidthTwips = 5940;
    s.clientHeightTwips = 3405;
    return s;
}

// Positions inside a frame are given relative to the frame; controls are children of the window.
toolkit::ControlSpec In(const toolkit::ControlSpec& frame, toolkit::ControlSpec layout) {
    layout.rect.left += frame.rect.left;
    layout.rect.top += frame.rect.top;
    return layout;
}

// Messages after which the clock may read differently than the poll cycle expects. They are
// broadcast to top-level windows, hidden ones included (a message-only window would miss them).
bool MovesTheClock(UINT message, WPARAM wParam) {
    switch (message) {
        // "PBT_APMRESUMEAUTOMATIC event": "This event is delivered every time the system resumes";
        // PBT_APMRESUMESUSPEND follows it when a user is present, and PBT_APMRESUMECRITICAL comes
        // instead after a suspend the application was not told of
        // (learn.microsoft.com/windows/win32/power/pbt-apmresumeautomatic, .../pbt-apmresumesuspend).
        // PBT_APMSUSPEND only announces the sleep.
        case WM_POWERBROADCAST:
            return wParam == PBT_APMRESUMEAUTOMATIC || wParam == PBT_APMRESUMESUSPEND ||
                   wParam == PBT_APMRESUMECRITICAL;
        // "WM_TIMECHANGE message": "A message that is sent whenever there is a change in the system
        // time" (learn.microsoft.com/windows/win32/sysinfo/wm-timechange).
        case WM_TIMECHANGE: return true;
        // A new time zone is not promised a WM_TIMECHANGE: "SetTimeZoneInformation function" says
        // only "To inform Explorer that the time zone has changed, send the WM_SETTINGCHANGE
        // message", and "WM_SETTINGCHANGE message" says "When an application sends this message,
        // this parameter [wParam] must be NULL" (also zero for a change of locale, "intl"). A
        // change made through SystemParametersInfo carries its SPI_ number and leaves the clock
        // alone (learn.microsoft.com/windows/win32/api/timezoneapi/nf-timezoneapi-settimezoneinformation,
        // learn.microsoft.com/windows/win32/winmsg/wm-settingchange).
        case WM_SETTINGCHANGE: return wParam == 0;
        default: return false;
    }
}

const toolkit::ControlSpec kFrame1{{0, 0, 5895, 1695}, L"Appointment notification options", L"", 1, true};
const toolkit::ControlSpec kFrame3{
    {0, 1800, 5895, 1095}, L"Email formatting options (select appointment fields to include)", L"", 7, true};

}  // namespace

ConfigureForm::ConfigureForm(toolkit::Host& host, ConfigureCommands& commands)
    : toolkit::Form(ConfigureStyle()),
      Frame1(*this, kFrame1),
      chkCEEnabled(*this,
                   In(kFrame1, {{120, 240, 5655, 255},
                                L"&Enable notification email to the following email address:",
                                L"Checked: Email notification is enabled, Unchecked: Email notification is disabled.",
                                4})),
      txtEmailAddress(
          *this, In(kFrame1, {{120, 600, 4815, 285}, L"", L"Enter the email address for you notification service", 2})),
      cmdTestEmail(*this,
                   In(kFrame1, {{5040, 600, 735, 255}, L"&Test", L"Send a test page to the specified address.", 3})),
      chkReminder(
          *this, In(kFrame1,
                    {{120, 960, 5415, 315},
                     L"Notifiy only if the Outlook appointment &reminder option is checked.",
                     L"Checked: Notification is limited to only Outlook appointments with the reminder option checked.",
                     5})),
      // A label passes its access key to the control that follows it in window order, so the label
      // goes just before the category box (with the reminder box's index, after it in
      // declaration order). Labels take no focus: the tab walk is the same as with index 12.
      Label1(*this, In(kFrame1, {{120, 1320, 2895, 255}, L"Notifiy only if appointment cate&gory = ", L"", 5})),
      txtCategory(
          *this,
          In(kFrame1,
             {{2880, 1320, 2055, 285},
              L"",
              L"Notification is limited to Outlook appointments with a matching category text to the one entered here.",
              6})),
      cmdClear(*this, In(kFrame1, {{5040, 1320, 735, 255}, L"Cl&ear", L"Clear the category text.", 15})),
      Frame3(*this, kFrame3),
      chkSubject(
          *this,
          In(kFrame3,
             {{360, 360, 975, 195}, L"&Subject (", L"Includes the appointment subject in the email subject.", 8})),
      chkStartEndTIme(*this, In(kFrame3, {{1320, 360, 1695, 195},
                                          L"Start-End &Time)",
                                          L"Includes the appointment start and end time in the email subject.",
                                          9})),
      chkLocation(
          *this,
          In(kFrame3,
             {{2880, 360, 1575, 195}, L"> &Location", L"Includes the appointment location in the email subject.", 10})),
      chkOrganizer(
          *this,
          In(kFrame3, {{3960, 360, 1815, 195},
                       L"/ Meeting &Organizer",
                       L"Includes the name of the appointment oganizer in the email subject if not the current user.",
                       11})),
      chkComments(*this, In(kFrame3, {{360, 720, 4935, 195},
                                      L"Include appointment &body in email body",
                                      L"Includes the appointment's notes as the body of the email.",
                                      13})),
      cmdOK(*this, {{2280, 3000, 1215, 375}, L"&Close", L"", 0}),
      tmrChkCalEvents(*this),
      tmrTrayRetry(*this),
      tmrCallWatch(*this, toolkit::TimerDelivery::Sent),
      mnuPopUpMenu(*this),
      host_(host),
      commands_(commands),
      settings_(*this),
      holders_{
          {&settings::kEmailAddress, &txtEmailAddress, nullptr}, {&settings::kCEEnabled, nullptr, &chkCEEnabled},
          {&settings::kReminder, nullptr, &chkReminder},         {&settings::kCategoryText, &txtCategory, nullptr},
          {&settings::kSubject, nullptr, &chkSubject},           {&settings::kStartEndTime, nullptr, &chkStartEndTIme},
          {&settings::kLocation, nullptr, &chkLocation},         {&settings::kOrganizer, nullptr, &chkOrganizer},
          {&settings::kComments, nullptr, &chkComments}} {
    auto run = [this](MenuCommand c) { return [this, c] { commands_.RunMenuCommand(c); }; };
    mnuConfigure = mnuPopUpMenu.AddItem(L"C&onfigure", run(MenuCommand::Configure));
    mnuEnableEmailNotification =
        mnuPopUpMenu.AddItem(L"&Enable Email Notification", run(MenuCommand::EnableEmailNotification));
    mnuQAppt = mnuPopUpMenu.AddItem(L"&View Pending Notifications", run(MenuCommand::ViewPending));
    mnuPopUpMenu.AddSeparator();
    mnuHelpContents = mnuPopUpMenu.AddItem(L"&Help Contents", run(MenuCommand::HelpContents));
    mnuHelpAbout = mnuPopUpMenu.AddItem(L"Help &About", run(MenuCommand::HelpAbout));
    mnuPopUpMenu.AddSeparator();
    mnuExit = mnuPopUpMenu.AddItem(L"&Exit", run(MenuCommand::Exit));
    mnuClose = mnuPopUpMenu.AddItem(L"&Close", nullptr);  // only closes the menu
    if (mnuExit != kExitCommandId || mnuHelpContents != kHelpContentsCommandId)
        ::OutputDebugStringW(L"Horavane: a menu command id has changed\n");
    SetDefaultButton(cmdOK);
    WireHandlers();
}

ConfigureForm::~ConfigureForm() { Unload(); }

HICON ConfigureForm::Picture(int index) const {
    return index >= 1 && index <= 3 ? pictures_[static_cast<size_t>(index - 1)].get() : nullptr;
}

void ConfigureForm::WireHandlers() {
    for (const Holder& h : holders_) {
        if (!h.setting->storedOnChange) continue;
        auto store = [this, setting = h.setting] { settings_.Store(*setting); };
        if (h.text)
            h.text->onChange = store;
        else
            h.box->onClick = store;
    }
    // The menu's check mark mirrors the switch, however it changes.
    chkCEEnabled.onClick = [this] {
        mnuPopUpMenu.SetChecked(mnuEnableEmailNotification, chkCEEnabled.Value() != 0);
        commands_.ApplyNotifySwitch();
    };
    cmdClear.onClick = [this] { cmdClear_Click(); };
    cmdOK.onClick = [this] { cmdOK_Click(); };
    cmdTestEmail.onClick = [this] { cmdTestEmail_Click(); };
}

const ConfigureForm::Holder& ConfigureForm::HolderOf(const settings::Setting& setting) const {
    for (const Holder& h : holders_)
        if (h.setting == &setting) return h;
    static const Holder none{nullptr, nullptr, nullptr};
    return none;
}

std::wstring ConfigureForm::Text(const settings::Setting& setting) {
    if (&setting == &settings::kSecurityWarning) return securityWarning_;
    toolkit::TextBox* box = HolderOf(setting).text;
    return box ? box->Text() : std::wstring();
}

void ConfigureForm::SetText(const settings::Setting& setting, const std::wstring& text) {
    if (&setting == &settings::kSecurityWarning) securityWarning_ = text;
    if (toolkit::TextBox* box = HolderOf(setting).text) box->SetText(text);
}

int ConfigureForm::Value(const settings::Setting& setting) {
    toolkit::CheckBox* box = HolderOf(setting).box;
    return box ? box->Value() : 0;
}

void ConfigureForm::SetValue(const settings::Setting& setting, int value) {
    if (toolkit::CheckBox* box = HolderOf(setting).box) box->SetValue(value);
}

void ConfigureForm::OnLoad() {
    // The notification area shows its icons at the small-icon size of the system's DPI.
    const int ids[3] = {IDI_TRAY1, IDI_TRAY2, IDI_TRAY3};
    for (size_t i = 0; i < 3; ++i) pictures_[i].reset(toolkit::LoadIconAtSize(ids[i], ::GetSystemMetrics(SM_CXSMICON)));
    SetWindowIcons();
    taskbarCreated_ = ::RegisterWindowMessageW(L"TaskbarCreated");
    cmdOK.Focus();
}

void ConfigureForm::OnDpiChanged() { SetWindowIcons(); }

// The window's icons at the sizes of its DPI: the new ones are in place before the old ones go.
void ConfigureForm::SetWindowIcons() {
    toolkit::UniqueIcon big(toolkit::LoadIconAtSize(IDI_TRAY2, toolkit::MetricForDpi(SM_CXICON, Dpi())));
    toolkit::UniqueIcon small(toolkit::LoadIconAtSize(IDI_TRAY2, toolkit::MetricForDpi(SM_CXSMICON, Dpi())));
    ::SendMessageW(Hwnd(), WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(big.get()));
    ::SendMessageW(Hwnd(), WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(small.get()));
    windowIcons_[0] = std::move(big);
    windowIcons_[1] = std::move(small);
}

void ConfigureForm::OnUnload() { commands_.MainWindowUnloading(); }

void ConfigureForm::OnCloseBox() {
    // The close box does what a Close that passes the address check does; it never unloads the
    // main window.
    cmdOK_Click();
}

bool ConfigureForm::OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
    // Seen, not handled: the default handling still answers these messages (TRUE to every
    // WM_POWERBROADCAST).
    if (MovesTheClock(message, wParam)) commands_.ClockChanged();
    if (message == kTrayCallbackMessage) {
        // The core acts on the two mouse messages it knows and ignores every other one.
        commands_.TrayCallback(static_cast<UINT>(lParam));
        result = 0;
        return true;
    }
    if (taskbarCreated_ != 0 && message == taskbarCreated_) {
        commands_.TaskbarCreated();
        result = 0;
        return true;
    }
    return false;
}

void ConfigureForm::cmdClear_Click() {
    txtCategory.SetText(L"");
    settings_.Store(settings::kCategoryText);
}

void ConfigureForm::cmdOK_Click() {
    const bool emptyAddress = txtEmailAddress.Text().empty();
    if (emptyAddress && chkCEEnabled.Value() == 1) {
        commands_.CheckNotifyAddress();  // warns; the window stays open
        return;
    }
    commands_.CheckNotifyAddress();
    Hide();
    commands_.PollSoon();
}

void ConfigureForm::cmdTestEmail_Click() {
    chkCEEnabled.SetValue(1);
    settings_.SaveSettings();
    const TestOutcome outcome = commands_.SendTestMessage();
    if (outcome == TestOutcome::NotSent) return;  // the failure has been reported
    const std::wstring text =
        outcome == TestOutcome::Sent
            ? L"A test email has been sent.\r\nPlease verify receipt by " + txtEmailAddress.Text() + L"."
            : L"The test email waits in Outlook's Outbox: Outlook is working offline.\r\nIt is sent when Outlook "
              L"goes online; then please verify receipt by " +
                  txtEmailAddress.Text() + L".";
    host_.ShowMessage(Hwnd(), text, MB_OK, L"Horavane");
}

}  // namespace hv::ui
