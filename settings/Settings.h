// The settings model: ten named text values in HKEY_CURRENT_USER\Software\<company>\<product>,
// loaded into the live settings at start-up and written the moment they change.
#pragma once
#include <string>
#include <string_view>

#include "settings/LiveSettings.h"

namespace hv::settings {

// "Software\<company name>\<product name>", from the running program's version information.
std::wstring SettingsKeyPath();

// The stored names and defaults, in the order in which they are loaded and saved.
struct SettingDefinition {
    const wchar_t* valueName;
    const wchar_t* defaultText;
};
inline constexpr SettingDefinition kSettings[10] = {
    {L"EventEmailAddress", L""}, {L"CEEnabled", L"1"},           {L"Reminder", L"0"}, {L"CategoryText", L""},
    {L"Subject", L"1"},          {L"StartEndTime", L"1"},        {L"Location", L"1"}, {L"Organizer", L"0"},
    {L"Comments", L"0"},         {L"SecurityWarning", L"False"},
};

class Settings {
public:
    explicit Settings(LiveSettings live) : live_(live) {}
    Settings(const Settings&) = delete;
    Settings& operator=(const Settings&) = delete;

    // Reads one value; a value that cannot be read (or is not text) gives the default, which is
    // written back at once.
    std::wstring ReadSetting(std::wstring_view name, const std::wstring& defaultText, std::wstring_view typeCode);
    // Writes one value; true when it was stored.
    bool WriteSetting(std::wstring_view name, const std::wstring& value, std::wstring_view typeCode);

    // Fills the live settings from the store, in the fixed order.
    void LoadSettings();
    // Writes every live setting back, in the fixed order.
    void SaveSettings();

    // The security-notice flag: "True" once the notice has been shown.
    std::wstring SecurityWarning = L"False";

    LiveSettings& Live() { return live_; }

private:
    int ReadCheckBoxSetting(const SettingDefinition& setting);

    LiveSettings live_;
};

}  // namespace hv::settings
