// Opening and closing the Outlook session against the stand-in, and the late-bound client itself.
#include <windows.h>

#include <cwctype>

#include <gtest/gtest.h>

#include "outlook/MessageFilter.h"
#include "outlook/OutlookProcess.h"
#include "toolkit/Controls.h"
#include "toolkit/Form.h"
#include "tests/outlook/EngineFixture.h"

namespace hv::test {
namespace {

class Session : public EngineTest {
protected:
    std::wstring Open() {
        WriteCalendar({});
        server = standin::CreateServer(config);
        settings.store.LoadSettings();
        engine = MakeEngine([this] { return server->CreateApplication(); });
        return engine->OpenOutlookSession();
    }
};

TEST_F(Session, OpensTheCalendarSortedWithOccurrences) {
    EXPECT_NE(Open(), L"Nothing");
    EXPECT_TRUE(engine->OutlookApp && engine->OutlookNameSpace && engine->CalendarItems);
    EXPECT_TRUE(engine->Client().Get(engine->CalendarItems.Get(), L"IncludeRecurrences").AsBool());
    EXPECT_EQ(server->Count().Calls(L"Items", L"Sort"), 1);
}

// An Outlook still starting (at sign-in) fails its activation for a while: it is tried again for
// up to a minute from the first try. One that is not installed is not waited for.
TEST_F(Session, AnOutlookStillStartingIsWaitedForAMinuteAndAMissingOneNotAtAll) {
    CLSID clsid;
    const HRESULT missing = ::CLSIDFromProgID(L"Outlook.NoSuchApplication", &clsid);
    const struct {
        HRESULT hr;
        int failures;
        bool opens;
    } cases[] = {
        {CO_E_SERVER_EXEC_FAILURE, 20, true},
        {CO_E_SERVER_START_TIMEOUT, 1, true},
        {RPC_E_DISCONNECTED, 2, true},
        {HRESULT_FROM_WIN32(RPC_S_SERVER_UNAVAILABLE), 60, true},  // the last try at the minute
        {CO_E_SERVER_EXEC_FAILURE, 61, false},
        {missing, 1, false},
        {REGDB_E_CLASSNOTREG, 1, false},
    };
    WriteCalendar({});
    server = standin::CreateServer(config);
    settings.store.LoadSettings();
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << static_cast<unsigned long>(c.hr) << std::dec << " x"
                                        << c.failures);
        int tries = 0;
        engine = MakeEngine([&]() -> outlook::Dispatch {
            if (++tries <= c.failures) throw outlook::AutomationError(c.hr, L"");
            return server->CreateApplication();
        });
        const ULONGLONG began = host.ticks;
        EXPECT_EQ(engine->OpenOutlookSession() != L"Nothing", c.opens);
        EXPECT_LE(host.ticks - began, outlook::AutomationClient::kPatienceWhileOpening);
        if (c.hr == missing || c.hr == REGDB_E_CLASSNOTREG) {
            EXPECT_EQ(tries, 1);
            EXPECT_EQ(host.ticks, began);
        } else if (!c.opens) {
            EXPECT_EQ(host.ticks - began, outlook::AutomationClient::kPatienceWhileOpening) << "tried for a minute";
        }
    }
    EXPECT_TRUE(host.boxes.empty());
}

TEST_F(Session, AFailureAtAnyStepGivesNothing) {
    const struct {
        const wchar_t* kind;
        const wchar_t* member;
    } steps[] = {
        {L"Application", L"GetNamespace"},
        {L"NameSpace", L"GetDefaultFolder"},
        {L"MAPIFolder", L"Items"},
        {L"Items", L"IncludeRecurrences"},
        {L"Items", L"Sort"},
        {L"Application", L"Session"},
        {L"MAPIFolder", L"Parent"},
        {L"MAPIFolder", L"Name"},
        {L"Application", L"Version"},
    };
    for (const auto& step : steps) {
        engine.reset();
        server.reset();
        WriteCalendar({});
        server = standin::CreateServer(config);
        server->Faults().Fail(step.kind, step.member, L"Injected failure", 0);
        engine = MakeEngine([this] { return server->CreateApplication(); });
        EXPECT_EQ(engine->OpenOutlookSession(), L"Nothing") << step.kind << L"." << step.member;
    }
    // Step 1: Outlook itself cannot be created.
    engine = MakeEngine([]() -> outlook::Dispatch {
        throw outlook::AutomationError(CO_E_SERVER_EXEC_FAILURE, L"Server execution failed");
    });
    EXPECT_EQ(engine->OpenOutlookSession(), L"Nothing");
    // A version text that is not a number is unreadable.
    config.version = L"11.0.0.beta";
    EXPECT_EQ(Open(), L"Nothing");
}

struct NoticeCase {
    const wchar_t* topFolder;
    const wchar_t* version;
    const wchar_t* storedWarning;
    int noticesOverTwoOpens;
    const wchar_t* storedAfter;
};

TEST_F(Session, SecurityNoticeRules) {
    const NoticeCase cases[] = {
        {L"Mailbox - Test User", L"9.0.0.3821", L"False", 0, L"False"},
        {L"Personal Folders", L"9.0.0.3821", L"False", 1, L"True"},
        {L"Personal Folders", L"9.0.0.4201", L"False", 2, L"True"},
        {L"Mailbox - Test User", L"10.0.0.5104", L"True", 2, L"True"},
        {L"mailbox - test user", L"9.0.0.3821", L"False", 1, L"True"},  // case matters: not a mail server
        {L"Personal Folders", L"9.0.0.3821", L"True", 0, L"True"},
    };
    for (const NoticeCase& c : cases) {
        SCOPED_TRACE(c.topFolder + std::wstring(L" ") + c.version);
        host.boxes.clear();
        config.topFolderName = c.topFolder;
        config.version = c.version;
        settings.store.WriteSetting(L"SecurityWarning", c.storedWarning, L"S");
        for (int open = 0; open < 2; ++open) {
            engine.reset();
            ASSERT_NE(Open(), L"Nothing");
        }
        EXPECT_EQ(static_cast<int>(host.boxes.size()), c.noticesOverTwoOpens);
        EXPECT_EQ(settings.store.ReadSetting(L"SecurityWarning", L"?", L"S"), c.storedAfter);
        for (const ShownBox& box : host.boxes) {
            EXPECT_EQ(box.text,
                      L"The version of Outlook you are running may prevent Horavane from automatically sending "
                      L"email.\r\n\r\nNOTE: If Outlook email security is enabled, you will be prompted by Outlook to "
                      L"manually approve email \r\nsent from Horavane.");
            EXPECT_EQ(box.style, static_cast<UINT>(MB_OK | MB_ICONINFORMATION));
            EXPECT_EQ(box.title, L"Horavane");
        }
    }
}

TEST_F(Session, NoticeSavesEverySetting) {
    config.topFolderName = L"Personal Folders";
    server = standin::CreateServer(config);
    settings.store.LoadSettings();
    settings.SetText(settings::kEmailAddress, L"typed@example.com");  // not stored yet
    engine = MakeEngine([this] { return server->CreateApplication(); });
    ASSERT_NE(engine->OpenOutlookSession(), L"Nothing");
    ASSERT_EQ(host.boxes.size(), 1u);
    EXPECT_EQ(settings.store.ReadSetting(L"EventEmailAddress", L"", L"S"), L"typed@example.com");
}

TEST_F(Session, CloseReleasesEveryOutlookObject) {
    const long before = 0;
    Start({});
    Tick(9, 0);
    EXPECT_GT(server->Count().LiveObjects(), before);
    engine->CloseOutlookSession();
    EXPECT_EQ(server->Count().LiveObjects(), before);
    engine->CloseOutlookSession();  // harmless twice
    EXPECT_FALSE(engine->OutlookApp);
}

// The client the program talks to Outlook with: failures carry Outlook's description, and only a
// server that has gone counts as gone; a closed client fails every call.
TEST(Automation, ServerErrorsCarryTheirDescription) {
    standin::Config config;
    auto server = standin::CreateServer(config);
    outlook::Dispatch app = server->CreateApplication();
    outlook::AutomationClient client([](DWORD) {}, [] { return 0ULL; });
    try {
        client.Call(app.Get(), L"GetNamespace", {L"NOT-MAPI"});
        FAIL() << "expected a failure";
    } catch (const outlook::AutomationError& e) {
        EXPECT_TRUE(FAILED(e.Result()));
        EXPECT_FALSE(e.Description().empty());
        EXPECT_FALSE(e.ServerGone());
    }
    try {
        client.Get(app.Get(), L"NoSuchMember");
        FAIL() << "expected a failure";
    } catch (const outlook::AutomationError& e) { EXPECT_EQ(e.Result(), DISP_E_UNKNOWNNAME); }
    EXPECT_NE(client.Get(app.Get(), L"version").AsString(), L"");  // names in any case
    EXPECT_THROW(client.Get(nullptr, L"Version"), outlook::AutomationError);
    client.Close();
    EXPECT_THROW(client.Get(app.Get(), L"Version"), outlook::AutomationError);
    client.Reopen();
    server->Faults().GoAway();
    try {
        client.Get(app.Get(), L"Version");
        FAIL() << "expected a failure";
    } catch (const outlook::AutomationError& e) { EXPECT_TRUE(e.ServerGone()); }
}

// A fault inside Outlook, a server that will not start and a refused access are Outlook's answers,
// not its absence.
TEST(Automation, FailuresOfAServerThatAnswersNeverMeanItHasGone) {
    const HRESULT answered[] = {RPC_E_SERVERFAULT,
                                RPC_E_CALL_REJECTED,
                                RPC_E_SERVERCALL_RETRYLATER,
                                RPC_E_CONNECTION_TERMINATED,
                                OLE_E_NOTRUNNING,
                                CO_E_SERVER_EXEC_FAILURE,
                                E_FAIL,
                                DISP_E_UNKNOWNNAME,
                                HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED)};
    for (HRESULT hr : answered) EXPECT_FALSE(outlook::AutomationError(hr, L"").ServerGone()) << std::hex << hr;
}

// Outlook runs when a process of the program its class's LocalServer32 names runs in this session.
TEST(OutlookProcess, IsTheRegisteredServerProgramRunningInThisSession) {
    EXPECT_EQ(outlook::ServerPathOf(L"\"C:\\Program Files\\Office\\OUTLOOK.EXE\" /automation"),
              L"C:\\Program Files\\Office\\OUTLOOK.EXE");
    EXPECT_EQ(outlook::ServerPathOf(L" C:\\Program Files\\Office\\Outlook.exe /automation -Embedding"),
              L"C:\\Program Files\\Office\\Outlook.exe");
    EXPECT_EQ(outlook::ServerPathOf(L"C:\\PROGRA~1\\OFFICE\\OUTLOOK.EXE"), L"C:\\PROGRA~1\\OFFICE\\OUTLOOK.EXE");
    EXPECT_EQ(outlook::ServerPathOf(L"server -x"), L"server");
    EXPECT_EQ(outlook::OutlookServerImage(), L"OutlookStandin.exe");  // as the prefix registers it

    wchar_t path[MAX_PATH] = L"";
    ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring self = path;
    self = self.substr(self.find_last_of(L'\\') + 1);
    for (wchar_t& c : self) c = static_cast<wchar_t>(::towupper(c));
    DWORD session = 0;
    ASSERT_TRUE(::ProcessIdToSessionId(::GetCurrentProcessId(), &session));
    EXPECT_TRUE(outlook::ImageRunsInSession(self, session)) << self;
    EXPECT_FALSE(outlook::ImageRunsInSession(self, session + 1));
    EXPECT_FALSE(outlook::ImageRunsInSession(L"NoSuchProgram.exe", session));
}

TEST(Automation, VariantsConvertAsAutomationDoes) {
    EXPECT_EQ(outlook::Variant(L"42").AsLong(), 42);
    EXPECT_TRUE(outlook::Variant(true).AsBool());
    EXPECT_EQ(outlook::Variant(7).AsString(), L"7");
    EXPECT_TRUE(outlook::Variant().IsNothing());
    EXPECT_TRUE(outlook::Variant(static_cast<IDispatch*>(nullptr)).IsNothing());
    EXPECT_THROW(outlook::Variant(L"not a number").AsLong(), outlook::AutomationError);
    EXPECT_THROW(outlook::Variant(L"x").AsDispatch(), outlook::AutomationError);
    outlook::Variant copy = outlook::Variant(L"text");
    outlook::Variant other(copy);
    EXPECT_EQ(other.AsString(), L"text");
}

TEST(BusyRetryFilter, RetriesABusyOutlookForAsLongAsThePatienceLasts) {
    ULONGLONG now = 0;
    outlook::AutomationClient client([](DWORD) {}, [&] { return now; });
    outlook::BusyRetryFilter filter([&](DWORD elapsed) { return client.PatienceLeftMs(elapsed); });
    const DWORD cancel = static_cast<DWORD>(-1);
    struct Case {
        DWORD elapsed, rejectType, patience, answer;
    } cases[] = {
        {0, SERVERCALL_RETRYLATER, 10000, outlook::BusyRetryFilter::kRetryAfterMs},
        {9800, SERVERCALL_REJECTED, 10000, 200},       // the last wait ends with the patience
        {9950, SERVERCALL_RETRYLATER, 10000, cancel},  // too little left for a wait
        {10000, SERVERCALL_RETRYLATER, 10000, cancel},
        {30000, SERVERCALL_REJECTED, 60000, outlook::BusyRetryFilter::kRetryAfterMs},
        {0, SERVERCALL_ISHANDLED, 60000, cancel},
    };
    for (const Case& c : cases) {
        const outlook::AutomationClient::Patience patience(client, c.patience);
        EXPECT_EQ(filter.RetryRejectedCall(nullptr, c.elapsed, c.rejectType), c.answer)
            << "after " << c.elapsed << " ms, type " << c.rejectType;
    }
    client.Close();  // the program is ending: a waiting call is given up at once
    EXPECT_EQ(filter.RetryRejectedCall(nullptr, 0, SERVERCALL_RETRYLATER), cancel);
    EXPECT_EQ(filter.HandleInComingCall(CALLTYPE_TOPLEVEL, nullptr, 0, nullptr),
              static_cast<DWORD>(SERVERCALL_ISHANDLED));
    // A key typed while a call waits reaches the window as in the message loop (Esc in a text box
    // does what the close box does); a quit stays for the message loop.
    struct KeyForm : toolkit::Form {
        KeyForm() : Form(toolkit::FormStyle{}) {}
        void OnCloseBox() override { ++closeBoxes; }
        toolkit::TextBox text{*this, {{120, 120, 1500, 285}, L"", L"", 0}};
        int closeBoxes = 0;
    } form;
    ::PostMessageW(form.text.Hwnd(), WM_KEYDOWN, VK_ESCAPE, 1);
    ::PostQuitMessage(7);
    EXPECT_EQ(filter.MessagePending(nullptr, 0, PENDINGTYPE_TOPLEVEL), static_cast<DWORD>(PENDINGMSG_WAITNOPROCESS));
    EXPECT_EQ(form.closeBoxes, 1);
    MSG msg;
    ASSERT_TRUE(::PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_EQ(msg.wParam, 7u);
}

}  // namespace
}  // namespace hv::test
