// The settings model on the live controls of the configuration window, against the real registry
// (isolated per test) and, where it matters, read back by Wine's own reg.exe.
#include <windows.h>
#include <aclapi.h>

#include <algorithm>
#include <map>

#include <gtest/gtest.h>

#include "settings/Settings.h"
#include "tests/support/ConfigureBoxes.h"
#include "tests/support/FakeCommands.h"
#include "tests/support/Processes.h"
#include "tests/support/RegistrySandbox.h"
#include "tests/support/ScriptedHost.h"
#include "ui/ConfigureForm.h"
#include "toolkit/AnsiText.h"

namespace hv::settings {
namespace {

const std::wstring kKey = L"Software\\Quil\\Horavane";

class SettingsModel : public testing::Test {
protected:
    test::RegistrySandbox sandbox;
    test::ScriptedHost host;
    test::FakeCommands commands;
    ui::ConfigureForm form{host, commands};
    Settings& settings = form.Settings();

    std::string Stored(const char* name) {
        std::string bytes;
        DWORD type = 0;
        if (!test::RawValue(HKEY_CURRENT_USER, kKey, name, bytes, type)) return "<missing>";
        if (type != REG_SZ) return "<type " + std::to_string(type) + ">";
        if (!bytes.empty() && bytes.back() == '\0') bytes.pop_back();
        return bytes;
    }
    void Store(const char* name, const std::string& text) {
        test::SetRawValue(HKEY_CURRENT_USER, kKey, name, REG_SZ, text + '\0');
    }
    // The values of the settings key as Wine's reg.exe lists them: name -> (type, data).
    std::map<std::string, std::pair<std::string, std::string>> RegQuery() {
        const auto r = test::RunAndCapture(L"reg.exe query \"" + sandbox.RealPath(kKey) + L"\"");
        std::map<std::string, std::pair<std::string, std::string>> values;
        size_t pos = 0;
        while (pos < r.output.size()) {
            size_t end = r.output.find('\n', pos);
            if (end == std::string::npos) end = r.output.size();
            std::string line = r.output.substr(pos, end - pos);
            pos = end + 1;
            if (!line.empty() && line.back() == '\r') line.pop_back();
            if (line.rfind("    ", 0) != 0) continue;  // value lines are indented
            const size_t nameEnd = line.find("    ", 4);
            const size_t typeEnd = line.find("    ", nameEnd + 4);
            if (nameEnd == std::string::npos) continue;
            const std::string type =
                line.substr(nameEnd + 4, typeEnd == std::string::npos ? std::string::npos : typeEnd - nameEnd - 4);
            values[line.substr(4, nameEnd - 4)] = {type, typeEnd == std::string::npos ? "" : line.substr(typeEnd + 4)};
        }
        return values;
    }
};

// reg.exe reads the key by its literal path: the settings are where the user, the installer and
// the help file expect them.
TEST_F(SettingsModel, FirstStartStoresTheTenDefaultsAsRegExeSeesThem) {
    settings.LoadSettings();
    settings.SaveSettings();
    const auto values = RegQuery();
    const std::map<std::string, std::string> expected = {
        {"EventEmailAddress", ""}, {"CEEnabled", "1"},           {"Reminder", "0"}, {"CategoryText", ""},
        {"Subject", "1"},          {"StartEndTime", "1"},        {"Location", "1"}, {"Organizer", "0"},
        {"Comments", "0"},         {"SecurityWarning", "False"},
    };
    ASSERT_EQ(values.size(), expected.size());
    for (const auto& [name, data] : expected) {
        auto it = values.find(name);
        ASSERT_NE(it, values.end()) << name;
        EXPECT_EQ(it->second.first, "REG_SZ") << name;
        EXPECT_EQ(it->second.second, data) << name;
    }
    for (const test::ConfigureBox& b : test::kConfigureBoxes)
        EXPECT_EQ((form.*b.control).Value(), expected.at(toolkit::ToAnsi(b.setting->valueName)) == "1" ? 1 : 0)
            << b.name;
    EXPECT_TRUE(form.mnuPopUpMenu.Checked(form.mnuEnableEmailNotification));
    EXPECT_FALSE(form.Visible());
}

TEST_F(SettingsModel, LoadingWithoutAKeyWritesEveryDefaultEvenBeforeTheSave) {
    settings.LoadSettings();
    for (const Setting* s : kSettings)
        EXPECT_EQ(Stored(toolkit::ToAnsi(s->valueName).c_str()), toolkit::ToAnsi(s->defaultText));
}

TEST_F(SettingsModel, OnlyTheDeletedValueIsRewritten) {
    settings.LoadSettings();
    Store("Subject", "0");
    Store("EventEmailAddress", "pager@example.com");
    test::DeleteValue(HKEY_CURRENT_USER, kKey, "Location");

    test::ScriptedHost host2;
    test::FakeCommands commands2;
    ui::ConfigureForm second(host2, commands2);
    second.Settings().LoadSettings();
    EXPECT_EQ(Stored("Location"), "1");
    EXPECT_EQ(Stored("Subject"), "0");
    EXPECT_EQ(Stored("EventEmailAddress"), "pager@example.com");
    EXPECT_EQ(second.chkSubject.Value(), 0);
    EXPECT_EQ(second.txtEmailAddress.Text(), L"pager@example.com");
}

TEST_F(SettingsModel, TextsReadBackExactly) {
    ASSERT_TRUE(settings.WriteSetting(L"SecurityWarning", L"True", L"S"));
    EXPECT_EQ(settings.ReadSetting(L"SecurityWarning", L"False", L"S"), L"True");
    ASSERT_TRUE(settings.WriteSetting(L"CategoryText", L"", L"S"));
    EXPECT_EQ(settings.ReadSetting(L"CategoryText", L"not this", L"S"), L"");

    form.txtEmailAddress.SetText(L"  pager@example.com  ");
    settings.SaveSettings();
    EXPECT_EQ(Stored("EventEmailAddress"), "  pager@example.com  ");
    test::ScriptedHost host2;
    test::FakeCommands commands2;
    ui::ConfigureForm second(host2, commands2);
    second.Settings().LoadSettings();
    EXPECT_EQ(second.txtEmailAddress.Text(), L"  pager@example.com  ");
}

TEST_F(SettingsModel, EachKeystrokeInTheCategoryBoxStoresTheWholeText) {
    settings.LoadSettings();
    HWND edit = form.txtCategory.Hwnd();
    std::vector<std::string> seen;
    for (wchar_t c : std::wstring(L"Work")) {
        ::SendMessageW(edit, WM_CHAR, c, 0);
        seen.push_back(Stored("CategoryText"));
    }
    EXPECT_EQ(seen, (std::vector<std::string>{"W", "Wo", "Wor", "Work"}));
}

TEST_F(SettingsModel, OptionBoxesStoreTheirValueAtOnce) {
    settings.LoadSettings();
    ::SendMessageW(form.chkLocation.Hwnd(), BM_CLICK, 0, 0);  // a user's click: 1 -> 0
    EXPECT_EQ(Stored("Location"), "0");
    form.chkComments.SetValue(1);  // set from code: the handler runs too
    EXPECT_EQ(Stored("Comments"), "1");
    const int before = commands.applySwitch;
    form.chkCEEnabled.SetValue(0);
    EXPECT_EQ(commands.applySwitch, before + 1);
    form.chkCEEnabled.SetValue(0);  // unchanged: no handler
    EXPECT_EQ(commands.applySwitch, before + 1);
}

struct BadValue {
    const char* name;
    DWORD type;
    std::string bytes;
    int expectedBox;  // the setting's default
};

TEST_F(SettingsModel, CorruptCheckBoxValuesLoadAsTheirDefaultsAndAreRepaired) {
    const BadValue cases[] = {
        {"Subject", REG_SZ, std::string("2\0", 2), 1},
        {"Location", REG_SZ, std::string("abc\0", 4), 1},
        {"Reminder", REG_SZ, std::string("\0", 1), 0},
        {"Organizer", REG_SZ, std::string(" 1\0", 3), 0},
        {"StartEndTime", REG_DWORD, std::string("\x01\0\0\0", 4), 1},
        {"Comments", REG_BINARY, std::string("\x01\x01", 2), 0},
        {"CEEnabled", REG_SZ, std::string(), 1},
    };
    for (const auto& c : cases) test::SetRawValue(HKEY_CURRENT_USER, kKey, c.name, c.type, c.bytes);
    settings.LoadSettings();
    ASSERT_EQ(std::size(cases), std::size(test::kConfigureBoxes));
    for (const test::ConfigureBox& b : test::kConfigureBoxes) {
        const std::string name = toolkit::ToAnsi(b.setting->valueName);
        const BadValue* c = std::find_if(std::begin(cases), std::end(cases), [&](auto& v) { return v.name == name; });
        ASSERT_NE(c, std::end(cases)) << name;
        EXPECT_EQ((form.*b.control).Value(), c->expectedBox) << name;
        EXPECT_EQ(Stored(c->name), std::to_string(c->expectedBox)) << name;
    }
}

TEST_F(SettingsModel, TextValuesLoadAsStoredWhenTheyAreText) {
    const std::string big(1 << 20, 'x');
    Store("EventEmailAddress", big);
    Store("CategoryText", "Home, Travel");
    test::SetRawValue(HKEY_CURRENT_USER, kKey, "SecurityWarning", REG_DWORD, std::string("\x05\0\0\0", 4));
    settings.LoadSettings();
    EXPECT_EQ(form.txtEmailAddress.Text().size(), big.size());
    EXPECT_EQ(form.txtCategory.Text(), L"Home, Travel");
    EXPECT_EQ(form.Text(kSecurityWarning), L"False");
    EXPECT_EQ(Stored("SecurityWarning"), "False");
}

// Denies setting values on the settings key to everyone, as a locked-down profile would.
void DenyWrites(const std::wstring& path) {
    HKEY key = nullptr;
    ASSERT_EQ(::RegOpenKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, READ_CONTROL | WRITE_DAC, &key), ERROR_SUCCESS);
    PACL oldDacl = nullptr;
    PSECURITY_DESCRIPTOR sd = nullptr;
    ASSERT_EQ(
        ::GetSecurityInfo(key, SE_REGISTRY_KEY, DACL_SECURITY_INFORMATION, nullptr, nullptr, &oldDacl, nullptr, &sd),
        ERROR_SUCCESS);
    EXPLICIT_ACCESSW deny{};
    deny.grfAccessPermissions = KEY_SET_VALUE | KEY_CREATE_SUB_KEY;
    deny.grfAccessMode = DENY_ACCESS;
    deny.grfInheritance = NO_INHERITANCE;
    deny.Trustee.TrusteeForm = TRUSTEE_IS_NAME;
    deny.Trustee.TrusteeType = TRUSTEE_IS_WELL_KNOWN_GROUP;
    deny.Trustee.ptstrName = const_cast<wchar_t*>(L"EVERYONE");
    PACL newDacl = nullptr;
    ASSERT_EQ(::SetEntriesInAclW(1, &deny, oldDacl, &newDacl), ERROR_SUCCESS);
    ASSERT_EQ(::SetSecurityInfo(key, SE_REGISTRY_KEY, DACL_SECURITY_INFORMATION, nullptr, nullptr, newDacl, nullptr),
              ERROR_SUCCESS);
    ::LocalFree(newDacl);
    ::LocalFree(sd);
    ::RegCloseKey(key);
}

TEST_F(SettingsModel, ReadOnlyKeyStillLoadsTheStoredValues) {
    settings.LoadSettings();
    Store("EventEmailAddress", "pager@example.com");
    Store("Subject", "0");
    test::DeleteValue(HKEY_CURRENT_USER, kKey, "Comments");
    DenyWrites(kKey);
    HKEY probe = nullptr;
    const bool denied =
        ::RegOpenKeyExW(HKEY_CURRENT_USER, kKey.c_str(), 0, KEY_SET_VALUE, &probe) == ERROR_ACCESS_DENIED;
    if (probe) ::RegCloseKey(probe);
    ASSERT_TRUE(denied) << "the registry did not apply the deny entry";

    test::ScriptedHost host2;
    test::FakeCommands commands2;
    ui::ConfigureForm second(host2, commands2);
    second.Settings().LoadSettings();
    second.Settings().SaveSettings();
    EXPECT_EQ(second.txtEmailAddress.Text(), L"pager@example.com");
    EXPECT_EQ(second.chkSubject.Value(), 0);
    EXPECT_EQ(second.chkComments.Value(), 0);  // unreadable: the default, not stored
    EXPECT_EQ(Stored("Comments"), "<missing>");
    EXPECT_FALSE(second.Settings().WriteSetting(L"Subject", L"1", L"S"));
    EXPECT_EQ(Stored("Subject"), "0");
}

}  // namespace
}  // namespace hv::settings
