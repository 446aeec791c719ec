#include "settings/Settings.h"

#include "settings/Registry.h"
#include "toolkit/VersionInfo.h"

namespace hv::settings {
namespace {

constexpr wchar_t kRoot[] = L"HKCU";
constexpr wchar_t kText[] = L"S";

bool IsTextType(DWORD type) { return type == REG_SZ || type == REG_EXPAND_SZ; }

}  // namespace

std::wstring SettingsKeyPath() {
    const toolkit::VersionInfo info = toolkit::ReadVersionInfo();
    return L"Software\\" + info.companyName + L"\\" + info.productName;
}

std::wstring Settings::ReadSetting(std::wstring_view name, const std::wstring& defaultText,
                                   std::wstring_view typeCode) {
    RegValue result;
    StoredValueInfo stored;
    LONG status = ReadRegValue(kRoot, SettingsKeyPath(), name, typeCode, defaultText, result, &stored);
    // A value of another registry type (a number or bytes written by someone else), or one without
    // even a terminating zero, is not a setting this program wrote: it is replaced by the default
    // like a missing one.
    if (status == kStatusOk && (!IsTextType(stored.type) || stored.byteCount == 0)) {
        result = defaultText;
        status = ERROR_INVALID_DATA;
    }
    auto* text = std::get_if<std::wstring>(&result);
    const std::wstring value = text ? *text : defaultText;
    if (status != kStatusOk) WriteSetting(name, value, typeCode);
    return value;
}

bool Settings::WriteSetting(std::wstring_view name, const std::wstring& value, std::wstring_view typeCode) {
    return WriteRegValue(kRoot, SettingsKeyPath(), name, typeCode, value) == kStatusOk;
}

int Settings::ReadCheckBoxSetting(const SettingDefinition& setting) {
    const std::wstring stored = ReadSetting(setting.valueName, setting.defaultText, kText);
    if (stored == L"0" || stored == L"1") return stored == L"1" ? 1 : 0;
    // Only "0" and "1" are ever written. Anything else is corrupt: use the default and store it.
    WriteSetting(setting.valueName, setting.defaultText, kText);
    return setting.defaultText[0] == L'1' ? 1 : 0;
}

void Settings::LoadSettings() {
    LiveSettings& s = live_;
    s.txtEmailAddress.SetText(ReadSetting(kSettings[0].valueName, kSettings[0].defaultText, kText));
    s.chkCEEnabled.SetValue(ReadCheckBoxSetting(kSettings[1]));
    s.mnuPopUpMenu.SetChecked(s.mnuEnableEmailNotification, s.chkCEEnabled.Value() != 0);
    s.chkReminder.SetValue(ReadCheckBoxSetting(kSettings[2]));
    s.txtCategory.SetText(ReadSetting(kSettings[3].valueName, kSettings[3].defaultText, kText));
    s.chkSubject.SetValue(ReadCheckBoxSetting(kSettings[4]));
    s.chkStartEndTIme.SetValue(ReadCheckBoxSetting(kSettings[5]));
    s.chkLocation.SetValue(ReadCheckBoxSetting(kSettings[6]));
    s.chkOrganizer.SetValue(ReadCheckBoxSetting(kSettings[7]));
    s.chkComments.SetValue(ReadCheckBoxSetting(kSettings[8]));
    SecurityWarning = ReadSetting(kSettings[9].valueName, kSettings[9].defaultText, kText);
}

void Settings::SaveSettings() {
    LiveSettings& s = live_;
    auto box = [](toolkit::CheckBox& c) { return std::to_wstring(c.Value()); };
    const std::wstring values[10] = {
        s.txtEmailAddress.Text(), box(s.chkCEEnabled), box(s.chkReminder),  s.txtCategory.Text(), box(s.chkSubject),
        box(s.chkStartEndTIme),   box(s.chkLocation),  box(s.chkOrganizer), box(s.chkComments),   SecurityWarning,
    };
    for (size_t i = 0; i < 10; ++i) WriteSetting(kSettings[i].valueName, values[i], kText);
}

}  // namespace hv::settings
