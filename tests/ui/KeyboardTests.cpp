// The keyboard as a user meets it. Every form gives its controls the dialog manager's navigation:
// Tab, access keys (a label's moves the focus on to the control after it, with its text
// selected), the focus kept across a switch to another window. The configuration window and
// the viewer open with their Close button focused and reach each control by its access key.
//
// The keyboard focus belongs to the active window only, and the tests take the foreground: this
// program runs alone, never beside other tests that show windows.
#include <windows.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "resources/resource.h"
#include "tests/support/ConfigureBoxes.h"
#include "tests/support/FakeCommands.h"
#include "tests/support/PendingLines.h"
#include "tests/support/RegistrySandbox.h"
#include "tests/support/ScriptedHost.h"
#include "tests/ui/WindowProbe.h"
#include "ui/ConfigureForm.h"
#include "ui/QForm.h"
#include "ui/SplashForm.h"
#include "toolkit/Controls.h"
#include "toolkit/Form.h"

namespace hv::test {
namespace {

using ui::ConfigureForm;
using ui::QForm;

class NameForm : public toolkit::Form {
public:
    NameForm() : Form(Style()) {}
    static toolkit::FormStyle Style() {
        toolkit::FormStyle s;
        s.caption = L"Keyboard";
        s.clientWidthTwips = 4000;
        s.clientHeightTwips = 1800;
        return s;
    }
    toolkit::Button ok{*this, {{120, 1200, 1200, 375}, L"OK", L"", 0}};
    toolkit::TextBox first{*this, {{1500, 120, 2000, 285}, L"", L"", 1}};
    toolkit::Label nameLabel{*this, {{120, 600, 1300, 255}, L"&Name:", L"", 2}};
    toolkit::TextBox name{*this, {{1500, 600, 2000, 285}, L"", L"", 3}};
    toolkit::CheckBox option{*this, {{1500, 1000, 2000, 255}, L"Option", L"", 4}};
};

TEST(FormKeyboard, ALabelsAccessKeyFocusesTheNextControlWithItsTextSelected) {
    NameForm form;
    form.name.SetText(L"Quil");
    form.Show();
    Settle();
    BringToFront(form.Hwnd());
    ASSERT_EQ(FocusIn(form.Hwnd()), form.ok.Hwnd());
    PressAltKey(form.ok.Hwnd(), L'n');
    ASSERT_EQ(FocusIn(form.Hwnd()), form.name.Hwnd());
    DWORD start = 0, end = 0;
    ::SendMessageW(form.name.Hwnd(), EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
    EXPECT_EQ(start, 0u);
    EXPECT_EQ(end, 4u);
    EXPECT_EQ(form.option.Value(), 0) << "nothing else happened";
}

TEST(FormKeyboard, MovesTheFocusWhenAskedAsADialogBoxDoes) {
    NameForm form;
    form.Show();
    Settle();
    BringToFront(form.Hwnd());
    HWND hwnd = form.Hwnd();
    ::SendMessageW(hwnd, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(form.option.Hwnd()), TRUE);
    EXPECT_EQ(FocusIn(form.Hwnd()), form.option.Hwnd()) << "to a given control";
    ::SendMessageW(hwnd, WM_NEXTDLGCTL, TRUE, FALSE);
    EXPECT_EQ(FocusIn(form.Hwnd()), form.name.Hwnd()) << "back to the previous tab stop";
    ::SendMessageW(hwnd, WM_NEXTDLGCTL, FALSE, FALSE);
    EXPECT_EQ(FocusIn(form.Hwnd()), form.option.Hwnd()) << "on to the next one";
    ::SendMessageW(hwnd, WM_NEXTDLGCTL, FALSE, FALSE);
    EXPECT_EQ(FocusIn(form.Hwnd()), form.ok.Hwnd()) << "round to the first";
}

TEST(FormKeyboard, AWindowActivatedAgainGivesTheFocusBackToTheControlThatHadIt) {
    NameForm form, other;
    form.Show();
    Settle();
    BringToFront(form.Hwnd());
    form.name.Focus();
    other.Show();
    Settle();
    ASSERT_TRUE(BringToFront(other.Hwnd()));
    form.Show();
    Settle();
    ASSERT_TRUE(BringToFront(form.Hwnd()));
    EXPECT_EQ(FocusIn(form.Hwnd()), form.name.Hwnd());
}

// The name of a control of the configuration window, for messages.
std::string NameOf(ConfigureForm& f, HWND window) {
    const std::pair<const char*, toolkit::Control*> named[] = {
        {"cmdOK", &f.cmdOK},   {"txtEmailAddress", &f.txtEmailAddress}, {"cmdTestEmail", &f.cmdTestEmail},
        {"Label1", &f.Label1}, {"txtCategory", &f.txtCategory},         {"cmdClear", &f.cmdClear},
    };
    if (window == f.Hwnd()) return "the window itself";
    for (const auto& [name, control] : named)
        if (control->Hwnd() == window) return name;
    for (const ConfigureBox& b : kConfigureBoxes)
        if ((f.*b.control).Hwnd() == window) return b.name;
    return window ? "another window" : "nothing";
}

class ConfigureKeys : public testing::Test {
protected:
    HWND ShowWindow() {
        form.Show();
        Settle();
        BringToFront(form.Hwnd());
        return form.Hwnd();
    }

    RegistrySandbox registry;  // check boxes and the test button store what they change
    ScriptedHost host;
    FakeCommands commands;
    ConfigureForm form{host, commands};
};
using frmConfigureKeys = ConfigureKeys;

TEST_F(frmConfigureKeys, TheTabKeyMovesTheFocusAlongTheTabOrder) {
    HWND hwnd = ShowWindow();
    ASSERT_EQ(FocusIn(hwnd), form.cmdOK.Hwnd());
    PressKey(FocusIn(hwnd), VK_TAB);
    EXPECT_EQ(FocusIn(hwnd), form.txtEmailAddress.Hwnd());
    PressKey(FocusIn(hwnd), VK_TAB);
    EXPECT_EQ(FocusIn(hwnd), form.cmdTestEmail.Hwnd());
}

TEST_F(frmConfigureKeys, TheCloseButtonHasTheFocusWhenTheWindowFirstOpens) {
    HWND hwnd = ShowWindow();
    EXPECT_TRUE(::IsWindowVisible(hwnd));
    EXPECT_EQ(FocusIn(hwnd), form.cmdOK.Hwnd());
}

// What an access key is expected to do, seen from outside.
struct AccessKeyCase {
    wchar_t letter;
    const char* reaches;
    std::function<void(ConfigureForm&, FakeCommands&)> check;
};

void ExpectTickedAndFocused(toolkit::CheckBox& box) {
    EXPECT_EQ(box.Value(), 1) << "ticked, as a click would";
    EXPECT_EQ(FocusIn(::GetAncestor(box.Hwnd(), GA_ROOT)), box.Hwnd());
}

TEST_F(frmConfigureKeys, AltWithAnUnderlinedLetterReachesItsControl) {
    const AccessKeyCase cases[] = {
        {L'r', "chkReminder", [](ConfigureForm& f, FakeCommands&) { ExpectTickedAndFocused(f.chkReminder); }},
        {L's', "chkSubject", [](ConfigureForm& f, FakeCommands&) { ExpectTickedAndFocused(f.chkSubject); }},
        {L'l', "chkLocation", [](ConfigureForm& f, FakeCommands&) { ExpectTickedAndFocused(f.chkLocation); }},
        {L'o', "chkOrganizer", [](ConfigureForm& f, FakeCommands&) { ExpectTickedAndFocused(f.chkOrganizer); }},
        {L'b', "chkComments", [](ConfigureForm& f, FakeCommands&) { ExpectTickedAndFocused(f.chkComments); }},
        // Two captions share a letter; the key reaches the first of them after the focus.
        {L'e', "chkCEEnabled (before Cl&ear)",
         [](ConfigureForm& f, FakeCommands&) { ExpectTickedAndFocused(f.chkCEEnabled); }},
        {L't', "cmdTestEmail (before Start-End &Time)",
         [](ConfigureForm& f, FakeCommands& c) {
             EXPECT_EQ(c.testMessages, 1) << "Test pressed";
             EXPECT_EQ(f.chkStartEndTIme.Value(), 0);
         }},
        {L'c', "cmdOK",
         [](ConfigureForm& f, FakeCommands& c) {
             EXPECT_EQ(c.checkAddress, 1) << "Close pressed";
             EXPECT_FALSE(f.Visible());
             EXPECT_EQ(c.pollSoon, 1) << "the next poll comes soon";
         }},
    };
    for (const AccessKeyCase& c : cases) {
        SCOPED_TRACE(c.reaches);
        RegistrySandbox sandbox;
        FakeCommands spy;
        ConfigureForm window(host, spy);
        window.txtEmailAddress.SetText(L"pager@example.com");
        window.Show();
        Settle();
        BringToFront(window.Hwnd());
        PressAltKey(window.cmdOK.Hwnd(), c.letter);
        c.check(window, spy);
    }
}

// Enter and Esc as in every dialog: Enter presses the focused push button, and Close wherever
// else the focus is; Esc does what the close box does.
struct DialogKeyCase {
    const char* what;
    const wchar_t* address;
    std::function<toolkit::Control&(ConfigureForm&)> focus;
    UINT key;
    int closePresses;  // Close's handler asks the core to check the address once per press
    int tests;
    bool visibleAfter;
};

TEST_F(frmConfigureKeys, EnterPressesTheFocusedButtonOrCloseAndEscDoesWhatTheCloseBoxDoes) {
    auto close = [](ConfigureForm& f) -> toolkit::Control& { return f.cmdOK; };
    auto address = [](ConfigureForm& f) -> toolkit::Control& { return f.txtEmailAddress; };
    const DialogKeyCase cases[] = {
        {"Enter on Close", L"pager@example.com", close, VK_RETURN, 1, 0, false},
        {"Enter in the address box", L"pager@example.com", address, VK_RETURN, 1, 0, false},
        {"Enter on a check box", L"pager@example.com",
         [](ConfigureForm& f) -> toolkit::Control& { return f.chkLocation; }, VK_RETURN, 1, 0, false},
        {"Enter on Test", L"pager@example.com", [](ConfigureForm& f) -> toolkit::Control& { return f.cmdTestEmail; },
         VK_RETURN, 0, 1, true},
        {"Esc on Close", L"pager@example.com", close, VK_ESCAPE, 1, 0, false},
        {"Esc in the address box", L"pager@example.com", address, VK_ESCAPE, 1, 0, false},
        // With the switch on and no address, Close warns and the window stays.
        {"Esc without an address", L"", address, VK_ESCAPE, 1, 0, true},
    };
    for (const DialogKeyCase& c : cases) {
        SCOPED_TRACE(c.what);
        RegistrySandbox sandbox;
        FakeCommands spy;
        ConfigureForm window(host, spy);
        window.txtEmailAddress.SetText(c.address);
        window.chkCEEnabled.SetValue(1);
        window.Show();
        Settle();
        BringToFront(window.Hwnd());
        HWND target = c.focus(window).Hwnd();
        ::SetFocus(target);
        PressKey(target, c.key);
        EXPECT_EQ(spy.checkAddress, c.closePresses);
        EXPECT_EQ(spy.testMessages, c.tests);
        EXPECT_EQ(window.Visible(), c.visibleAfter);
        EXPECT_EQ(spy.pollSoon, c.visibleAfter ? 0 : 1) << "a closed window brings the next poll forward";
        EXPECT_EQ(window.chkLocation.Value(), 0) << "no box toggled";
    }
}

// The arrow keys go round the focusable controls of the focused control's frame, in tab order,
// and never stop on a label or a frame.
TEST_F(frmConfigureKeys, ArrowKeysStayInsideTheFrameAndSkipLabelsAndFrames) {
    HWND hwnd = ShowWindow();
    struct Step {
        UINT key;
        const char* reaches;
    };
    form.chkSubject.Focus();
    for (const Step& s : {Step{VK_RIGHT, "chkStartEndTIme"}, Step{VK_DOWN, "chkLocation"},
                          Step{VK_RIGHT, "chkOrganizer"}, Step{VK_RIGHT, "chkComments"}, Step{VK_RIGHT, "chkSubject"},
                          Step{VK_LEFT, "chkComments"}, Step{VK_UP, "chkOrganizer"}}) {
        PressKey(::GetFocus(), s.key);
        EXPECT_EQ(NameOf(form, FocusIn(hwnd)), s.reaches);
    }
    form.chkReminder.Focus();
    PressKey(::GetFocus(), VK_DOWN);
    EXPECT_EQ(NameOf(form, FocusIn(hwnd)), "txtCategory") << "past the category label";
    form.chkCEEnabled.Focus();
    PressKey(::GetFocus(), VK_UP);
    EXPECT_EQ(NameOf(form, FocusIn(hwnd)), "cmdTestEmail");
    form.cmdOK.Focus();
    PressKey(::GetFocus(), VK_DOWN);
    EXPECT_EQ(NameOf(form, FocusIn(hwnd)), "cmdOK") << "outside the frames the arrows go nowhere";
    EXPECT_EQ(form.chkSubject.Value() + form.chkLocation.Value() + form.chkComments.Value(), 0) << "nothing toggled";
}

// A real click of the left button at a point of the screen, as the system delivers it.
// The pointer is moved first and must have settled there (the window system may still deliver a
// motion from where it was) before the button goes down.
void ClickOnScreen(POINT at) {
    for (int stable = 0, tries = 0; stable < 3 && tries < 100; ++tries) {
        POINT now{};
        ::GetCursorPos(&now);
        if (now.x == at.x && now.y == at.y) {
            ++stable;
        } else {
            stable = 0;
            ::SetCursorPos(at.x, at.y);
        }
        Settle(40);
    }
    INPUT buttons[2] = {};
    buttons[0].type = buttons[1].type = INPUT_MOUSE;
    buttons[0].mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
    buttons[1].mi.dwFlags = MOUSEEVENTF_LEFTUP;
    ::SendInput(2, buttons, sizeof(INPUT));
    Settle(150);
}

// A point of a control given in 96-dpi pixels from its left edge, halfway down, on the screen.
POINT OnControl(const toolkit::Form& form, toolkit::Control& c, int pixelsAt96) {
    RECT r{};
    ::GetWindowRect(c.Hwnd(), &r);
    return POINT{r.left + ::MulDiv(pixelsAt96, static_cast<int>(form.Dpi()), 96), (r.top + r.bottom) / 2};
}

using frmConfigureMouse = ConfigureKeys;

// The given rectangles of the format boxes overlap their right-hand neighbours (by 9 and 33
// pixels at 96 dpi, under the next box's square) and the category label runs under the category
// box: a click on a box's square or on its caption's first letter reaches that box only.
TEST_F(frmConfigureMouse, AClickOnABoxsSquareOrFirstLetterTogglesThatBoxOnly) {
    ShowWindow();
    std::vector<toolkit::CheckBox*> boxes;
    for (const ConfigureBox& b : kConfigureBoxes) boxes.push_back(&(form.*b.control));
    for (int offset : {6, 21}) {  // the centre of the square, the first letter of the caption
        for (toolkit::CheckBox* box : boxes) {
            SCOPED_TRACE(NameOf(form, box->Hwnd()) + " at " + std::to_string(offset));
            std::vector<int> before;
            for (toolkit::CheckBox* b : boxes) before.push_back(b->Value());
            const int was = box->Value();
            ClickOnScreen(OnControl(form, *box, offset));
            // Real input reaches the window at the window system's pace: wait (within reason) for
            // the click to be handled before looking at every box.
            for (int waited = 0; waited < 5000 && box->Value() == was; waited += 20) Settle(20);
            for (size_t i = 0; i < boxes.size(); ++i)
                EXPECT_EQ(boxes[i]->Value(), boxes[i] == box ? 1 - before[i] : before[i])
                    << NameOf(form, boxes[i]->Hwnd());
        }
    }
    ClickOnScreen(OnControl(form, form.txtCategory, 3));
    for (int waited = 0; waited < 5000 && ::GetFocus() != form.txtCategory.Hwnd(); waited += 20) Settle(20);
    EXPECT_EQ(NameOf(form, FocusIn(form.Hwnd())), "txtCategory") << "the left edge of the category box";
}

// The label in front of the category box carries the access key for it.
TEST_F(frmConfigureKeys, TheCategoryLabelsAccessKeyReachesTheCategoryBox) {
    form.txtCategory.SetText(L"Pager");
    ShowWindow();
    PressAltKey(form.cmdOK.Hwnd(), L'g');
    EXPECT_EQ(NameOf(form, FocusIn(form.Hwnd())), "txtCategory");
    DWORD start = 0, end = 0;
    ::SendMessageW(form.txtCategory.Hwnd(), EM_GETSEL, reinterpret_cast<WPARAM>(&start),
                   reinterpret_cast<LPARAM>(&end));
    EXPECT_EQ(end - start, 5u) << "its text selected, ready to be typed over";
}

class ViewerKeys : public testing::Test {
protected:
    HWND ShowViewer() {
        form.Show();
        Settle();
        BringToFront(form.Hwnd());
        return form.Hwnd();
    }

    ScriptedHost host;
    QForm form{host};
};
using frmQKeys = ViewerKeys;

TEST_F(frmQKeys, CloseHasTheFocusWhenTheViewerOpens) {
    HWND hwnd = ShowViewer();
    EXPECT_EQ(FocusIn(hwnd), form.cmdClose.Hwnd());
}

TEST_F(frmQKeys, AltCHidesTheViewerAndKeepsItsText) {
    HWND hwnd = ShowViewer();
    form.txtQ.SetText(kBudgetReviewLine);
    PressAltKey(FocusIn(hwnd), L'c');
    EXPECT_FALSE(::IsWindowVisible(hwnd));
    EXPECT_TRUE(::IsWindow(hwnd));
    EXPECT_EQ(form.txtQ.Text(), kBudgetReviewLine);
}

TEST_F(frmQKeys, EnterAndEscHideTheViewerFromTheButtonAndFromTheList) {
    for (UINT key : {UINT{VK_RETURN}, UINT{VK_ESCAPE}}) {
        for (bool inList : {false, true}) {
            SCOPED_TRACE(std::to_string(key) + (inList ? " in the list" : " on Close"));
            HWND hwnd = ShowViewer();
            HWND target = inList ? form.txtQ.Hwnd() : form.cmdClose.Hwnd();
            ::SetFocus(target);
            PressKey(target, key);
            Settle();
            EXPECT_FALSE(::IsWindowVisible(hwnd));
            EXPECT_TRUE(::IsWindow(hwnd)) << "hidden, not destroyed";
        }
    }
}

class SplashCounter : public ui::SplashCommands {
public:
    void SplashClosed() override { ++closed; }
    void OpenWebPage() override { ++webPages; }
    HICON Logo(int) override { return nullptr; }
    int closed = 0, webPages = 0;
};

// Keys typed on the keyboard, as the system delivers them to the active window.
void TypeKey(WORD virtualKey) {
    INPUT keys[2] = {};
    keys[0].type = keys[1].type = INPUT_KEYBOARD;
    keys[0].ki.wVk = keys[1].ki.wVk = virtualKey;
    keys[1].ki.dwFlags = KEYEVENTF_KEYUP;
    ::SendInput(2, keys, sizeof(INPUT));
    Settle(100);
}

TEST(frmSplashKeys, AKeyTypedWhileTheSplashIsActiveClosesIt) {
    for (WORD key : {WORD{VK_RETURN}, WORD{VK_ESCAPE}, WORD{'X'}}) {
        SCOPED_TRACE(key);
        SplashCounter commands;
        ui::SplashForm splash(commands);
        splash.Show();
        Settle();
        HWND hwnd = splash.Hwnd();
        ASSERT_TRUE(BringToFront(hwnd));
        TypeKey(key);
        EXPECT_FALSE(::IsWindow(hwnd));
        EXPECT_EQ(commands.closed, 1);
    }
}

// Alt+F4, the system's close command, closes it as a click does: the core hears of it.
TEST(frmSplashKeys, AltF4ClosesItAsAClickDoes) {
    SplashCounter commands;
    ui::SplashForm splash(commands);
    splash.Show();
    Settle();
    HWND hwnd = splash.Hwnd();
    ASSERT_TRUE(BringToFront(hwnd));
    EXPECT_EQ(::GetFocus(), hwnd) << "the window takes the keyboard when it is activated";
    INPUT keys[4] = {};
    const WORD order[4] = {VK_MENU, VK_F4, VK_F4, VK_MENU};
    for (int i = 0; i < 4; ++i) {
        keys[i].type = INPUT_KEYBOARD;
        keys[i].ki.wVk = order[i];
        keys[i].ki.dwFlags = i >= 2 ? KEYEVENTF_KEYUP : 0;
    }
    ::SendInput(4, keys, sizeof(INPUT));
    Settle(200);
    EXPECT_FALSE(::IsWindow(hwnd));
    EXPECT_EQ(commands.closed, 1);
}

TEST(frmSplashKeys, AShiftKeyAloneLeavesItOpen) {
    SplashCounter commands;
    ui::SplashForm splash(commands);
    splash.Show();
    Settle();
    ASSERT_TRUE(BringToFront(splash.Hwnd()));
    TypeKey(VK_SHIFT);
    EXPECT_TRUE(::IsWindowVisible(splash.Hwnd()));
    EXPECT_EQ(commands.closed, 0);
}

}  // namespace
}  // namespace hv::test
