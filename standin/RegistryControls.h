// Steering a running server from outside through HKCU\Software\OutlookStandin, looked at no more
// than every 500 ms: a new non-zero number in Disconnect (REG_DWORD) makes the server go away;
// FailMember (REG_SZ "Kind.Member=description") makes that member fail on every call until the
// value changes (empty: nothing fails); BusySeconds, CallDelayMs, Guard, SendDelayMs and Offline
// are Outlook's conditions (Conditions.h), followed as they change. The values found at start are
// the base line for Disconnect; everything else applies at once.
#pragma once
#include <windows.h>

#include <optional>
#include <string>

#include "standin/Conditions.h"
#include "standin/Standin.h"

namespace standin {

class RegistryControls {
public:
    explicit RegistryControls(FaultPlan& faults);
    RegistryControls(const RegistryControls&) = delete;
    RegistryControls& operator=(const RegistryControls&) = delete;

    void Poll();
    const Conditions& Current() const { return conditions_; }

private:
    void ApplyNow();
    void ReadConditions();
    void ApplyFailMember(const std::wstring& value);

    FaultPlan& faults_;
    ULONGLONG lastLook_ = 0;
    DWORD disconnect_ = 0;
    std::wstring failMember_;
    Conditions conditions_;
    std::optional<std::pair<std::wstring, std::wstring>> failing_;  // kind, member
};

// HKCU\Software\OutlookStandin
inline constexpr const wchar_t* kSettingsKey = L"Software\\OutlookStandin";

}  // namespace standin
