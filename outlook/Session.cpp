// Opening and closing the connection to Outlook.
#include <cwchar>
#include <cmath>

#include "outlook/OutlookAutomation.h"
#include "toolkit/VersionInfo.h"

namespace hv::outlook {
namespace {

constexpr int kFolderCalendar = 9;
constexpr int kFolderInbox = 6;
// Outlook builds from this number on may ask the user to approve every message a program sends.
constexpr double kFirstGuardedBuild = 4201;

const wchar_t kSecurityNotice[] =
    L"The version of Outlook you are running may prevent Horavane from automatically sending email.\r\n\r\n"
    L"NOTE: If Outlook email security is enabled, you will be prompted by Outlook to manually approve email \r\n"
    L"sent from Horavane.";

// The whole-number part of the last four characters of the version text ("...4201" gives 4201).
double BuildNumber(const std::wstring& version) {
    std::wstring tail = version.size() > 4 ? version.substr(version.size() - 4) : version;
    while (!tail.empty() && tail.front() == L' ') tail.erase(0, 1);
    wchar_t* end = nullptr;
    const double n = std::wcstod(tail.c_str(), &end);
    if (tail.empty() || end != tail.c_str() + tail.size())
        throw AutomationError(DISP_E_TYPEMISMATCH, L"Unreadable Outlook version: " + version);
    return std::floor(n);
}

}  // namespace

Dispatch CreateOutlookApplication() {
    CLSID clsid{};
    HRESULT hr = ::CLSIDFromProgID(L"Outlook.Application", &clsid);
    if (FAILED(hr)) throw AutomationError(hr, L"Outlook is not installed.");
    Dispatch app;
    hr = ::CoCreateInstance(clsid, nullptr, CLSCTX_SERVER, IID_PPV_ARGS(&app));
    if (FAILED(hr)) throw AutomationError(hr, L"Outlook could not be started.");
    return app;
}

OutlookAutomation::OutlookAutomation(toolkit::Host& host, settings::Settings& settings, toolkit::TextBox& txtQ,
                                     ApplicationFactory factory)
    : host_(host), settings_(settings), txtQ_(txtQ), factory_(std::move(factory)) {}

void OutlookAutomation::ConnectCalendar() {
    OutlookApp = factory_();
    OutlookNameSpace = Call(OutlookApp.Get(), L"GetNamespace", {L"MAPI"}).AsDispatch();
    Dispatch calendar = Call(OutlookNameSpace.Get(), L"GetDefaultFolder", {kFolderCalendar}).AsDispatch();
    CalendarItems = Get(calendar.Get(), L"Items").AsDispatch();
    // Every occurrence of a series is an item of its own, with that day's values, in start order.
    Put(CalendarItems.Get(), L"IncludeRecurrences", true);
    Call(CalendarItems.Get(), L"Sort", {L"[Start]"});
}

std::wstring OutlookAutomation::OpenOutlookSession() {
    try {
        ConnectCalendar();
        PendingItems.clear();
        SentLog.clear();
        const std::wstring result = TypeName(OutlookApp.Get());
        ShowSecurityNoticeIfNeeded();
        return result;
    } catch (const AutomationError&) {
        return kNothing;
    }
}

void OutlookAutomation::ShowSecurityNoticeIfNeeded() {
    Dispatch session = Get(OutlookApp.Get(), L"Session").AsDispatch();
    Dispatch inbox = Call(session.Get(), L"GetDefaultFolder", {kFolderInbox}).AsDispatch();
    Dispatch store = Get(inbox.Get(), L"Parent").AsDispatch();
    const bool mailServer = Get(store.Get(), L"Name").AsString().find(L"Mailbox - ") != std::wstring::npos;
    const bool guardedBuild = BuildNumber(Get(OutlookApp.Get(), L"Version").AsString()) >= kFirstGuardedBuild;
    if (!((settings_.SecurityWarning == L"False" && !mailServer) || guardedBuild)) return;
    host_.ShowMessage(nullptr, kSecurityNotice, MB_OK | MB_ICONINFORMATION, toolkit::ReadVersionInfo().productName);
    settings_.SecurityWarning = L"True";
    settings_.SaveSettings();
}

void OutlookAutomation::CloseOutlookSession() {
    OutlookApp.Reset();
    OutlookNameSpace.Reset();
    CalendarItems.Reset();
    PendingItems.clear();
}

}  // namespace hv::outlook
