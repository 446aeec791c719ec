// The application core end to end in one process: start-up, the poll cycle, the notification
// switch, the tray icon and menu, help and About, shutdown. Outlook is the stand-in, the clock,
// message boxes, waits, the shell and the tray are the test's.
#include <windows.h>
#include <shellapi.h>
#include <lmcons.h>
#include <sddl.h>

#include <fstream>
#include <algorithm>
#include <memory>
#include <set>

#include <gtest/gtest.h>

#include "core/App.h"
#include "core/SingleInstance.h"
#include "settings/Registry.h"
#include "toolkit/AnsiText.h"
#include "standin/Standin.h"
#include "tests/support/BusyServer.h"
#include "tests/support/Calendar.h"
#include "tests/support/RegistrySandbox.h"
#include "tests/support/ScriptedHost.h"
#include "toolkit/VersionInfo.h"

namespace hv::core {
namespace {

using test::Event;

struct TrayCall {
    DWORD message;
    HICON icon;
    std::string tip;
    long liveOutlookObjects;
};

class RecordingShell : public ShellPlatform {
public:
    INT_PTR Execute(const std::string& p, const std::string& a, const std::string& f, int show) override {
        calls.push_back({p, a, f, show});
        return result;
    }
    bool StartProgram(const std::wstring& line, int) override {
        started.push_back(line);
        return startWorks;
    }
    struct Call {
        std::string program, arguments, folder;
        int show;
    };
    std::vector<Call> calls;
    std::vector<std::wstring> started;
    INT_PTR result = 42;
    bool startWorks = true;
};

Event At(const std::string& summary, const std::string& hhmm, int reminder = -1) {
    Event e;
    e.summary = summary;
    e.start = "20261207T" + hhmm + "00";
    e.end = "20261207T" + hhmm + "00";
    e.reminderMinutes = reminder;
    return e;
}

class AppTest : public testing::Test {
protected:
    test::RegistrySandbox sandbox;
    test::ScriptedHost host;
    RecordingShell shell;
    std::wstring folder = test::MakeTempFolder(L"hv_app");
    std::wstring outbox = folder + L"\\outbox";
    std::wstring calendarFile = folder + L"\\calendar.ics";
    std::wstring instance = L"Local\\HoravaneTest." + std::to_wstring(::GetCurrentProcessId());
    standin::Config config;
    std::shared_ptr<standin::Server> server;
    std::vector<TrayCall> tray;
    bool outlookAvailable = true;
    bool userStartedOutlook = true;  // false: Outlook runs only once the program has started it
    int addsTurnedDown = 0;          // NIM_ADD calls the shell turns down before it takes one
    int outlookCreated = 0;
    std::function<void()> onOutlookCreated;
    std::function<void()> onOutlookAttached;
    std::shared_ptr<test::BusyServer> busy;  // when set, Outlook is reached as on Windows while it is busy
    std::unique_ptr<App> app;

    AppTest() {
        config.calendarFile = calendarFile;
        config.outboxFolder = outbox;
        config.topFolderName = L"Mailbox - Test User";
        host.SetNow(2026, 12, 7, 9, 0, 0);
        WriteCalendar({});
    }
    ~AppTest() override {
        app.reset();
        server.reset();
        test::RemoveFolder(outbox);
        test::RemoveFolder(folder);
    }
    void WriteCalendar(const std::vector<Event>& events) {
        std::ofstream(calendarFile.c_str(), std::ios::binary | std::ios::trunc) << test::Ics(events);
    }
    void Store(const wchar_t* name, const wchar_t* value) {
        settings::WriteRegValue(L"HKCU", settings::SettingsKeyPath(), name, L"S", std::wstring(value));
    }
    // Removes a stored value, as another program might.
    void Forget(const wchar_t* name) {
        HKEY key = nullptr;
        if (::RegOpenKeyExW(HKEY_CURRENT_USER, settings::SettingsKeyPath().c_str(), 0, KEY_SET_VALUE, &key) !=
            ERROR_SUCCESS)
            return;
        ::RegDeleteValueW(key, name);
        ::RegCloseKey(key);
    }
    std::wstring Stored(const wchar_t* name) {
        settings::RegValue v;
        settings::ReadRegValue(L"HKCU", settings::SettingsKeyPath(), name, L"S", std::wstring(L"<missing>"), v);
        return std::get<std::wstring>(v);
    }
    void Make() {
        server = standin::CreateServer(config);
        Platform p(host);
        p.outlookFactory = [this]() -> outlook::Dispatch {
            ++outlookCreated;
            if (onOutlookCreated) onOutlookCreated();
            if (!outlookAvailable) throw outlook::AutomationError(REGDB_E_CLASSNOTREG, L"Class not registered");
            return Reach(server->CreateApplication());
        };
        p.outlookAttach = [this]() -> outlook::Dispatch {
            if (onOutlookAttached) onOutlookAttached();
            EXPECT_TRUE(outlookAvailable) << "attaching while no Outlook runs starts one";
            return Reach(server->CreateApplication());
        };
        p.outlookRuns = [this] { return outlookAvailable && (userStartedOutlook || outlookCreated > 0); };
        p.trayShell = [this](DWORD m, NOTIFYICONDATAA* d) {
            tray.push_back({m, d->hIcon, std::string(d->szTip), server ? server->Count().LiveObjects() : 0});
            if (m == NIM_ADD && addsTurnedDown > 0) return --addsTurnedDown, FALSE;
            return TRUE;
        };
        p.shell = &shell;
        p.instanceName = instance;
        app = std::make_unique<App>(std::move(p));
    }
    // Another copy under the same name, beside the running one: true when it would run.
    bool SecondCopyStarts() {
        Platform p(host);
        p.trayShell = [this](DWORD m, NOTIFYICONDATAA* d) { return tray.push_back({m, d->hIcon, d->szTip, 0}), TRUE; };
        p.shell = &shell;
        p.instanceName = instance;
        App second(std::move(p));
        const bool started = second.Main();
        EXPECT_EQ(second.frmConfigure().IsLoaded(), started);
        EXPECT_EQ(second.frmSplash().IsLoaded(), started);
        return started;
    }
    outlook::Dispatch Reach(const outlook::Dispatch& app) { return busy ? busy->Wrap(app.Get()) : app; }
    // A normal start with an address stored.
    bool Start(const wchar_t* address = L"pager@example.com") {
        if (address) Store(L"EventEmailAddress", address);
        Make();
        return app->Main();
    }
    ui::ConfigureForm& Config() { return app->frmConfigure(); }
    toolkit::Timer& Timer() { return Config().tmrChkCalEvents; }
    long Finds() { return server->Count().Calls(L"Items", L"Find"); }
    size_t Sent() { return test::ReadOutbox(outbox).size(); }
    void Tick(int h, int m, int s) {
        host.SetTime(h, m, s);
        app->tmrChkCalEvents_Timer();
    }
    HICON Picture(int i) { return Config().Picture(i); }
};

TEST_F(AppTest, StartUpInItsOrder) {
    Store(L"CEEnabled", L"0");
    Store(L"EventEmailAddress", L"pager@example.com");
    Make();
    std::wstring addressWhenOutlookOpened;
    onOutlookCreated = [&] {
        addressWhenOutlookOpened = Config().txtEmailAddress.Text();
        // Loading has written the missing values back; only the full save after it restores these.
        Forget(L"Subject");
        Forget(L"EventEmailAddress");
    };
    ASSERT_TRUE(app->Main());
    EXPECT_EQ(addressWhenOutlookOpened, L"pager@example.com") << "settings are loaded before the session opens";
    EXPECT_EQ(host.sleeps, (std::vector<DWORD>{3000, 4000}));
    EXPECT_EQ(app->Initializing, VARIANT_FALSE);
    EXPECT_EQ(app->AboutShowing, VARIANT_FALSE);
    EXPECT_FALSE(Config().Visible());
    EXPECT_FALSE(app->frmSplash().Visible());
    EXPECT_TRUE(app->frmQ().IsLoaded());
    EXPECT_FALSE(app->frmQ().Visible());
    EXPECT_TRUE(Timer().Enabled());
    EXPECT_EQ(Timer().Interval(), 500u) << "the first poll comes soon after start-up";
    // The icon comes last, with the start-up picture and tooltip whatever the stored switch.
    ASSERT_FALSE(tray.empty());
    EXPECT_EQ(tray.back().message, static_cast<DWORD>(NIM_ADD));
    EXPECT_EQ(tray.back().icon, Picture(2));
    EXPECT_EQ(tray.back().tip, "Horavane (Active)");
    EXPECT_EQ(std::count_if(tray.begin(), tray.end(), [](const TrayCall& c) { return c.message == NIM_ADD; }), 1);
    EXPECT_EQ(Stored(L"SecurityWarning"), L"False");
    EXPECT_EQ(Stored(L"Subject"), L"1") << "every setting saved";
    EXPECT_EQ(Stored(L"EventEmailAddress"), L"pager@example.com") << "every setting saved";
    EXPECT_TRUE(host.boxes.empty());
}

TEST_F(AppTest, OutlookUnavailableEndsTheProgram) {
    outlookAvailable = false;
    test::SetRawValue(HKEY_CURRENT_USER, settings::SettingsKeyPath(), "EventEmailAddress", REG_EXPAND_SZ,
                      std::string("pager@example.com", 18));
    Make();
    EXPECT_FALSE(app->Main());
    ASSERT_EQ(host.boxes.size(), 1u);
    EXPECT_EQ(host.boxes[0].text, L"Failed to open Outlook.");
    EXPECT_EQ(host.boxes[0].style, static_cast<UINT>(MB_OK | MB_ICONEXCLAMATION));
    EXPECT_EQ(host.boxes[0].title, L"Horavane");
    EXPECT_EQ(outlookCreated, 1) << "not installed: not tried again";
    for (const TrayCall& c : tray) EXPECT_NE(c.message, static_cast<DWORD>(NIM_ADD)) << "no tray icon, ever";
    EXPECT_FALSE(Config().IsLoaded());
    EXPECT_FALSE(app->frmQ().IsLoaded());
    EXPECT_FALSE(Timer().Enabled());
    std::string bytes;
    DWORD type = 0;
    ASSERT_TRUE(test::RawValue(HKEY_CURRENT_USER, settings::SettingsKeyPath(), "EventEmailAddress", bytes, type));
    EXPECT_EQ(type, static_cast<DWORD>(REG_EXPAND_SZ)) << "settings were not saved";
    MSG msg;
    EXPECT_FALSE(::PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_NOREMOVE)) << "the box must not be cut short";
}

TEST_F(AppTest, FirstRunAsksForTheAddress) {
    host.answers = {IDOK};
    // Loading has written the empty address back; only the write after the box restores it.
    host.onBox = [this] { Forget(L"EventEmailAddress"); };
    ASSERT_TRUE(Start(nullptr));
    EXPECT_TRUE(Config().Visible());
    ASSERT_EQ(host.boxes.size(), 1u);
    EXPECT_EQ(host.boxes[0].text,
              L"Horavane can not enable the notification option.\r\nPlease enter the notification email address.");
    EXPECT_EQ(host.boxes[0].style, static_cast<UINT>(MB_OKCANCEL | MB_ICONINFORMATION));
    EXPECT_EQ(Config().chkCEEnabled.Value(), 1);
    EXPECT_EQ(Stored(L"EventEmailAddress"), L"");
    EXPECT_EQ(Stored(L"CEEnabled"), L"1");
    // The user types the address and presses Close: the address is stored as typed.
    Config().txtEmailAddress.SetText(L" pager@example.com");
    Config().cmdOK_Click();
    EXPECT_FALSE(Config().Visible());
    EXPECT_EQ(Stored(L"EventEmailAddress"), L" pager@example.com");
}

// A second copy under the same name ends before it does anything; once the first has gone, a copy
// starts again.
TEST_F(AppTest, ASecondCopyEndsSilently) {
    ASSERT_TRUE(Start());
    const size_t trayCalls = tray.size();
    EXPECT_FALSE(SecondCopyStarts());
    EXPECT_TRUE(host.boxes.empty());
    for (size_t i = trayCalls; i < tray.size(); ++i) EXPECT_NE(tray[i].message, static_cast<DWORD>(NIM_ADD));
    EXPECT_EQ(outlookCreated, 1) << "only the first copy opened Outlook";
    app.reset();
    ASSERT_TRUE(Start());
}

// Without a name of its own a copy is one per user across sessions: the name is in the global
// namespace and holds the user's SID (here looked up from the user's name, not the token). A name
// that cannot be created there (an event has it) is claimed in the session's namespace instead,
// and still keeps a second copy out; a mutex the process may not open is another copy's.
TEST_F(AppTest, OneCopyPerUserAcrossSessions) {
    const std::wstring name = DefaultInstanceName();
    wchar_t user[UNLEN + 1] = L"", domain[256] = L"";
    DWORD userSize = UNLEN + 1, sidSize = SECURITY_MAX_SID_SIZE, domainSize = 256;
    BYTE sid[SECURITY_MAX_SID_SIZE];
    SID_NAME_USE use;
    ASSERT_TRUE(::GetUserNameW(user, &userSize));
    ASSERT_TRUE(::LookupAccountNameW(nullptr, user, sid, &sidSize, domain, &domainSize, &use));
    wchar_t* sidText = nullptr;
    ASSERT_TRUE(::ConvertSidToStringSidW(sid, &sidText));
    EXPECT_EQ(name, L"Global\\Quil.Horavane.SingleInstance." + std::wstring(sidText));
    ::LocalFree(sidText);
    toolkit::UniqueKernelHandle held(::CreateMutexW(nullptr, FALSE, name.c_str()));
    ASSERT_TRUE(held);
    instance.clear();  // the default name
    EXPECT_FALSE(Start());
    held.reset();

    instance = L"Global\\HoravaneTest.Event." + std::to_wstring(::GetCurrentProcessId());
    toolkit::UniqueKernelHandle event(::CreateEventW(nullptr, FALSE, FALSE, instance.c_str()));
    ASSERT_TRUE(event);
    EXPECT_TRUE(Start()) << "not kept from starting";
    const std::wstring local = L"Local\\" + instance.substr(7);
    toolkit::UniqueKernelHandle claimed(::OpenMutexW(SYNCHRONIZE, FALSE, local.c_str()));
    EXPECT_TRUE(claimed) << "claimed in the session's namespace";
    EXPECT_FALSE(SecondCopyStarts()) << "a second copy under the same name still ends";

    // A mutex this process may not open as CreateMutex asks (one an elevated copy made) is a copy.
    instance = L"Global\\HoravaneTest.Denied." + std::to_wstring(::GetCurrentProcessId());
    PSECURITY_DESCRIPTOR noAccess = nullptr;
    ASSERT_TRUE(::ConvertStringSecurityDescriptorToSecurityDescriptorW(L"D:", SDDL_REVISION_1, &noAccess, nullptr));
    SECURITY_ATTRIBUTES attributes{sizeof attributes, noAccess, FALSE};
    held.reset(::CreateMutexW(&attributes, FALSE, instance.c_str()));
    ::LocalFree(noAccess);
    ASSERT_TRUE(held);
    EXPECT_FALSE(SecondCopyStarts());
}

TEST_F(AppTest, EachSkipConditionAloneSkipsTheScan) {
    ASSERT_TRUE(Start());
    struct Condition {
        const char* name;
        std::function<void()> set, clear;
    } conditions[] = {
        {"configuration window visible", [&] { Config().Show(); }, [&] { Config().Hide(); }},
        {"About window up", [&] { app->mnuHelpAbout_Click(); }, [&] { app->frmSplash().CloseSplash(); }},
        {"starting up", [&] { app->Initializing = VARIANT_TRUE; }, [&] { app->Initializing = VARIANT_FALSE; }},
        {"empty address", [&] { Config().txtEmailAddress.SetText(L""); },
         [&] { Config().txtEmailAddress.SetText(L"pager@example.com"); }},
    };
    for (auto& c : conditions) {
        c.set();
        const long before = Finds();
        Tick(9, 0, 5);
        EXPECT_EQ(Finds(), before) << c.name;
        EXPECT_TRUE(Timer().Enabled()) << c.name;
        EXPECT_EQ(Timer().Interval(), 5000u) << c.name;
        c.clear();
        Tick(9, 0, 10);
        EXPECT_EQ(Finds(), before + 1) << c.name << " cleared";
    }
    Config().txtEmailAddress.SetText(L"   ");  // blanks are an address
    const long before = Finds();
    Tick(9, 0, 15);
    EXPECT_EQ(Finds(), before + 1);
}

TEST_F(AppTest, SwitchedOffTheNextTickStillSendsThenPollingStops) {
    WriteCalendar({At("Call", "0901")});
    ASSERT_TRUE(Start());
    Tick(9, 0, 30);
    app->TrayCallback(WM_LBUTTONDBLCLK);  // off
    EXPECT_EQ(Timer().Interval(), 500u);
    Tick(9, 1, 1);
    EXPECT_EQ(Sent(), 1u);
    EXPECT_FALSE(Timer().Enabled()) << "stopped after a full tick with the switch off";
    app->TrayCallback(WM_LBUTTONDBLCLK);  // on again: polling resumes
    EXPECT_TRUE(Timer().Enabled());
    Tick(9, 1, 6);
    Config().chkCEEnabled.SetValue(0);
    Tick(9, 1, 11);
    EXPECT_FALSE(Timer().Enabled());
    Config().chkCEEnabled.SetValue(1);  // from the dialog
    EXPECT_TRUE(Timer().Enabled());
}

// After the computer wakes and after the clock or its zone changes, as the system tells the hidden
// main window, the next poll comes at once from the real timer, and the one after it in five
// seconds again. Going to sleep, a changed system parameter and a timer stopped by the switch
// bring nothing forward.
TEST_F(AppTest, AResumeOrAClockChangeBringsThePollForward) {
    ASSERT_TRUE(Start());
    const struct {
        const char* name;
        UINT message;
        WPARAM wParam;
        const wchar_t* lParam;
        bool now;
    } cases[] = {
        {"suspend", WM_POWERBROADCAST, PBT_APMSUSPEND, nullptr, false},
        {"resume", WM_POWERBROADCAST, PBT_APMRESUMEAUTOMATIC, nullptr, true},
        {"resume by the user", WM_POWERBROADCAST, PBT_APMRESUMESUSPEND, nullptr, true},
        {"time", WM_TIMECHANGE, 0, nullptr, true},
        {"zone (as a program announces it)", WM_SETTINGCHANGE, 0, nullptr, true},
        {"work area", WM_SETTINGCHANGE, SPI_SETWORKAREA, L"", false},
    };
    for (const auto& c : cases) {
        Tick(9, 0, 5);  // the timer's five seconds begin now
        const long before = Finds();
        ::SendMessageW(Config().Hwnd(), c.message, c.wParam, reinterpret_cast<LPARAM>(c.lParam));
        EXPECT_EQ(Timer().Interval(), c.now ? USER_TIMER_MINIMUM : 5000u) << c.name;
        if (!c.now) continue;
        // Two seconds are plenty for a timer that fires at once, and far short of five.
        const ULONGLONG until = ::GetTickCount64() + 2000;
        while (Finds() == before && ::GetTickCount64() < until) {
            ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
            toolkit::LetPendingMessagesRun();
        }
        EXPECT_EQ(Finds(), before + 1) << c.name;
        EXPECT_TRUE(Timer().Enabled()) << c.name;
        EXPECT_EQ(Timer().Interval(), 5000u) << c.name;
    }
    Config().chkCEEnabled.SetValue(0);
    Tick(9, 0, 10);
    ASSERT_FALSE(Timer().Enabled());
    ::SendMessageW(Config().Hwnd(), WM_TIMECHANGE, 0, 0);
    EXPECT_FALSE(Timer().Enabled()) << "switched off, the timer stays stopped";
}

TEST_F(AppTest, AppointmentsDueInTheSameMinuteAreSentInStartOrder) {
    Event a = At("Second", "1000", 15), b = At("First", "0945");
    a.start = "20261207T100000";
    WriteCalendar({a, b});
    ASSERT_TRUE(Start());
    Tick(9, 45, 3);
    const auto sent = test::ReadOutbox(outbox);
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(sent[0].subject.substr(0, 5), L"First");
    EXPECT_EQ(sent[1].subject.substr(0, 6), L"Second");
    EXPECT_TRUE(Timer().Enabled());
    EXPECT_EQ(Timer().Interval(), 5000u);
}

TEST_F(AppTest, TrayDoubleClickFlipsTheSwitchEverywhere) {
    ASSERT_TRUE(Start());
    auto& menu = Config().mnuPopUpMenu;
    const UINT item = Config().mnuEnableEmailNotification;
    tray.clear();
    app->TrayCallback(WM_LBUTTONDBLCLK);
    EXPECT_EQ(Config().chkCEEnabled.Value(), 0);
    EXPECT_EQ(Stored(L"CEEnabled"), L"0");
    EXPECT_FALSE(menu.Checked(item));
    ASSERT_EQ(tray.size(), 4u) << "two switch applications, two modifications each";
    for (const TrayCall& c : tray) {
        EXPECT_EQ(c.message, static_cast<DWORD>(NIM_MODIFY));
        EXPECT_EQ(c.icon, Picture(3));
        EXPECT_EQ(c.tip, "Quil Horavane (Inactive)");
    }
    tray.clear();
    app->TrayCallback(WM_LBUTTONDBLCLK);
    EXPECT_EQ(Stored(L"CEEnabled"), L"1");
    EXPECT_TRUE(menu.Checked(item));
    ASSERT_FALSE(tray.empty());
    EXPECT_EQ(tray.back().icon, Picture(2));
    EXPECT_EQ(tray.back().tip, "Quil Horavane (Active)");
    tray.clear();
    for (UINT ignored : {WM_LBUTTONDOWN, WM_LBUTTONUP, WM_RBUTTONUP, WM_MOUSEMOVE, WM_MBUTTONDOWN, WM_RBUTTONDBLCLK})
        app->TrayCallback(ignored);
    EXPECT_TRUE(tray.empty());
    EXPECT_EQ(Config().chkCEEnabled.Value(), 1);
}

TEST_F(AppTest, SwitchingOnWithoutAnAddress) {
    Store(L"CEEnabled", L"0");
    host.answers = {IDOK};
    ASSERT_TRUE(Start(L""));
    host.boxes.clear();
    host.answers = {IDCANCEL};
    app->TrayCallback(WM_LBUTTONDBLCLK);
    EXPECT_TRUE(Config().Visible());
    ASSERT_EQ(host.boxes.size(), 1u);
    EXPECT_EQ(Config().chkCEEnabled.Value(), 0) << "Cancel turns it off again";
    EXPECT_EQ(Stored(L"CEEnabled"), L"0");
    EXPECT_EQ(tray.back().tip, "Quil Horavane (Inactive)");

    Config().Hide();
    host.answers = {IDOK};
    app->TrayCallback(WM_LBUTTONDBLCLK);
    EXPECT_EQ(Config().chkCEEnabled.Value(), 1) << "OK leaves it on";
    Config().Hide();
    const long before = Finds();
    Tick(9, 5, 0);
    EXPECT_EQ(Finds(), before) << "every tick is skipped without an address";
}

TEST_F(AppTest, ExitRemovesTheIconBeforeReleasingOutlook) {
    ASSERT_TRUE(Start());
    app->frmQ().Show();
    app->mnuHelpAbout_Click();
    tray.clear();
    Config().mnuPopUpMenu.RunCommand(Config().mnuExit);
    ASSERT_FALSE(tray.empty());
    EXPECT_EQ(tray[0].message, static_cast<DWORD>(NIM_DELETE));
    EXPECT_GT(tray[0].liveOutlookObjects, 0) << "the icon goes before the Outlook objects";
    EXPECT_EQ(server->Count().LiveObjects(), 0);
    EXPECT_FALSE(Config().IsLoaded());
    EXPECT_FALSE(app->frmQ().IsLoaded());
    EXPECT_FALSE(app->frmSplash().IsLoaded());
    MSG msg;
    EXPECT_TRUE(::PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) << "the message loop ends";
    app.reset();  // the second shutdown is harmless
    EXPECT_EQ(tray.back().message, static_cast<DWORD>(NIM_DELETE));
}

TEST_F(AppTest, AnUnexpectedFailureInsideATickLeavesPollingRunning) {
    WriteCalendar({At("Planning", "0945")});
    ASSERT_TRUE(Start());
    server->Faults().GoAway();
    Tick(9, 44, 52);  // gone, then seen once: the next tick attaches
    Tick(9, 44, 57);
    onOutlookAttached = [] { throw std::bad_alloc(); };  // not an automation error
    Tick(9, 45, 2);
    EXPECT_TRUE(Timer().Enabled());
    onOutlookAttached = nullptr;
    Tick(9, 45, 7);
    EXPECT_EQ(Sent(), 1u);
}

TEST_F(AppTest, ExitWhileATickWaitsForOutlookEndsEverythingCleanly) {
    WriteCalendar({At("Planning", "0945")});
    ASSERT_TRUE(Start());
    server->Faults().GoAway();
    Tick(9, 44, 52);  // gone, then seen once: the next tick attaches
    Tick(9, 44, 57);
    // Exit arrives while the tick waits for Outlook (a sent message runs inside the call).
    onOutlookAttached = [this] { Config().mnuPopUpMenu.RunCommand(Config().mnuExit); };
    Tick(9, 45, 2);
    EXPECT_TRUE(app->ShutDown());
    EXPECT_TRUE(host.boxes.empty()) << (host.boxes.empty() ? L"" : host.boxes[0].text);
    EXPECT_FALSE(app->frmQ().IsLoaded()) << "no window is made again after shutdown";
    EXPECT_FALSE(Config().IsLoaded());
    EXPECT_EQ(Sent(), 0u);
    EXPECT_EQ(server->Count().LiveObjects(), 0);
    MSG msg;
    EXPECT_TRUE(::PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
}

// Exit may come wherever a call waits for Outlook (its security prompt holds Resolve and Send, a
// busy Outlook any call): the program ends there, with no call to Outlook, no message sent and no
// box shown after it, and no Outlook object held.
TEST_F(AppTest, ExitInsideACallThatWaitsEndsEverythingCleanly) {
    const struct {
        const wchar_t* kind;
        const wchar_t* member;
        size_t sent;
    } cases[] = {
        {L"Items", L"FindNext", 0},            // the scan
        {L"AppointmentItem", L"Subject", 0},   // the scan's list line
        {L"AppointmentItem", L"Location", 0},  // the message's subject line
        {L"Recipient", L"Resolve", 0},         // the address prompt
        {L"MailItem", L"Send", 1},             // the send prompt: that one was handed over
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(toolkit::ToUtf8(std::wstring(c.kind) + L"." + c.member));
        app.reset();
        test::RemoveFolder(outbox);
        host.boxes.clear();
        Event first = At("First", "1000", 15), second = At("Second", "0945");
        first.location = "Room 4";
        WriteCalendar({first, second});
        ASSERT_TRUE(Start());
        Config().chkOrganizer.SetValue(1);  // more reads of the appointment after its location
        Config().chkComments.SetValue(1);
        long callsAtExit = -1;
        server->Faults().During(c.kind, c.member, [&] {
            if (callsAtExit >= 0) return;
            callsAtExit = server->Count().TotalCalls();
            Config().mnuPopUpMenu.RunCommand(Config().mnuExit);
        });
        Tick(9, 45, 2);
        EXPECT_TRUE(app->ShutDown());
        EXPECT_EQ(server->Count().TotalCalls(), callsAtExit) << "no call to Outlook after Exit";
        EXPECT_TRUE(host.boxes.empty()) << (host.boxes.empty() ? L"" : host.boxes[0].text);
        EXPECT_EQ(Sent(), c.sent);
        EXPECT_EQ(server->Count().LiveObjects(), 0);
        EXPECT_FALSE(app->frmQ().IsLoaded());
        MSG msg;
        EXPECT_TRUE(::PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    }
}

// Exit chosen inside a poll while a notification waits in the Outbox of an Outlook that the program
// started (offline here throughout): the poll ends first, sending nothing more, and then Exit waits
// the usual 30 seconds for the Outbox before letting Outlook go.
TEST_F(AppTest, ExitInsideAPollWaitsForTheOutboxOfAnOutlookItStarted) {
    test::SetRawValue(HKEY_CURRENT_USER, L"Software\\OutlookStandin", "Offline", REG_DWORD, std::string("\1\0\0\0", 4));
    config.followRegistryControls = true;
    userStartedOutlook = false;
    WriteCalendar({At("Planning", "0945"), At("Review", "0946")});
    ASSERT_TRUE(Start());
    Tick(9, 45, 2);
    ASSERT_EQ(server->Count().Calls(L"MailItem", L"Send"), 1);
    bool chosen = false;
    server->Faults().During(L"Items", L"FindNext", [&] {
        if (chosen) return;
        chosen = true;
        Config().mnuPopUpMenu.RunCommand(Config().mnuExit);
        EXPECT_FALSE(app->ShutDown()) << "Exit waits for the poll";
    });
    const size_t sleepsBefore = host.sleeps.size();
    Tick(9, 46, 2);
    ASSERT_TRUE(chosen);
    EXPECT_TRUE(app->ShutDown());
    EXPECT_EQ(server->Count().Calls(L"MailItem", L"Send"), 1) << "nothing is sent after Exit";
    DWORD waited = 0;
    for (size_t i = sleepsBefore; i < host.sleeps.size(); ++i) waited += host.sleeps[i];
    EXPECT_EQ(waited, 30000u) << "Exit waits for the Outbox";
    EXPECT_EQ(server->Count().LiveObjects(), 0);
}

// On Windows COM asks the message filter about each call a busy Outlook turns down, and the
// client tries a call again itself when COM gives up: together they wait no longer than the
// patience, counted from the call's first try (a minute while the session opens, ten seconds
// afterwards). An Outlook free again within it is waited for; Exit ends the wait at once.
TEST_F(AppTest, ABusyOutlookIsWaitedForAsLongAsThePatienceWhoeverTriesAgain) {
    WriteCalendar({At("Planning", "0945")});
    busy = std::make_shared<test::BusyServer>(host);
    busy->BusyForGood();
    ULONGLONG began = host.ticks;
    EXPECT_FALSE(Start());
    EXPECT_GE(host.ticks - began, 60000u - outlook::BusyRetryFilter::kShortestWaitMs);
    EXPECT_LE(host.ticks - began, 60000u);
    EXPECT_GT(busy->questions, 1) << "the filter was asked";
    ASSERT_EQ(host.boxes.size(), 1u);
    EXPECT_EQ(host.boxes[0].text, L"Failed to open Outlook.");

    app.reset();
    host.boxes.clear();
    busy->BusyFor(45000);
    began = host.ticks;
    ASSERT_TRUE(Start());
    EXPECT_GE(host.ticks - began, 45000u + 3000 + 4000) << "waited for, then the splash's holds";

    busy->BusyForGood();
    began = host.ticks;
    Tick(9, 44, 0);
    EXPECT_GE(host.ticks - began, 10000u - outlook::BusyRetryFilter::kShortestWaitMs);
    EXPECT_LE(host.ticks - began, 10000u);
    EXPECT_EQ(host.boxes.size(), 1u) << "the scan reports the failure";

    busy->BusyFor(8000);
    Tick(9, 45, 2);
    EXPECT_EQ(Sent(), 1u);
    EXPECT_EQ(host.boxes.size(), 1u);

    busy->BusyForGood();
    began = host.ticks;
    busy->atWait = [&] {  // the installer asks the program to exit while a call waits
        if (host.ticks - began >= 3000 && !app->ShutDown())
            ::PostMessageW(Config().Hwnd(), WM_COMMAND, ui::kExitCommandId, 0);
    };
    Tick(9, 50, 0);
    EXPECT_TRUE(app->ShutDown());
    EXPECT_LE(host.ticks - began, 3000u + outlook::BusyRetryFilter::kRetryAfterMs);
    EXPECT_EQ(host.boxes.size(), 1u);
    EXPECT_EQ(server->Count().LiveObjects(), 0);
    MSG msg;
    EXPECT_TRUE(::PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
}

// The configuration window holds every poll; the Test button meets Outlook closed and says so,
// and once Outlook runs again attaches to it by itself.
TEST_F(AppTest, TheTestButtonSaysOutlookIsNotRunningAndAttachesOnceItRunsAgain) {
    ASSERT_TRUE(Start());
    Config().Show();
    const long finds = Finds();
    host.boxes.clear();
    server->Faults().GoAway();  // the user closes Outlook
    outlookAvailable = false;
    Config().cmdTestEmail_Click();
    ASSERT_EQ(host.boxes.size(), 1u);
    EXPECT_EQ(host.boxes[0].text, L"The test message could not be sent.\r\nOutlook is not running.");
    outlookAvailable = true;  // and starts it again
    Tick(9, 0, 5);
    Config().cmdTestEmail_Click();
    ASSERT_EQ(host.boxes.size(), 2u);
    EXPECT_EQ(host.boxes[1].text, L"A test email has been sent.\r\nPlease verify receipt by pager@example.com.");
    EXPECT_EQ(Sent(), 1u);
    EXPECT_EQ(Finds(), finds) << "no poll ran";
}

// The icon is added again when the task bar is re-created, and every second while the shell turns
// the add down (a task bar still starting), with the picture and tooltip of the moment.
TEST_F(AppTest, TheIconIsAddedAgainUntilTheShellTakesIt) {
    addsTurnedDown = 1;
    ASSERT_TRUE(Start());
    toolkit::Timer& retry = Config().tmrTrayRetry;
    ASSERT_TRUE(retry.Enabled()) << "the first add was turned down";
    EXPECT_EQ(retry.Interval(), 1000u);
    retry.onTick();
    EXPECT_EQ(tray.back().message, static_cast<DWORD>(NIM_ADD));
    EXPECT_FALSE(retry.Enabled()) << "the second add was taken";

    app->TrayCallback(WM_LBUTTONDBLCLK);
    tray.clear();
    addsTurnedDown = 2;
    ::SendMessageW(Config().Hwnd(), ::RegisterWindowMessageW(L"TaskbarCreated"), 0, 0);
    EXPECT_TRUE(retry.Enabled());
    retry.onTick();
    retry.onTick();
    EXPECT_FALSE(retry.Enabled());
    ASSERT_EQ(tray.size(), 3u);
    for (const TrayCall& c : tray) {
        EXPECT_EQ(c.message, static_cast<DWORD>(NIM_ADD));
        EXPECT_EQ(c.icon, Picture(3));
        EXPECT_EQ(c.tip, "Quil Horavane (Inactive)");
    }
}

// The menu runs its own modal loop: a thread timer looks at it while it is open, then closes it.
struct OpenMenuProbe {
    App* app = nullptr;
    bool wasVisible = false;
} menuProbe;
void CALLBACK CloseMenu(HWND, UINT, UINT_PTR id, DWORD) {
    ::KillTimer(nullptr, id);
    menuProbe.wasVisible = menuProbe.app->frmConfigure().mnuPopUpMenu.Visible();
    ::EndMenu();
}

TEST_F(AppTest, MenuOpensOnTheRightPressAndItsCommandsRun) {
    ASSERT_TRUE(Start());
    menuProbe = {app.get(), false};
    const UINT_PTR probe = ::SetTimer(nullptr, 0, 200, CloseMenu);
    app->TrayCallback(WM_RBUTTONDOWN);
    ::KillTimer(nullptr, probe);  // a menu that never opened leaves no probe behind
    EXPECT_TRUE(menuProbe.wasVisible);
    menuProbe = {};
    EXPECT_FALSE(Config().mnuPopUpMenu.Visible());

    auto& menu = Config().mnuPopUpMenu;
    EXPECT_EQ(menu.Caption(Config().mnuConfigure), L"C&onfigure");
    EXPECT_EQ(menu.Caption(Config().mnuQAppt), L"&View Pending Notifications");
    EXPECT_EQ(menu.Caption(Config().mnuHelpContents), L"&Help Contents");
    EXPECT_EQ(menu.Caption(Config().mnuHelpAbout), L"Help &About");
    EXPECT_EQ(menu.Caption(Config().mnuExit), L"&Exit");
    EXPECT_EQ(menu.Caption(Config().mnuClose), L"&Close");
    EXPECT_EQ(::GetMenuItemCount(menu.Handle()), 9);

    menu.RunCommand(Config().mnuClose);
    EXPECT_FALSE(Config().Visible());
    EXPECT_FALSE(app->frmQ().Visible());
    menu.RunCommand(Config().mnuQAppt);
    EXPECT_TRUE(app->frmQ().Visible());
    menu.RunCommand(Config().mnuConfigure);
    EXPECT_TRUE(Config().Visible());
    menu.RunCommand(Config().mnuConfigure);  // already open: stays open
    EXPECT_TRUE(Config().Visible());
}

TEST_F(AppTest, HelpContentsOpensTheFileBesideTheProgram) {
    ASSERT_TRUE(Start());
    const std::wstring elsewhere = folder;
    ::SetCurrentDirectoryW(elsewhere.c_str());
    Config().mnuPopUpMenu.RunCommand(Config().mnuHelpContents);
    ASSERT_EQ(shell.calls.size(), 1u);
    EXPECT_EQ(shell.calls[0].program, "HvaneHelp.chm");
    EXPECT_EQ(shell.calls[0].arguments, "");
    EXPECT_EQ(shell.calls[0].folder, toolkit::ToAnsi(toolkit::ProgramFolder()));
    EXPECT_EQ(shell.calls[0].show, SW_SHOWNORMAL);
    EXPECT_TRUE(host.boxes.empty());

    shell.result = SE_ERR_FNF;
    shell.startWorks = false;
    Config().mnuPopUpMenu.RunCommand(Config().mnuHelpContents);
    ASSERT_EQ(host.boxes.size(), 1u) << "a help file that cannot be opened at all is reported";
    EXPECT_EQ(host.boxes[0].title, L"Horavane");
}

TEST_F(AppTest, AboutHoldsEveryScanAndRestartsAStoppedTimer) {
    WriteCalendar({At("During About", "0905")});
    ASSERT_TRUE(Start());
    Config().chkCEEnabled.SetValue(0);
    Tick(9, 0, 5);
    ASSERT_FALSE(Timer().Enabled());
    Config().mnuPopUpMenu.RunCommand(Config().mnuHelpAbout);
    EXPECT_EQ(app->AboutShowing, VARIANT_TRUE);
    EXPECT_TRUE(app->frmSplash().Visible());
    EXPECT_TRUE(Timer().Enabled());
    EXPECT_EQ(Timer().Interval(), 500u);
    const long before = Finds();
    Tick(9, 5, 2);
    EXPECT_EQ(Finds(), before);
    EXPECT_TRUE(app->frmSplash().Visible()) << "ticks leave the About window alone";
    EXPECT_EQ(Sent(), 0u) << "nothing is sent while it is open";
    app->frmSplash().CloseSplash();
    Tick(9, 6, 0);
    EXPECT_EQ(Finds(), before + 1);
    EXPECT_EQ(Sent(), 0u) << "its due minute passed while the window was open";
}

TEST_F(AppTest, ASimulatedDay) {
    // 200 appointments: timed, all-day, recurring, with and without reminders. Appointment i starts
    // at minute 7i of the day; every third has a 10-minute reminder.
    std::vector<Event> events;
    std::vector<int> dueMinute;
    for (int i = 0; i < 200; ++i) {
        const int minute = (i * 7) % (24 * 60);
        char hhmm[8];
        std::snprintf(hhmm, sizeof hhmm, "%02d%02d", minute / 60, minute % 60);
        const int lead = i % 3 == 0 ? 10 : 0;
        Event e = At("Appt " + std::to_string(i), hhmm, lead ? lead : -1);
        const bool allDay = i % 20 == 5;
        if (allDay) {
            e.start = "20261207";
            e.end = "20261208";
        }
        if (i % 25 == 7) e.rrule = "FREQ=DAILY;COUNT=3";
        events.push_back(e);
        dueMinute.push_back(allDay ? 0 : std::max(minute - lead, 0));
    }
    WriteCalendar(events);
    host.SetNow(2026, 12, 7, 0, 0, 1);
    ASSERT_TRUE(Start());
    Config().chkStartEndTIme.SetValue(0);
    Config().chkLocation.SetValue(0);
    DWORD handlesAfterHour = 0, gdiAfterHour = 0, userAfterHour = 0;
    long liveAfterHour = 0, sends = 0;
    size_t seen = 0;
    std::set<std::wstring> subjects;
    for (int t = 1; t < 24 * 60 * 60; t += 5) {
        host.SetTime(t / 3600, t / 60 % 60, t % 60);
        app->tmrChkCalEvents_Timer();
        if (server->Count().Calls(L"MailItem", L"Send") != sends) {
            sends = server->Count().Calls(L"MailItem", L"Send");
            const auto sent = test::ReadOutbox(outbox);
            for (; seen < sent.size(); ++seen) {
                const int i = std::stoi(sent[seen].subject.substr(5));
                EXPECT_EQ(dueMinute[static_cast<size_t>(i)], t / 60) << "Appt " << i << " sent in its due minute";
                EXPECT_TRUE(subjects.insert(sent[seen].subject).second) << "Appt " << i << " sent twice";
            }
        }
        if (t / 5 == 3600 / 5) {
            ::GetProcessHandleCount(::GetCurrentProcess(), &handlesAfterHour);
            gdiAfterHour = ::GetGuiResources(::GetCurrentProcess(), GR_GDIOBJECTS);
            userAfterHour = ::GetGuiResources(::GetCurrentProcess(), GR_USEROBJECTS);
            liveAfterHour = server->Count().LiveObjects();
        }
    }
    EXPECT_EQ(subjects.size(), 200u) << "every appointment notified";
    DWORD handles = 0;
    ::GetProcessHandleCount(::GetCurrentProcess(), &handles);
    EXPECT_EQ(handles, handlesAfterHour);
    EXPECT_EQ(::GetGuiResources(::GetCurrentProcess(), GR_GDIOBJECTS), gdiAfterHour);
    EXPECT_EQ(::GetGuiResources(::GetCurrentProcess(), GR_USEROBJECTS), userAfterHour);
    EXPECT_LE(server->Count().LiveObjects(), liveAfterHour) << "the pending table only shrinks over the day";
}

}  // namespace
}  // namespace hv::core

namespace hv::core {
namespace {

TEST_F(AppTest, ExitCommandSentToTheWindowEndsTheProgram) {
    // What the installer does to ask a running copy to exit.
    ASSERT_TRUE(Start());
    EXPECT_EQ(Config().mnuExit, ui::kExitCommandId);
    EXPECT_EQ(Config().mnuHelpContents, ui::kHelpContentsCommandId);
    // The installer finds the window by its class and title (another test's copy may run beside
    // this one, so this one's own window is checked for both).
    HWND window = Config().Hwnd();
    wchar_t className[64] = L"", title[64] = L"";
    ::GetClassNameW(window, className, 64);
    ::GetWindowTextW(window, title, 64);
    EXPECT_STREQ(className, L"HoravaneForm");
    EXPECT_STREQ(title, L"Horavane Configuration");
    ::SendMessageW(window, WM_COMMAND, ui::kExitCommandId, 0);
    EXPECT_TRUE(app->ShutDown());
    EXPECT_FALSE(::IsWindow(window));
}

}  // namespace
}  // namespace hv::core
