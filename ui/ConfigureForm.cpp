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

}  // namespace

ConfigureForm::ConfigureForm(toolkit::Host& host, ConfigureCommands& commands)
    : toolkit::Form(ConfigureStyle()),
      tmrChkCalEvents(*this),
      tmrTrayRetry(*this),
      tmrCallWatch(*this, toolkit::TimerDelivery::Sent),
      mnuPopUpMenu(*this),
      host_(host),
      commands_(commands),
      settings_(*this) {
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
