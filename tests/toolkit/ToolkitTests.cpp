// The toolkit's semantics that the rest of the program relies on: forms created on first touch,
// handlers run by changes from code as by the user's edits, timers, and message pumping.
#include <windows.h>

#include <gtest/gtest.h>

#include "toolkit/AnsiText.h"
#include "toolkit/Controls.h"
#include "toolkit/Form.h"
#include "toolkit/Menu.h"
#include "toolkit/VersionInfo.h"
#include "resources/version.h"

namespace hv::toolkit {
namespace {

class TestForm : public Form {
public:
    TestForm() : Form(Style()) {}
    static FormStyle Style() {
        FormStyle s;
        s.caption = L"Toolkit test";
        s.clientWidthTwips = 3000;
        s.clientHeightTwips = 1500;
        return s;
    }
    int loads = 0, unloads = 0;
    CheckBox box{*this, {{120, 120, 1500, 255}, L"&Box", L"a tip", 2}};
    TextBox text{*this, {{120, 600, 1500, 285}, L"", L"", 1}};
    Button button{*this, {{120, 1000, 900, 375}, L"&Go", L"", 0}};
    Timer timer{*this};
    Timer sentTimer{*this, TimerDelivery::Sent};

protected:
    void OnLoad() override { ++loads; }
    void OnUnload() override { ++unloads; }
};

void PumpFor(DWORD ms) {
    const DWORD start = ::GetTickCount();
    while (::GetTickCount() - start < ms) {
        LetPendingMessagesRun();
        ::Sleep(5);
    }
}

TEST(Form, IsCreatedHiddenOnFirstTouchOfAControlAndAgainAfterUnload) {
    TestForm f;
    EXPECT_FALSE(f.IsLoaded());
    EXPECT_EQ(f.box.Value(), 0);
    EXPECT_TRUE(f.IsLoaded());
    EXPECT_FALSE(f.Visible());
    EXPECT_EQ(f.loads, 1);
    f.box.SetValue(1);
    f.text.SetText(L"kept until unload");
    f.Show();
    EXPECT_TRUE(f.Visible());
    f.Hide();
    EXPECT_EQ(f.text.Text(), L"kept until unload");
    f.Unload();
    EXPECT_EQ(f.unloads, 1);
    EXPECT_FALSE(f.IsLoaded());
    f.Unload();  // harmless when repeated
    EXPECT_EQ(f.unloads, 1);
    EXPECT_EQ(f.text.Text(), L"");  // a new window: controls start empty
    EXPECT_EQ(f.loads, 2);
}

TEST(Form, ClientAreaIsTheTwipsSizeAtTheWindowDpi) {
    TestForm f;
    RECT r{};
    ::GetClientRect(f.Hwnd(), &r);
    EXPECT_EQ(r.right, ::MulDiv(3000, static_cast<int>(f.Dpi()), 1440));
    EXPECT_EQ(r.bottom, ::MulDiv(1500, static_cast<int>(f.Dpi()), 1440));
    RECT box{};
    ::GetWindowRect(f.box.Hwnd(), &box);
    ::MapWindowPoints(nullptr, f.Hwnd(), reinterpret_cast<POINT*>(&box), 2);
    EXPECT_EQ(box.left, f.Pixels(120));
    EXPECT_EQ(box.right - box.left, f.Pixels(1620) - f.Pixels(120));
}

TEST(CheckBox, HandlerRunsOnEveryChangeFromCodeOrUserAndNotOtherwise) {
    TestForm f;
    int clicks = 0;
    f.box.onClick = [&] { ++clicks; };
    f.box.SetValue(0);
    EXPECT_EQ(clicks, 0);
    f.box.SetValue(1);
    EXPECT_EQ(clicks, 1);
    EXPECT_EQ(f.box.Value(), 1);
    f.box.SetValue(1);
    EXPECT_EQ(clicks, 1);
    ::SendMessageW(f.box.Hwnd(), BM_CLICK, 0, 0);
    EXPECT_EQ(clicks, 2);
    EXPECT_EQ(f.box.Value(), 0);
}

TEST(TextBox, ChangeHandlerRunsForDifferentTextAndEachKeystroke) {
    TestForm f;
    std::vector<std::wstring> changes;
    f.text.onChange = [&] { changes.push_back(f.text.Text()); };
    f.text.SetText(L"");
    EXPECT_TRUE(changes.empty());
    f.text.SetText(L"abc");
    f.text.SetText(L"abc");
    ::SendMessageW(f.text.Hwnd(), EM_SETSEL, 3, 3);
    ::SendMessageW(f.text.Hwnd(), WM_CHAR, L'd', 0);
    EXPECT_EQ(changes, (std::vector<std::wstring>{L"abc", L"abcd"}));
}

TEST(TextBox, HoldsTextBeyondTheTypingLimit) {
    TestForm f;
    const std::wstring big(100000, L'y');
    f.text.SetText(big);
    EXPECT_EQ(f.text.Text(), big);
}

TEST(Timer, TicksOnlyWhileEnabledWithAnInterval) {
    TestForm f;
    int ticks = 0;
    f.timer.onTick = [&] { ++ticks; };
    f.timer.SetEnabled(true);  // no interval yet: no tick
    PumpFor(150);
    EXPECT_EQ(ticks, 0);
    f.timer.SetInterval(30);
    PumpFor(400);
    EXPECT_GT(ticks, 0);
    f.timer.SetEnabled(false);
    const int stopped = ticks;
    PumpFor(200);
    EXPECT_EQ(ticks, stopped);
    EXPECT_EQ(f.timer.Interval(), 30u);
}

// As COM's wait for an outgoing call under Wine: only sent messages are taken.
void TakeOnlySentMessagesFor(DWORD ms) {
    const DWORD start = ::GetTickCount();
    MSG msg;
    while (::GetTickCount() - start < ms) {
        ::PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
        ::Sleep(5);
    }
}

TEST(Timer, ASentTimerTicksWhereOnlySentMessagesAreTakenAndBusyTicksArriveAsOne) {
    TestForm f;
    int queued = 0, sent = 0;
    f.timer.onTick = [&] { ++queued; };
    f.sentTimer.onTick = [&] { ++sent; };
    for (Timer* t : {&f.timer, &f.sentTimer}) {
        t->SetInterval(30);
        t->SetEnabled(true);
    }
    TakeOnlySentMessagesFor(400);
    EXPECT_EQ(queued, 0);
    EXPECT_GT(sent, 3);
    const int beforeBusy = sent;
    ::Sleep(400);  // busy: about thirteen ticks fall due
    TakeOnlySentMessagesFor(20);
    EXPECT_GE(sent - beforeBusy, 1);
    EXPECT_LE(sent - beforeBusy, 2);
    f.sentTimer.SetEnabled(false);
    const int stopped = sent;
    PumpFor(200);
    EXPECT_EQ(sent, stopped);
    f.sentTimer.SetEnabled(true);
    f.Unload();  // the window goes: no tick after it
    PumpFor(100);
    EXPECT_EQ(sent, stopped);
}

TEST(LetPendingMessagesRun, DispatchesQueuedMessagesAndKeepsQuitForTheLoop) {
    TestForm f;
    int clicks = 0;
    f.button.onClick = [&] { ++clicks; };
    ::PostMessageW(f.Hwnd(), WM_COMMAND, MAKEWPARAM(f.button.Id(), BN_CLICKED),
                   reinterpret_cast<LPARAM>(f.button.Hwnd()));
    ::PostQuitMessage(7);
    LetPendingMessagesRun();
    EXPECT_EQ(clicks, 1);
    MSG msg;
    ASSERT_TRUE(::PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_EQ(msg.wParam, 7u);
}

TEST(PopupMenu, RunsItemCommandsAndKeepsCheckMarks) {
    TestForm f;
    PopupMenu menu(f);
    int runs = 0;
    const UINT a = menu.AddItem(L"&Alpha", [&] { ++runs; });
    menu.AddSeparator();
    const UINT b = menu.AddItem(L"&Beta", nullptr);
    menu.SetChecked(a, true);
    EXPECT_TRUE(menu.Checked(a));
    EXPECT_FALSE(menu.Checked(b));
    EXPECT_EQ(menu.Caption(a), L"&Alpha");
    ::SendMessageW(f.Hwnd(), WM_COMMAND, MAKEWPARAM(a, 0), 0);
    EXPECT_EQ(runs, 1);
    EXPECT_TRUE(menu.RunCommand(b));  // an item without a command only closes the menu
    EXPECT_EQ(runs, 1);
}

TEST(VersionInfo, ComesFromTheRunningProgramsResource) {
    const VersionInfo v = ReadVersionInfo();
    EXPECT_EQ(v.companyName, FromAnsi(HV_COMPANY_NAME));
    EXPECT_EQ(v.productName, FromAnsi(HV_PRODUCT_NAME));
    EXPECT_EQ(v.legalCopyright, FromAnsi(HV_COPYRIGHT));
    // The numbers of the fixed part, which the version text does not give.
    EXPECT_EQ(v.major, HV_VERSION_MAJOR + 0u);
    EXPECT_EQ(v.minor, HV_VERSION_MINOR + 0u);
    EXPECT_EQ(v.build, HV_VERSION_BUILD + 0u);
    EXPECT_EQ(v.revision, HV_VERSION_REVISION + 0u);
    EXPECT_FALSE(ProgramFolder().empty());
}

// The bytes of the system code page the test prefix runs in (Windows-1252, en-US) and of UTF-8,
// spelled out: a conversion that used the wrong code page, or none, fails.
TEST(AnsiText, ConvertsThroughTheSystemCodePage) {
    ASSERT_EQ(::GetACP(), 1252u) << "the tests run with the en-US code page";
    const struct {
        const wchar_t* text;
        const char* ansi;
        const char* utf8;
    } cases[] = {
        {L"Caf\u00e9 M\u00fcller", "Caf\xE9 M\xFCller", "Caf\xC3\xA9 M\xC3\xBCller"},
        {L"\u00a7 5\u00b0 \u20ac", "\xA7 5\xB0 \x80", "\xC2\xA7 5\xC2\xB0 \xE2\x82\xAC"},
        {L"\u65e5", "?", "\xE6\x97\xA5"},  // outside the code page
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ToAnsi(c.text), c.ansi);
        EXPECT_EQ(ToUtf8(c.text), c.utf8);
        EXPECT_EQ(FromUtf8(c.utf8), c.text);
        if (std::string(c.ansi) != "?") { EXPECT_EQ(FromAnsi(c.ansi), c.text); }
    }
}

}  // namespace
}  // namespace hv::toolkit
