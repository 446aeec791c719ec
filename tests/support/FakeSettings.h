// Live settings without a window, for the engine and the benchmark: the values live here, start as
// an unloaded configuration window's do (empty texts, clear boxes, the flag at its default), and
// are loaded and saved through the real settings model.
#pragma once
#include <map>
#include <string>

#include "settings/Settings.h"

namespace hv::test {

class FakeSettings : public settings::LiveSettings {
public:
    std::wstring Text(const settings::Setting& s) override {
        auto it = values_.find(&s);
        return it != values_.end() ? it->second : &s == &settings::kSecurityWarning ? s.defaultText : L"";
    }
    void SetText(const settings::Setting& s, const std::wstring& text) override { values_[&s] = text; }
    int Value(const settings::Setting& s) override { return Text(s) == L"1" ? 1 : 0; }
    void SetValue(const settings::Setting& s, int value) override { values_[&s] = value ? L"1" : L"0"; }
    void SaveAll() override { store.SaveSettings(); }

    settings::Settings store{*this};

private:
    std::map<const settings::Setting*, std::wstring> values_;
};

}  // namespace hv::test
