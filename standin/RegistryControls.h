// Steering a running server from outside through HKCU\Software\OutlookStandin, read again as soon
// as the key changes (a change notification, so that a call made after the value was written sees
// it), or every 500 ms while the key does not exist yet: a new non-zero number in Disconnect (REG_DWORD) makes the
// server go away; FailMember (REG_SZ "Kind.Member=description") makes that member fail on every call until the value
// changes (empty: nothing fails); BusySeconds, CallDelayMs, Guard, SendDelayMs and Offline are Outlook's conditions
// (Conditions.h), followed as they change. The values found at start are the base line for Disconnect; everything else
// applies at once.
#pragma once
#include <windows.h>

#include <memory>
#include <optional>
#include <string>
#include <type_traits>

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
    bool KeyChanged();
    void WatchKey();

    struct KeyClose {
        void operator()(HKEY key) const { ::RegCloseKey(key); }
    };
    struct HandleClose {
        void operator()(HANDLE handle) const { ::CloseHandle(handle); }
    };

    FaultPlan& faults_;
    ULONGLONG lastLook_ = 0;
    std::unique_ptr<std::remove_pointer_t<HKEY>, KeyClose> key_;
    std::unique_ptr<void, HandleClose> changed_;  // signalled by the key's change notification
    DWORD disconnect_ = 0;
    std::wstring failMember_;
    Conditions conditions_;
    std::optional<std::pair<std::wstring, std::wstring>> failing_;  // kind, member
};

// HKCU\Software\OutlookStandin
inline constexpr const wchar_t* kSettingsKey = L"Software\\OutlookStandin";

}  // namespace standin
