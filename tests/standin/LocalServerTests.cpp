// OutlookStandin.exe as the prefix registers it: reached by ProgID from this process as Outlook
// is, in a process of its own, steered through HKCU\Software\OutlookStandin.
#include <windows.h>
#include <objbase.h>
#include <oleauto.h>
#include <olectl.h>

#include <filesystem>
#include <fstream>
#include <future>
#include <map>
#include <string>

#include <gtest/gtest.h>

#include "standin/GuardPrompt.h"
#include "standin/LocalServer.h"
#include "standin/Registration.h"
#include "standin/Standin.h"
#include "tests/e2e/DriverProcesses.h"
#include "tests/standin/Automation.h"
#include "tests/support/RegistrySandbox.h"

namespace hv::test {
namespace {

namespace fs = std::filesystem;

const wchar_t kKey[] = L"Software\\OutlookStandin";
const wchar_t kExe[] = L"OutlookStandin.exe";
// What Wine answers for a call on a reference into a process that has ended.
constexpr HRESULT kServerUnavailable = HRESULT_FROM_WIN32(RPC_S_SERVER_UNAVAILABLE);  // 0x800706BA

std::wstring Beside(const wchar_t* file) {
    wchar_t exe[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, exe, MAX_PATH);
    std::wstring path = exe;
    return path.substr(0, path.find_last_of(L"\\/") + 1) + file;
}

void SetText(const wchar_t* name, const std::wstring& value) {
    ASSERT_EQ(::RegSetKeyValueW(HKEY_CURRENT_USER, kKey, name, REG_SZ, value.c_str(),
                                static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t))),
              ERROR_SUCCESS);
}

void SetNumber(const wchar_t* name, DWORD value) {
    ASSERT_EQ(::RegSetKeyValueW(HKEY_CURRENT_USER, kKey, name, REG_DWORD, &value, sizeof value), ERROR_SUCCESS);
}

// Runs OutlookStandin.exe with `args` and returns its exit code and what it printed; `wait`
// false returns at once (a user's start).
DWORD RunStandin(const std::wstring& args, std::string* output = nullptr, bool wait = true) {
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    if (output && !::CreatePipe(&readEnd, &writeEnd, &inherit, 0)) return ~0u;
    STARTUPINFOW si{};
    si.cb = sizeof si;
    if (output) {
        si.dwFlags = STARTF_USESTDHANDLES;
        si.hStdOutput = writeEnd;
        si.hStdError = writeEnd;
    }
    std::wstring line = L"\"" + Beside(kExe) + L"\" " + args;
    PROCESS_INFORMATION pi{};
    const BOOL started = ::CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi);
    if (writeEnd) ::CloseHandle(writeEnd);
    if (!started) return ~0u;
    if (output) {
        char buffer[4096];
        DWORD got = 0;
        while (::ReadFile(readEnd, buffer, sizeof buffer, &got, nullptr) && got > 0) output->append(buffer, got);
        ::CloseHandle(readEnd);
    }
    DWORD code = 0;
    if (wait) ::WaitForSingleObject(pi.hProcess, 30000);
    ::GetExitCodeProcess(pi.hProcess, &code);
    ::CloseHandle(pi.hThread);
    ::CloseHandle(pi.hProcess);
    return code;
}

size_t StandinProcesses() { return e2e::Processes(kExe).size(); }

ComPtr<IDispatch> Create() {
    CLSID clsid{};
    EXPECT_EQ(::CLSIDFromProgID(L"Outlook.Application", &clsid), S_OK);
    ComPtr<IDispatch> app;
    EXPECT_EQ(::CoCreateInstance(clsid, nullptr, CLSCTX_LOCAL_SERVER, IID_PPV_ARGS(&app)), S_OK);
    return app;
}

// The running Outlook as GetActiveObject finds it in the Running Object Table, or null.
ComPtr<IDispatch> Active() {
    ComPtr<IUnknown> unknown;
    ComPtr<IDispatch> app;
    if (SUCCEEDED(::GetActiveObject(standin::kApplicationClsid, nullptr, &unknown))) unknown.As(&app);
    return app;
}

template <class Test>
bool Eventually(Test test, DWORD timeoutMs = 10000) {
    const ULONGLONG end = ::GetTickCount64() + timeoutMs;
    while (!test()) {
        if (::GetTickCount64() >= end) return false;
        ::Sleep(100);
    }
    return true;
}

// Starts the stand-in as the user starts Outlook and waits until its main window is shown and
// has the focus; null when it does not come.
HWND StartAsUser() {
    RunStandin(L"", nullptr, false);
    HWND window = nullptr;
    if (!Eventually([&] {
            return (window = ::FindWindowW(standin::kMainWindowClass, nullptr)) && ::IsWindowVisible(window) &&
                   ::GetForegroundWindow() == window;
        })) {
        return nullptr;
    }
    return window;
}

// A window of this process that takes the focus, as the user switching to another program does.
class OtherProgram {
public:
    OtherProgram()
        : window_(::CreateWindowExW(0, L"STATIC", L"Another program", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 200, 100,
                                    nullptr, nullptr, nullptr, nullptr)) {
        ::SetForegroundWindow(window_);
    }
    ~OtherProgram() { ::DestroyWindow(window_); }
    OtherProgram(const OtherProgram&) = delete;
    OtherProgram& operator=(const OtherProgram&) = delete;

private:
    HWND window_;
};

// The running stand-in's counters, as "/counters" prints them.
std::map<std::string, long> Counters() {
    std::string text;
    EXPECT_EQ(RunStandin(L"/counters", &text), 0u);
    std::map<std::string, long> counters;
    size_t at = 0;
    while (at < text.size()) {
        const size_t end = text.find('\n', at), equals = text.find('=', at);
        if (equals < end) counters[text.substr(at, equals - at)] = std::stol(text.substr(equals + 1, end - equals - 1));
        at = end == std::string::npos ? text.size() : end + 1;
    }
    return counters;
}

HRESULT Try(IDispatch* object, const wchar_t* member, Outcome& out, const std::vector<Arg>& args = {}) {
    return TryInvoke(object, member, DISPATCH_METHOD | DISPATCH_PROPERTYGET, args, out);
}

std::wstring TypeNameOf(IDispatch* object) {
    ComPtr<ITypeInfo> info;
    UINT count = 0;
    if (FAILED(object->GetTypeInfoCount(&count)) || count != 1 || FAILED(object->GetTypeInfo(0, 0, &info))) return L"";
    BSTR name = nullptr;
    if (FAILED(info->GetDocumentation(MEMBERID_NIL, &name, nullptr, nullptr, nullptr))) return L"";
    std::wstring text(name, ::SysStringLen(name));
    ::SysFreeString(name);
    return text;
}

// What the test saw of one security prompt, answered from another thread while the call that
// raised it waits.
struct PromptSeen {
    bool shown = false;
    bool send = false;  // the send prompt (with its wait bar)
    bool allowEnabledAtFirst = true;
    ULONGLONG allowEnabledAfterMs = 0;
};

std::future<PromptSeen> AnswerNextPrompt(bool allow, int allowMinutesIndex = -1, DWORD waitMs = 20000) {
    return std::async(std::launch::async, [=] {
        PromptSeen seen;
        HWND prompt = nullptr;
        if (!Eventually(
                [&] { return (prompt = ::FindWindowW(standin::kPromptClass, nullptr)) && ::IsWindowVisible(prompt); },
                waitMs)) {
            return seen;
        }
        const ULONGLONG shownAt = ::GetTickCount64();
        seen.shown = true;
        seen.send = ::GetDlgItem(prompt, standin::kWaitBarId) != nullptr;
        HWND allowButton = ::GetDlgItem(prompt, standin::kAllowId);
        seen.allowEnabledAtFirst = ::IsWindowEnabled(allowButton);
        if (allow) {
            if (allowMinutesIndex >= 0) {
                ::SendMessageW(::GetDlgItem(prompt, standin::kAllowForId), BM_CLICK, 0, 0);
                ::SendDlgItemMessageW(prompt, standin::kMinutesId, CB_SETCURSEL, static_cast<WPARAM>(allowMinutesIndex),
                                      0);
            }
            Eventually([&] { return ::IsWindowEnabled(allowButton) != FALSE; }, 15000);
            seen.allowEnabledAfterMs = ::GetTickCount64() - shownAt;
            ::SendMessageW(allowButton, BM_CLICK, 0, 0);
        } else {
            ::SendMessageW(::GetDlgItem(prompt, standin::kDenyId), BM_CLICK, 0, 0);
        }
        Eventually([&] { return !::IsWindow(prompt); });
        return seen;
    });
}

size_t MessagesIn(const fs::path& folder) {
    size_t n = 0;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(folder, ec)) n += entry.path().extension() == ".eml";
    return n;
}

// Each test meets no running stand-in and its own settings, and leaves none behind.
class StandinProcess : public testing::Test {
protected:
    void SetUp() override {
        EndEveryStandin();
        outbox = fs::temp_directory_path() / ("standin-process-" + std::to_string(::GetCurrentProcessId()));
        fs::remove_all(outbox);
        SetText(L"OutboxFolder", outbox.wstring());
    }
    void TearDown() override {
        EndEveryStandin();
        fs::remove_all(outbox);
    }
    static void EndEveryStandin() {
        // Closed, not killed: Wine keeps a killed server's class registration, and creating the
        // class then fails until the Wine server restarts.
        if (RunStandin(L"/close") != 0) e2e::EndProcesses(kExe);
        ::RegDeleteTreeW(HKEY_CURRENT_USER, kKey);
    }
    // A mail item addressed to one resolved recipient.
    static ComPtr<IDispatch> NewMail(IDispatch* app) {
        auto mail = Object(app, L"CreateItem", {0});
        Put(mail.Get(), L"Subject", Arg(L"Standup (9:00 AM - 9:15 AM)"));
        return mail;
    }

    fs::path outbox;
};

TEST_F(StandinProcess, ComStartsOneProcessThatEveryClientAttachesToNeverListedAndEndingWithItsLastClient) {
    ASSERT_EQ(StandinProcesses(), 0u);
    auto first = Create();
    ASSERT_TRUE(first);
    const long process = Counters()["ProcessId"];
    auto second = Create();
    ASSERT_TRUE(second);
    EXPECT_EQ(StandinProcesses(), 1u);
    EXPECT_EQ(Counters()["ProcessId"], process);  // the second client attached to the same process
    EXPECT_EQ(Text(second.Get(), L"Version"), L"9.0.0.3821");
    EXPECT_EQ(::FindWindowW(standin::kMainWindowClass, nullptr), nullptr);  // started by COM: no window
    ::Sleep(1500);
    EXPECT_FALSE(Active());  // and never in the Running Object Table
    EXPECT_EQ(TypeNameOf(first.Get()), L"_Application");
    EXPECT_EQ(Counters()["HeldByClients"], 2);
    first.Reset();
    ::Sleep(500);
    EXPECT_EQ(StandinProcesses(), 1u);  // the second client still holds it
    second.Reset();
    EXPECT_TRUE(e2e::WaitNoProcess(kExe, 10000));
}

TEST_F(StandinProcess, StartedByTheUserItShowsItsWindowJoinsTheTableOnceItLosesTheFocusAndRunsUntilClosed) {
    HWND window = StartAsUser();
    ASSERT_TRUE(window);
    wchar_t title[64] = {};
    ::GetWindowTextW(window, title, 64);
    EXPECT_STREQ(title, L"Outlook stand-in");
    ::Sleep(1000);
    EXPECT_FALSE(Active());  // not while its window has the focus
    ComPtr<IDispatch> running;
    Outcome out;
    {
        OtherProgram other;
        ASSERT_TRUE(Eventually([&] { return (running = Active()) != nullptr; }));
    }
    EXPECT_EQ(Text(running.Get(), L"Version"), L"9.0.0.3821");
    // Gone away, it leaves the table, and joins again when its window next loses the focus, as
    // an Outlook started again does.
    SetNumber(L"Disconnect", 1);
    EXPECT_TRUE(Eventually([&] { return Try(running.Get(), L"Version", out) == RPC_E_DISCONNECTED; }, 3000));
    EXPECT_FALSE(Active());
    ::SetForegroundWindow(window);
    ASSERT_TRUE(Eventually([&] { return ::GetForegroundWindow() == window; }));
    {
        OtherProgram other;
        EXPECT_TRUE(Eventually([&] {
            running = Active();
            return running && Try(running.Get(), L"Version", out) == S_OK;
        }));
    }
    running.Reset();

    EXPECT_EQ(RunStandin(L""), 0u);  // a second start hands over and ends
    auto app = Create();
    ASSERT_TRUE(app);
    EXPECT_EQ(StandinProcesses(), 1u);
    auto items =
        Object(Object(Object(app.Get(), L"GetNamespace", {L"MAPI"}).Get(), L"GetDefaultFolder", {9}).Get(), L"Items");
    app.Reset();
    ::Sleep(500);
    items.Reset();
    ::Sleep(500);
    EXPECT_EQ(StandinProcesses(), 1u);  // no client left, but the user's window is open

    app = Create();
    ASSERT_TRUE(app);
    EXPECT_EQ(RunStandin(L"/close"), 0u);  // as the user closes it, while this client holds a reference
    EXPECT_EQ(StandinProcesses(), 0u);
    EXPECT_EQ(Try(app.Get(), L"Version", out), kServerUnavailable);
    EXPECT_FALSE(Active());
}

TEST_F(StandinProcess, ACrashLeavesFailingReferencesAndTheNextOneIsFoundRunning) {
    auto app = Create();
    ASSERT_TRUE(app);
    ASSERT_EQ(RunStandin(L"/crash"), 0u);
    EXPECT_EQ(StandinProcesses(), 0u);
    Outcome out;
    EXPECT_EQ(Try(app.Get(), L"Version", out), kServerUnavailable);
    app.Reset();
    EXPECT_TRUE(Create());  // a new client starts a new process
    RunStandin(L"/close");
    ASSERT_TRUE(StartAsUser());  // the user starts Outlook again, and goes on to another program
    OtherProgram other;
    ComPtr<IDispatch> fresh;
    ASSERT_TRUE(Eventually([&] { return (fresh = Active()) != nullptr; }));
    EXPECT_EQ(Text(fresh.Get(), L"Version"), L"9.0.0.3821");
}

TEST_F(StandinProcess, WhileBusyAtStartCallsAreTurnedDownAndItJoinsTheTableOnlyAfterwards) {
    SetNumber(L"BusySeconds", 3);
    const ULONGLONG started = ::GetTickCount64();
    ASSERT_TRUE(StartAsUser());
    OtherProgram other;  // its window loses the focus while it is still busy
    auto app = Create();
    ASSERT_TRUE(app);
    Outcome out;
    EXPECT_EQ(Try(app.Get(), L"Version", out), RPC_E_CALL_REJECTED);
    EXPECT_FALSE(Active());
    EXPECT_TRUE(Eventually([&] { return Try(app.Get(), L"Version", out) == S_OK; }));
    EXPECT_GE(::GetTickCount64() - started, 2500u);
    EXPECT_TRUE(Eventually([] { return Active() != nullptr; }, 3000));
    EXPECT_GT(Counters()["RejectedCalls"], 0);
}

TEST_F(StandinProcess, EveryCallTakesCallDelayMsLonger) {
    SetNumber(L"CallDelayMs", 300);
    auto app = Create();
    ASSERT_TRUE(app);
    const ULONGLONG before = ::GetTickCount64();
    for (int i = 0; i < 3; ++i) Text(app.Get(), L"Version");  // a name lookup and a call each
    EXPECT_GE(::GetTickCount64() - before, 6u * 300u);
}

TEST_F(StandinProcess, TheGuardPromptsAtProtectedMembersAndDenyFailsWithOutlooksCodes) {
    SetNumber(L"Guard", 1);
    auto app = Create();
    ASSERT_TRUE(app);
    auto ns = Object(app.Get(), L"GetNamespace", {L"MAPI"});  // not protected
    Outcome out;

    auto denied = AnswerNextPrompt(false);
    EXPECT_EQ(Try(ns.Get(), L"CurrentUser", out), DISP_E_EXCEPTION);
    EXPECT_EQ(out.scode, static_cast<HRESULT>(0x80040102));  // MAPI_E_NOT_SUPPORTED
    EXPECT_FALSE(denied.get().send);

    auto mail = NewMail(app.Get());  // writing the subject is not protected
    auto allowedForAMinute = AnswerNextPrompt(true, 0);
    auto recipients = Object(mail.Get(), L"Recipients");  // reading the recipient list is
    EXPECT_TRUE(allowedForAMinute.get().shown);
    auto noPrompt = AnswerNextPrompt(false, -1, 2000);
    auto recipient = Object(recipients.Get(), L"Add", {L"pager@example.com"});
    EXPECT_TRUE(Flag(recipient.Get(), L"Resolve"));  // inside the minute: no prompt
    EXPECT_FALSE(noPrompt.get().shown);

    auto sendAllowed = AnswerNextPrompt(true);
    EXPECT_EQ(Try(mail.Get(), L"Send", out), S_OK);
    const PromptSeen seen = sendAllowed.get();
    EXPECT_TRUE(seen.send);
    EXPECT_FALSE(seen.allowEnabledAtFirst);
    EXPECT_GE(seen.allowEnabledAfterMs, 4500u);
    EXPECT_EQ(MessagesIn(outbox), 1u);

    auto second = NewMail(app.Get());
    Perform(Object(Object(second.Get(), L"Recipients").Get(), L"Add", {L"pager@example.com"}).Get(), L"Resolve");
    auto sendDenied = AnswerNextPrompt(false);
    EXPECT_EQ(Try(second.Get(), L"Send", out), DISP_E_EXCEPTION);
    EXPECT_EQ(out.scode, E_ABORT);
    EXPECT_EQ(out.description, L"Operation aborted");
    EXPECT_TRUE(sendDenied.get().send);
    EXPECT_EQ(MessagesIn(outbox), 1u);
}

TEST_F(StandinProcess, GuardTwoDeniesEveryProtectedCallAtOnceWithoutAPrompt) {
    SetNumber(L"Guard", 2);
    auto app = Create();
    ASSERT_TRUE(app);
    auto ns = Object(app.Get(), L"GetNamespace", {L"MAPI"});
    auto mail = NewMail(app.Get());
    auto noPrompt = AnswerNextPrompt(false, -1, 3000);
    for (const wchar_t* member : {L"Recipients", L"To", L"Body", L"Send", L"CurrentUser"}) {
        Outcome out;
        EXPECT_EQ(Try(member == std::wstring(L"CurrentUser") ? ns.Get() : mail.Get(), member, out), DISP_E_EXCEPTION)
            << member;
        EXPECT_EQ(out.scode, static_cast<HRESULT>(0x80040102)) << member;  // MAPI_E_NOT_SUPPORTED
    }
    EXPECT_FALSE(noPrompt.get().shown);
    EXPECT_EQ(Text(mail.Get(), L"Subject"), L"Standup (9:00 AM - 9:15 AM)");  // not protected
    EXPECT_EQ(MessagesIn(outbox), 0u);
}

// Items(i): the collection's default member, reached through DISPID_VALUE.
ComPtr<IDispatch> ItemAt(IDispatch* items, long index) {
    VARIANT result, arg;
    ::VariantInit(&result);
    arg.vt = VT_I4;
    arg.lVal = index;
    DISPPARAMS params{&arg, nullptr, 1, 0};
    EXPECT_EQ(items->Invoke(DISPID_VALUE, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD | DISPATCH_PROPERTYGET,
                            &params, &result, nullptr, nullptr),
              S_OK);
    ComPtr<IDispatch> item = result.vt == VT_DISPATCH ? result.pdispVal : nullptr;
    ::VariantClear(&result);
    return item;
}

TEST_F(StandinProcess, SentMailWaitsInTheOutboxFolderForSendDelayMsAndWhileOfflineAndTheNextProcessSendsWhatWasLeft) {
    auto sendTo = [](IDispatch* app, std::vector<const wchar_t*> to, const wchar_t* subject) {
        auto mail = NewMail(app);
        Put(mail.Get(), L"Subject", Arg(subject));
        auto recipients = Object(mail.Get(), L"Recipients");
        for (const wchar_t* address : to) Perform(Object(recipients.Get(), L"Add", {address}).Get(), L"Resolve");
        Perform(mail.Get(), L"Send");
    };
    const wchar_t kStandup[] = L"Standup (9:00 AM - 9:15 AM)";
    const wchar_t kReview[] = L"Revue budgétaire (10:00 – 11:00) >Salle 4";
    SetNumber(L"SendDelayMs", 1500);
    auto app = Create();
    ASSERT_TRUE(app);
    auto ns = Object(app.Get(), L"Session");
    auto waiting = Object(Object(ns.Get(), L"GetDefaultFolder", {4}).Get(), L"Items");  // olFolderOutbox
    EXPECT_EQ(Number(waiting.Get(), L"Count"), 0);
    sendTo(app.Get(), {L"pager@example.com"}, kStandup);
    EXPECT_EQ(MessagesIn(outbox), 0u);
    EXPECT_EQ(MessagesIn(outbox / "Outbox"), 1u);
    EXPECT_EQ(Number(waiting.Get(), L"Count"), 1);
    auto first = Object(waiting.Get(), L"Item", {1});
    EXPECT_EQ(Text(first.Get(), L"Subject"), kStandup);
    EXPECT_EQ(Text(first.Get(), L"To"), L"pager@example.com");
    EXPECT_TRUE(Eventually([&] { return MessagesIn(outbox) == 1; }, 5000));
    EXPECT_EQ(Number(waiting.Get(), L"Count"), 0);  // the same collection, read again
    Outcome out;
    EXPECT_EQ(Try(first.Get(), L"Subject", out), DISP_E_EXCEPTION);  // it has left the Outbox
    EXPECT_EQ(out.description, L"The item has been moved or deleted.");

    // Offline: Send succeeds, and nothing leaves the Outbox, delay or not, until it is online.
    SetNumber(L"SendDelayMs", 0);
    SetNumber(L"Offline", 1);
    EXPECT_TRUE(Eventually([&] { return Flag(ns.Get(), L"Offline"); }, 3000));
    sendTo(app.Get(), {L"pager@example.com"}, kStandup);
    sendTo(app.Get(), {L"pager@example.com", L"desk@example.com"}, kReview);
    ::Sleep(1000);
    EXPECT_EQ(MessagesIn(outbox), 1u);
    EXPECT_EQ(MessagesIn(outbox / "Outbox"), 2u);
    EXPECT_EQ(Number(waiting.Get(), L"Count"), 2);
    auto second = ItemAt(waiting.Get(), 2);
    ASSERT_TRUE(second);
    EXPECT_EQ(Text(second.Get(), L"Subject"), kReview);
    EXPECT_EQ(Text(second.Get(), L"To"), L"pager@example.com; desk@example.com");
    EXPECT_EQ(Try(second.Get(), L"Send", out), DISP_E_EXCEPTION);  // submitted already: not sent again
    EXPECT_EQ(TryInvoke(second.Get(), L"Subject", DISPATCH_PROPERTYPUT, {L"Changed"}, out), DISP_E_EXCEPTION);
    EXPECT_EQ(Try(waiting.Get(), L"Item", out, {3}), DISP_E_EXCEPTION);
    SetNumber(L"Guard", 2);  // To is guarded on the Outbox's items as on any mail item
    ::Sleep(600);
    EXPECT_EQ(Try(second.Get(), L"To", out), DISP_E_EXCEPTION);
    EXPECT_EQ(out.scode, static_cast<HRESULT>(0x80040102));  // MAPI_E_NOT_SUPPORTED
    EXPECT_EQ(Text(ItemAt(waiting.Get(), 1).Get(), L"Subject"), kStandup);
    EXPECT_EQ(Counters()["Items.Item"], 4);  // by name and as the default member
    SetNumber(L"Guard", 0);
    SetNumber(L"Offline", 0);
    EXPECT_TRUE(Eventually([&] { return MessagesIn(outbox) == 3; }, 5000));  // no client call needed
    EXPECT_FALSE(Flag(ns.Get(), L"Offline"));
    EXPECT_EQ(Number(waiting.Get(), L"Count"), 0);

    // Left queued when the process ends, the next one lists it, and sends it once online.
    SetNumber(L"SendDelayMs", 600000);
    ::Sleep(600);  // the stand-in looks at its settings every 500 ms
    sendTo(app.Get(), {L"pager@example.com"}, kReview);
    waiting.Reset();
    first.Reset();
    second.Reset();
    ns.Reset();
    EXPECT_EQ(RunStandin(L"/close"), 0u);
    EXPECT_EQ(MessagesIn(outbox / "Outbox"), 1u);
    SetNumber(L"Offline", 1);
    app = Create();
    waiting = Object(Object(Object(app.Get(), L"Session").Get(), L"GetDefaultFolder", {4}).Get(), L"Items");
    EXPECT_EQ(Number(waiting.Get(), L"Count"), 1);
    EXPECT_EQ(Text(ItemAt(waiting.Get(), 1).Get(), L"Subject"), kReview);
    EXPECT_EQ(MessagesIn(outbox), 3u);
    SetNumber(L"Offline", 0);
    EXPECT_TRUE(Eventually([&] { return MessagesIn(outbox) == 4; }, 5000));
    EXPECT_EQ(MessagesIn(outbox / "Outbox"), 0u);
}

TEST_F(StandinProcess, SettingsTypeInformationAndCountersReachAcrossProcesses) {
    const fs::path calendar =
        outbox.parent_path() / ("standin-process-" + std::to_string(::GetCurrentProcessId()) + ".ics");
    std::ofstream(calendar, std::ios::binary)
        << "BEGIN:VCALENDAR\r\nBEGIN:VEVENT\r\nUID:1\r\nSUMMARY:From the file\r\nDTSTART:20261207T090000\r\n"
           "END:VEVENT\r\nEND:VCALENDAR\r\n";
    SetText(L"CalendarFile", calendar.wstring());
    SetText(L"Version", L"16.0.0.5104");
    SetText(L"TopFolderName", L"Mailbox - Jane Roe");
    SetText(L"CurrentUser", L"Jane Roe");
    {
        auto app = Create();
        ASSERT_TRUE(app);
        EXPECT_EQ(Text(app.Get(), L"Version"), L"16.0.0.5104");
        auto ns = Object(app.Get(), L"Session");
        EXPECT_EQ(Text(Object(ns.Get(), L"CurrentUser").Get(), L"Name"), L"Jane Roe");
        EXPECT_EQ(Text(Object(Object(ns.Get(), L"GetDefaultFolder", {6}).Get(), L"Parent").Get(), L"Name"),
                  L"Mailbox - Jane Roe");
        auto items = Object(Object(ns.Get(), L"GetDefaultFolder", {9}).Get(), L"Items");
        auto item = Object(items.Get(), L"Find", {L"[Start] >= \"12/7/2026\" and [Start] <= \"12/7/2026 11:59 PM\""});
        ASSERT_TRUE(item);
        EXPECT_EQ(TypeNameOf(item.Get()), L"_AppointmentItem");
        EXPECT_EQ(TypeNameOf(NewMail(app.Get()).Get()), L"_MailItem");
        EXPECT_EQ(TypeNameOf(items.Get()), L"_Items");

        auto counters = Counters();
        EXPECT_EQ(counters["Application.Version"], 1);
        EXPECT_EQ(counters["Items.Find"], 1);
        EXPECT_EQ(counters["GetIDsOfNames"], counters["TotalCalls"]);  // this client looks up every name
        EXPECT_EQ(counters["HeldByClients"], 4);                       // app, ns, items, item
    }
    fs::remove(calendar);
}

TEST_F(StandinProcess, DisconnectAndFailMemberSteerTheRunningServer) {
    SetNumber(L"JoinsRot", 1);    // in the Running Object Table at the end of start-up, though COM started it
    SetNumber(L"Disconnect", 3);  // there before the server starts: not a new number
    SetText(L"FailMember", L"Application.GetNamespace=Outlook is busy.");
    auto app = Create();
    ASSERT_TRUE(app);
    Outcome out;
    EXPECT_EQ(Try(app.Get(), L"GetNamespace", out, {L"MAPI"}), DISP_E_EXCEPTION);
    EXPECT_EQ(out.description, L"Outlook is busy.");
    // A change applies from the very next call: a scenario's step that follows the write meets it.
    SetText(L"FailMember", L"application.version=Version unreadable.");
    EXPECT_EQ(Try(app.Get(), L"Version", out), DISP_E_EXCEPTION);
    EXPECT_EQ(out.description, L"Version unreadable.");
    EXPECT_EQ(Try(app.Get(), L"GetNamespace", out, {L"MAPI"}), S_OK);  // the old one is taken back
    SetText(L"FailMember", L"");
    SetNumber(L"Disconnect", 4);
    EXPECT_EQ(Try(app.Get(), L"Version", out), RPC_E_DISCONNECTED);
    auto restarted = Create();
    ASSERT_TRUE(restarted);
    EXPECT_EQ(Text(restarted.Get(), L"Version"), L"9.0.0.3821");
    // The running object table lists a working Application again, as after a restart, and again
    // after the next outage.
    for (DWORD outage : {5u, 6u}) {
        ComPtr<IDispatch> running;
        EXPECT_TRUE(Eventually(
            [&] {
                running = Active();
                return running && Try(running.Get(), L"Version", out) == S_OK;
            },
            3000))
            << "outage " << outage - 1;
        SetNumber(L"Disconnect", outage);
        EXPECT_EQ(Try(running.Get(), L"Version", out), RPC_E_DISCONNECTED);
    }
}

// HKLM of this process redirected to a private key for the length of a test.
class MachineSandbox {
public:
    explicit MachineSandbox(const std::wstring& under) {
        ::RegCreateKeyExW(HKEY_CURRENT_USER, under.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key_, nullptr);
        ok_ = ::RegOverridePredefKey(HKEY_LOCAL_MACHINE, key_) == ERROR_SUCCESS;
    }
    ~MachineSandbox() {
        ::RegOverridePredefKey(HKEY_LOCAL_MACHINE, nullptr);
        ::RegCloseKey(key_);
    }
    MachineSandbox(const MachineSandbox&) = delete;
    MachineSandbox& operator=(const MachineSandbox&) = delete;
    bool Ok() const { return ok_; }

private:
    HKEY key_ = nullptr;
    bool ok_ = false;
};

std::wstring ReadMachineText(const std::wstring& path, const wchar_t* name) {
    wchar_t text[MAX_PATH * 2] = {};
    DWORD bytes = sizeof text;
    if (::RegGetValueW(HKEY_LOCAL_MACHINE, path.c_str(), name, RRF_RT_REG_SZ, nullptr, text, &bytes) != ERROR_SUCCESS) {
        return L"<missing>";
    }
    return text;
}

TEST(StandinRegistration, WritesAndRemovesExactlyItsOwnKeys) {
    RegistrySandbox sandbox;
    const std::wstring exe = Beside(kExe);
    const std::wstring clsidKey = L"Software\\Classes\\CLSID\\{C41C8B7C-2A32-4451-820F-EAAFA130CE82}";
    {
        MachineSandbox machine(L"Software\\Machine");
        ASSERT_TRUE(machine.Ok());
        ASSERT_EQ(::RegSetKeyValueW(HKEY_LOCAL_MACHINE, (clsidKey + L"\\InprocServer32").c_str(), nullptr, REG_SZ,
                                    L"old.dll", 16),
                  ERROR_SUCCESS);
        ASSERT_EQ(standin::RegisterServer(exe), S_OK);
        EXPECT_EQ(ReadMachineText(L"Software\\Classes\\Outlook.Application\\CLSID", nullptr),
                  L"{C41C8B7C-2A32-4451-820F-EAAFA130CE82}");
        EXPECT_EQ(ReadMachineText(clsidKey + L"\\LocalServer32", nullptr), L"\"" + exe + L"\"");
        EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, clsidKey + L"\\InprocServer32"));  // the in-process server is gone
        EXPECT_EQ(ReadMachineText(clsidKey + L"\\ProgID", nullptr), L"Outlook.Application");
        ASSERT_EQ(standin::RegisterServer(exe), S_OK);  // again: the same
        ASSERT_EQ(standin::UnregisterServer(), S_OK);
        EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, L"Software\\Classes\\Outlook.Application"));
        EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, clsidKey));
        EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, L"Software\\Classes"));

        // Someone else's "Outlook.Application" is neither taken over nor removed.
        const std::wstring other = L"{11111111-2222-3333-4444-555555555555}";
        ASSERT_EQ(::RegSetKeyValueW(HKEY_LOCAL_MACHINE, L"Software\\Classes\\Outlook.Application\\CLSID", nullptr,
                                    REG_SZ, other.c_str(), static_cast<DWORD>((other.size() + 1) * sizeof(wchar_t))),
                  ERROR_SUCCESS);
        EXPECT_EQ(standin::RegisterServer(exe), SELFREG_E_CLASS);
        EXPECT_EQ(standin::UnregisterServer(), S_OK);
        EXPECT_EQ(ReadMachineText(L"Software\\Classes\\Outlook.Application\\CLSID", nullptr), other);
        EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, clsidKey));
    }
    // The real registration of the prefix is untouched.
    CLSID clsid{};
    EXPECT_EQ(::CLSIDFromProgID(L"Outlook.Application", &clsid), S_OK);
}

}  // namespace
}  // namespace hv::test
