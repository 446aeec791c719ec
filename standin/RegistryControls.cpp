#include "standin/RegistryControls.h"

#include <cwchar>
#include <stdexcept>

namespace standin {
namespace {

constexpr ULONGLONG kLookEveryMs = 500;

DWORD ReadNumber(const wchar_t* name) {
    DWORD value = 0, bytes = sizeof value;
    if (::RegGetValueW(HKEY_CURRENT_USER, kSettingsKey, name, RRF_RT_REG_DWORD, nullptr, &value, &bytes) !=
        ERROR_SUCCESS) {
        return 0;
    }
    return value;
}

std::wstring ReadText(const wchar_t* name) {
    wchar_t text[1024] = {};
    DWORD bytes = sizeof text;
    if (::RegGetValueW(HKEY_CURRENT_USER, kSettingsKey, name, RRF_RT_REG_SZ, nullptr, text, &bytes) != ERROR_SUCCESS) {
        return {};
    }
    return std::wstring(text, wcsnlen(text, 1024));
}

}  // namespace

RegistryControls::RegistryControls(FaultPlan& faults) : faults_(faults) {
    disconnect_ = ReadNumber(L"Disconnect");
    ApplyFailMember(ReadText(L"FailMember"));
    ReadConditions();
    lastLook_ = ::GetTickCount64();
    WatchKey();
}

void RegistryControls::Poll() {
    if (!KeyChanged()) return;
    ApplyNow();
}

// The notification is signalled when the write is made, so the first call after a test wrote a
// value already sees it; a look every 500 ms would let that call through unchanged.
bool RegistryControls::KeyChanged() {
    if (changed_) {
        if (::WaitForSingleObject(changed_.get(), 0) != WAIT_OBJECT_0) return false;
        WatchKey();
        return true;
    }
    const ULONGLONG now = ::GetTickCount64();
    if (now - lastLook_ < kLookEveryMs) return false;
    lastLook_ = now;
    WatchKey();
    return true;
}

// A notification lasts for one change: it is asked for again before the values are read, so that
// no write falls between the two.
void RegistryControls::WatchKey() {
    if (!changed_) {
        HKEY key = nullptr;
        if (::RegOpenKeyExW(HKEY_CURRENT_USER, kSettingsKey, 0, KEY_NOTIFY, &key) != ERROR_SUCCESS) return;
        key_.reset(key);
        changed_.reset(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    }
    if (changed_) ::ResetEvent(changed_.get());
    if (!changed_ || ::RegNotifyChangeKeyValue(key_.get(), FALSE, REG_NOTIFY_CHANGE_LAST_SET, changed_.get(), TRUE) !=
                         ERROR_SUCCESS) {
        changed_.reset();
        key_.reset();
    }
}

void RegistryControls::ApplyNow() {
    const DWORD disconnect = ReadNumber(L"Disconnect");
    if (disconnect != disconnect_) {
        disconnect_ = disconnect;
        if (disconnect != 0) faults_.GoAway();
    }
    const std::wstring failMember = ReadText(L"FailMember");
    if (failMember != failMember_) ApplyFailMember(failMember);
    ReadConditions();
}

void RegistryControls::ReadConditions() {
    conditions_.busySeconds = ReadNumber(L"BusySeconds");
    conditions_.callDelayMs = ReadNumber(L"CallDelayMs");
    const DWORD guard = ReadNumber(L"Guard");
    conditions_.guard = guard == 0 ? GuardPolicy::Off : guard == 2 ? GuardPolicy::Deny : GuardPolicy::Prompt;
    conditions_.sendDelayMs = ReadNumber(L"SendDelayMs");
    conditions_.offline = ReadNumber(L"Offline") != 0;
}

void RegistryControls::ApplyFailMember(const std::wstring& value) {
    failMember_ = value;
    if (failing_) {
        faults_.Clear(failing_->first, failing_->second);
        failing_.reset();
    }
    const size_t dot = value.find(L'.');
    const size_t equals = value.find(L'=');
    if (dot == std::wstring::npos || equals == std::wstring::npos || dot > equals) return;
    std::wstring kind = value.substr(0, dot), member = value.substr(dot + 1, equals - dot - 1);
    try {
        faults_.Fail(kind, member, value.substr(equals + 1), 0);
        failing_.emplace(std::move(kind), std::move(member));
    } catch (const std::invalid_argument&) {
        // A name the server does not have: nothing fails.
    }
}

}  // namespace standin
