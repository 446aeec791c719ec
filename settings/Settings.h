// The settings model: ten named text values in HKEY_CURRENT_USER\Software\<company>\<product>,
// loaded into the live settings at start-up and written the moment they change.
#pragma once
#include <string>
#include <string_view>

#include "settings/LiveSettings.h"

namespace hv::settings {

// "Software\<company name>\<product name>", from the running program's version information.
std::wstring SettingsKeyPath();

class Settings {
public:
    explicit Settings(LiveSettings& live) : live_(live) {}
    Settings(const Settings&) = delete;
    Settings& operator=(const Settings&) = delete;

    // Reads one value; a value that cannot be read (or is not text) gives the default, which is
    // written back at once.
    std::wstring ReadSetting(std::wstring_view name, const std::wstring& defaultText, std::wstring_view typeCode);
    // Writes one value; true when it was stored.
    bool WriteSetting(std::wstring_view name, const std::wstring& value, std::wstring_view typeCode);

    // Writes one live setting as it is now.
    void Store(const Setting& setting);
    // Fills the live settings from the store, in the table's order.
    void LoadSettings();
    // Writes every live setting back, in the table's order.
    void SaveSettings();

private:
    std::wstring Load(const Setting& setting);
    std::wstring Live(const Setting& setting);

    LiveSettings& live_;
};

}  // namespace hv::settings
