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
}

void RegistryControls::Poll() {
    const ULONGLONG now = ::GetTickCount64();
    if (now - lastLook_ < kLookEveryMs) return;
    lastLook_ = now;
    ApplyNow();
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
