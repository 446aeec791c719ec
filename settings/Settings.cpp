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

// The stored text of one setting, checked for its kind.
std::wstring Settings::Load(const Setting& setting) {
    const std::wstring stored = ReadSetting(setting.valueName, setting.defaultText, kText);
    if (setting.held == Setting::Held::Text || stored == L"0" || stored == L"1") return stored;
    // Only "0" and "1" are ever written for a check box. Anything else is corrupt: use the default
    // and store it.
    WriteSetting(setting.valueName, setting.defaultText, kText);
    return setting.defaultText;
}

// A live setting as the store holds it: a check box's value as "0" or "1".
std::wstring Settings::Live(const Setting& setting) {
    if (setting.held == Setting::Held::Text) return live_.Text(setting);
    return std::to_wstring(live_.Value(setting));
}

void Settings::Store(const Setting& setting) { WriteSetting(setting.valueName, Live(setting), kText); }

void Settings::LoadSettings() {
    for (const Setting* setting : kSettings) {
        const std::wstring stored = Load(*setting);
        if (setting->held == Setting::Held::Text)
            live_.SetText(*setting, stored);
        else
            live_.SetValue(*setting, stored == L"1" ? 1 : 0);
    }
}

void Settings::SaveSettings() {
    for (const Setting* setting : kSettings) Store(*setting);
}

}  // namespace hv::settings
