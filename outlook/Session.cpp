// Opening and closing the connection to Outlook.
#include <algorithm>
#include <cmath>
#include <cwchar>

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

// The wait between two tries to start an Outlook that is still starting.
constexpr DWORD kStartRetryMs = 1000;

// What creating an Outlook that is still starting (at sign-in, say) gives for a while: its server
// failed to start or to register in time, or went away during its start.
bool StillStarting(HRESULT hr) {
    const HRESULT codes[] = {CO_E_SERVER_EXEC_FAILURE, CO_E_SERVER_START_TIMEOUT,
                             RPC_E_DISCONNECTED,       RPC_E_SERVER_DIED,
                             RPC_E_SERVER_DIED_DNE,    HRESULT_FROM_WIN32(RPC_S_SERVER_UNAVAILABLE)};
    return std::find(std::begin(codes), std::end(codes), hr) != std::end(codes);
}

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

Dispatch AttachToOutlook() {
    CLSID clsid{};
    HRESULT hr = ::CLSIDFromProgID(L"Outlook.Application", &clsid);
    if (FAILED(hr)) throw AutomationError(hr, L"Outlook is not installed.");
    // Not GetActiveObject: Office joins the Running Object Table only once its window has lost the
    // focus (Microsoft's article "GetObject or GetActiveObject cannot find a running Office
    // application", KB 238610), so the table misses an Outlook that the user started and kept in
    // front. Outlook's class object, which the running Outlook registered, hands out its
    // Application instead: "Depending on whether the server is designed as SingleUse or MultiUse,
    // another server process may or may not be launched" ("GetObject and CreateObject behavior of
    // Office automation servers", learn.microsoft.com/office/troubleshoot/office-suite-issues/
    // getobject-createobject-behavior), and "Only one instance of Outlook ... can run at a time in
    // one user context" (KB 237913, on running Outlook's object model from a service).
    Dispatch app;
    hr = ::CoCreateInstance(clsid, nullptr, CLSCTX_LOCAL_SERVER, IID_PPV_ARGS(&app));
    if (FAILED(hr)) throw AutomationError(hr, L"Outlook cannot be reached.");
    return app;
}

Dispatch CreateOutlookApplication() {
    CLSID clsid{};
    HRESULT hr = ::CLSIDFromProgID(L"Outlook.Application", &clsid);
    if (FAILED(hr)) throw AutomationError(hr, L"Outlook is not installed.");
    Dispatch app;
    hr = ::CoCreateInstance(clsid, nullptr, CLSCTX_SERVER, IID_PPV_ARGS(&app));
    if (FAILED(hr)) throw AutomationError(hr, L"Outlook could not be started.");
    return app;
}

OutlookAutomation::OutlookAutomation(toolkit::Host& host, settings::LiveSettings& settings, ListShow showList,
                                     ApplicationFactory factory, ApplicationFactory attach, ProcessTest outlookRuns)
    : host_(host),
      settings_(settings),
      showList_(std::move(showList)),
      factory_(std::move(factory)),
      attach_(std::move(attach)),
      outlookRuns_(std::move(outlookRuns)),
      client_([&host](DWORD ms) { host.Sleep(ms); }, [&host] { return host.TickCount(); }) {}

void OutlookAutomation::ConnectCalendar(const ApplicationFactory& factory) {
    client_.Reopen();
    OutlookApp = factory();
    OutlookNameSpace = client_.Call(OutlookApp.Get(), L"GetNamespace", {L"MAPI"}).AsDispatch();
    Dispatch calendar = client_.Call(OutlookNameSpace.Get(), L"GetDefaultFolder", {kFolderCalendar}).AsDispatch();
    CalendarItems = client_.Get(calendar.Get(), L"Items").AsDispatch();
    // Every occurrence of a series is an item of its own, with that day's values, in start order.
    // The order matters: Microsoft's "Items.IncludeRecurrences property (Outlook)" page says to
    // "sort the items in ascending order, set IncludeRecurrences to True, and then filter".
    client_.Call(CalendarItems.Get(), L"Sort", {L"[Start]"});
    client_.Put(CalendarItems.Get(), L"IncludeRecurrences", true);
}

// Creates Outlook, and again while it is still starting, for as long as the opening's patience
// lasts from the first try. An Outlook that is not installed fails at once.
Dispatch OutlookAutomation::StartOutlook() {
    const ULONGLONG first = host_.TickCount();
    for (;;) {
        try {
            return factory_();
        } catch (const AutomationError& e) {
            const ULONGLONG elapsed = host_.TickCount() - first;
            if (!StillStarting(e.Result()) || client_.Closed() || elapsed >= client_.PatienceMs()) throw;
            host_.Sleep(static_cast<DWORD>(std::min<ULONGLONG>(kStartRetryMs, client_.PatienceMs() - elapsed)));
        }
    }
}

std::wstring OutlookAutomation::OpenOutlookSession() {
    // An Outlook that is still starting (loading its add-ins) turns calls down for a while.
    const AutomationClient::Patience starting(client_, AutomationClient::kPatienceWhileOpening);
    try {
        // Exit waits for the Outbox of an Outlook that this program started (and ends with it).
        startedOutlook_ = !outlookRuns_();
        ConnectCalendar([this] { return StartOutlook(); });
        PendingItems.clear();
        SentLog.clear();
        const std::wstring result = TypeName(OutlookApp.Get());
        ShowSecurityNoticeIfNeeded();
        if (!client_.Closed()) return result;
    } catch (const AutomationError&) {
        if (!client_.Closed()) return kNothing;
    }
    CloseOutlookSession();  // the program began to end while Outlook was opened: let go of what came
    return kNothing;
}

void OutlookAutomation::ShowSecurityNoticeIfNeeded() {
    Dispatch session = client_.Get(OutlookApp.Get(), L"Session").AsDispatch();
    Dispatch inbox = client_.Call(session.Get(), L"GetDefaultFolder", {kFolderInbox}).AsDispatch();
    Dispatch store = client_.Get(inbox.Get(), L"Parent").AsDispatch();
    const bool mailServer = client_.Get(store.Get(), L"Name").AsString().find(L"Mailbox - ") != std::wstring::npos;
    const bool guardedBuild = BuildNumber(client_.Get(OutlookApp.Get(), L"Version").AsString()) >= kFirstGuardedBuild;
    if (!((settings_.SecurityNoticeUnseen() && !mailServer) || guardedBuild)) return;
    if (client_.Closed()) return;  // the program is ending: nothing more to say
    host_.ShowMessage(nullptr, kSecurityNotice, MB_OK | MB_ICONINFORMATION, toolkit::ReadVersionInfo().productName);
    settings_.SecurityNoticeShown();
}

void OutlookAutomation::CloseOutlookSession() {
    client_.Close();  // a poll still waiting for Outlook ends at its next call
    OutlookApp.Reset();
    OutlookNameSpace.Reset();
    CalendarItems.Reset();
    PendingItems.clear();
    lostOutlook_.clear();
    outbox_.ForgetFolder();
}

}  // namespace hv::outlook
