#include "core/App.h"

namespace hv::core {

App::App(ui::Host& host) : host_(host), frmConfigure_(host, *this) {}

App::~App() = default;

bool App::Main() {
    frmConfigure_.Settings().LoadSettings();
    frmConfigure_.Load();
    frmConfigure_.Settings().SaveSettings();
    ApplyNotifySwitch();
    return true;
}

void App::ApplyNotifySwitch() {
    auto& f = frmConfigure_;
    f.Settings().WriteSetting(L"CEEnabled", std::to_wstring(f.chkCEEnabled.Value()), L"S");
    f.mnuPopUpMenu.SetChecked(f.mnuEnableEmailNotification, f.chkCEEnabled.Value() != 0);
}

void App::CheckNotifyAddress() {
    auto& f = frmConfigure_;
    f.Settings().WriteSetting(L"EventEmailAddress", f.txtEmailAddress.Text(), L"S");
}

bool App::SendTestMessage() { return false; }

void App::RunMenuCommand(ui::MenuCommand command) {
    if (command == ui::MenuCommand::Exit) frmConfigure_.Unload();
}

void App::TrayCallback(UINT) {}

void App::TaskbarCreated() {}

void App::MainWindowUnloading() { ::PostQuitMessage(0); }

}  // namespace hv::core
