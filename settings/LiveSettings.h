// The live settings: the ten settings as the program holds them while it runs, and the one table
// that says how each is stored. The configuration window holds nine of them in its controls and
// the security-notice flag beside them; every reader asks at the moment it needs a value, so it
// sees the control as it is then.
#pragma once
#include <string>

namespace hv::settings {

// One stored setting: its registry value (text, in the program's settings key) and its default.
struct Setting {
    enum class Held { Text, CheckBox };
    const wchar_t* valueName;
    const wchar_t* defaultText;
    Held held;
    // Stored the moment it changes. The others are stored by the command that changes them: the
    // address when the window checks it, the switch when it is applied, the flag with everything.
    bool storedOnChange;
};

inline constexpr Setting kEmailAddress{L"EventEmailAddress", L"", Setting::Held::Text, false};
inline constexpr Setting kCEEnabled{L"CEEnabled", L"1", Setting::Held::CheckBox, false};
inline constexpr Setting kReminder{L"Reminder", L"0", Setting::Held::CheckBox, true};
inline constexpr Setting kCategoryText{L"CategoryText", L"", Setting::Held::Text, true};
inline constexpr Setting kSubject{L"Subject", L"1", Setting::Held::CheckBox, true};
inline constexpr Setting kStartEndTime{L"StartEndTime", L"1", Setting::Held::CheckBox, true};
inline constexpr Setting kLocation{L"Location", L"1", Setting::Held::CheckBox, true};
inline constexpr Setting kOrganizer{L"Organizer", L"0", Setting::Held::CheckBox, true};
inline constexpr Setting kComments{L"Comments", L"0", Setting::Held::CheckBox, true};
inline constexpr Setting kSecurityWarning{L"SecurityWarning", L"False", Setting::Held::Text, false};

// Every setting, in the order in which they are loaded and saved.
inline constexpr const Setting* kSettings[] = {
    &kEmailAddress, &kCEEnabled, &kReminder,  &kCategoryText, &kSubject,
    &kStartEndTime, &kLocation,  &kOrganizer, &kComments,     &kSecurityWarning,
};

class LiveSettings {
public:
    virtual ~LiveSettings() = default;

    // A text setting as it is now.
    virtual std::wstring Text(const Setting& setting) = 0;
    virtual void SetText(const Setting& setting, const std::wstring& text) = 0;
    // A check box's value, 0 or 1.
    virtual int Value(const Setting& setting) = 0;
    virtual void SetValue(const Setting& setting, int value) = 0;
    // Writes every setting to the store.
    virtual void SaveAll() = 0;

    // A check box counts as ticked when its value is exactly 1.
    bool Ticked(const Setting& box) { return Value(box) == 1; }

    std::wstring Address() { return Text(kEmailAddress); }
    bool NotifyOn() { return Ticked(kCEEnabled); }
    bool ReminderOnly() { return Ticked(kReminder); }
    std::wstring Category() { return Text(kCategoryText); }
    // The security notice is still to be shown only while the flag is exactly "False".
    bool SecurityNoticeUnseen() { return Text(kSecurityWarning) == L"False"; }
    // The notice has been shown: the flag says so, stored with every other setting.
    void SecurityNoticeShown() {
        SetText(kSecurityWarning, L"True");
        SaveAll();
    }
};

}  // namespace hv::settings
