// The configuration window as a user meets it: its frame and size, every control at its
// documented place with its caption, font and tooltip, and the tab order.
#include <windows.h>
#include <windowsx.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/FakeCommands.h"
#include "tests/support/ScriptedHost.h"
#include "tests/ui/WindowProbe.h"
#include "ui/ConfigureForm.h"

namespace hv::test {
namespace {

using ui::ConfigureForm;

using ControlOf = std::function<toolkit::Control&(ConfigureForm&)>;
#define CONTROL(name) #name, [](ConfigureForm & f) -> toolkit::Control& { return f.name; }

enum class Container { Window, Frame1, Frame3 };
constexpr const wchar_t* kNoTip = nullptr;
constexpr const wchar_t kAnyTip[] = L"(a tip of its own)";

// One row of the window's documented layout: place in twips inside its container.
struct Row {
    const char* name;
    ControlOf control;
    Container container;
    int left, top, width, height;
    const wchar_t* caption;
    const wchar_t* tip;
    int tabIndex;
};

const std::vector<Row>& Layout() {
    static const std::vector<Row> rows = {
        {CONTROL(Frame1), Container::Window, 0, 0, 5895, 1695, L"Appointment notification options", kNoTip, 1},
        {CONTROL(chkCEEnabled), Container::Frame1, 120, 240, 5655, 255,
         L"&Enable notification email to the following email address:",
         L"Checked: Email notification is enabled, Unchecked: Email notification is disabled.", 4},
        {CONTROL(txtEmailAddress), Container::Frame1, 120, 600, 4815, 285, L"",
         L"Enter the email address for you notification service", 2},
        {CONTROL(cmdTestEmail), Container::Frame1, 5040, 600, 735, 255, L"&Test",
         L"Send a test page to the specified address.", 3},
        {CONTROL(chkReminder), Container::Frame1, 120, 960, 5415, 315,
         L"Notifiy only if the Outlook appointment &reminder option is checked.",
         L"Checked: Notification is limited to only Outlook appointments with the reminder option checked.", 5},
        {CONTROL(Label1), Container::Frame1, 120, 1320, 2895, 255, L"Notifiy only if appointment cate&gory = ", kNoTip,
         12},
        {CONTROL(txtCategory), Container::Frame1, 2880, 1320, 2055, 285, L"",
         L"Notification is limited to Outlook appointments with a matching category text to the one entered here.", 6},
        {CONTROL(cmdClear), Container::Frame1, 5040, 1320, 735, 255, L"Cl&ear", kAnyTip, 15},
        {CONTROL(Frame3), Container::Window, 0, 1800, 5895, 1095,
         L"Email formatting options (select appointment fields to include)", kNoTip, 7},
        {CONTROL(chkSubject), Container::Frame3, 360, 360, 975, 195, L"&Subject (",
         L"Includes the appointment subject in the email subject.", 8},
        {CONTROL(chkStartEndTIme), Container::Frame3, 1320, 360, 1695, 195, L"Start-End &Time)",
         L"Includes the appointment start and end time in the email subject.", 9},
        {CONTROL(chkLocation), Container::Frame3, 2880, 360, 1575, 195, L"> &Location",
         L"Includes the appointment location in the email subject.", 10},
        {CONTROL(chkOrganizer), Container::Frame3, 3960, 360, 1815, 195, L"/ Meeting &Organizer",
         L"Includes the name of the appointment oganizer in the email subject if not the current user.", 11},
        {CONTROL(chkComments), Container::Frame3, 360, 720, 4935, 195, L"Include appointment &body in email body",
         kAnyTip, 13},
        {CONTROL(cmdOK), Container::Window, 2280, 3000, 1215, 375, L"&Close", kNoTip, 0},
    };
    return rows;
}

POINT ContainerOrigin(Container c) {
    switch (c) {
        case Container::Frame1: return POINT{0, 0};
        case Container::Frame3: return POINT{0, 1800};
        default: return POINT{0, 0};
    }
}

std::string Narrow(const std::wstring& text) { return std::string(text.begin(), text.end()); }

class Configure : public testing::Test {
protected:
    HWND ShowWindow() {
        form.Show();
        Settle();
        return form.Hwnd();
    }

    ScriptedHost host;
    FakeCommands commands;
    ConfigureForm form{host, commands};
};

using frmConfigure = Configure;  // the suite carries the window's name

TEST_F(frmConfigure, WindowHasItsCaptionAFixedBorderAndTheDocumentedClientArea) {
    HWND hwnd = form.Hwnd();
    ASSERT_EQ(form.Dpi(), 96u);
    EXPECT_FALSE(::IsWindowVisible(hwnd)) << "created hidden";
    EXPECT_EQ(TextOf(hwnd), L"Horavane Configuration");
    const RECT client = ClientRect(hwnd);
    EXPECT_EQ(client.right, 396);
    EXPECT_EQ(client.bottom, 227);
    const DWORD style = StyleOf(hwnd);
    EXPECT_EQ(style & WS_CAPTION, static_cast<DWORD>(WS_CAPTION));
    EXPECT_EQ(style & (WS_MINIMIZEBOX | WS_MAXIMIZEBOX), 0u) << "no minimize or maximize button";
    EXPECT_EQ(style & WS_THICKFRAME, 0u) << "not resizable";
    EXPECT_NE(::SendMessageW(hwnd, WM_GETICON, ICON_BIG, 0), 0) << "its 32 x 32 icon";
}

TEST_F(frmConfigure, EveryControlSitsAtItsRowWithItsCaption) {
    HWND hwnd = form.Hwnd();
    for (const Row& row : Layout()) {
        SCOPED_TRACE(row.name);
        HWND control = row.control(form).Hwnd();
        ASSERT_NE(control, nullptr);
        EXPECT_EQ(::GetParent(control), hwnd);
        const POINT origin = ContainerOrigin(row.container);
        const int left = origin.x + row.left, top = origin.y + row.top;
        const RECT r = RectInParent(control);
        EXPECT_EQ(r.left, At96(left));
        EXPECT_EQ(r.top, At96(top));
        EXPECT_EQ(r.right, At96(left + row.width));
        EXPECT_EQ(r.bottom, At96(top + row.height));
        EXPECT_EQ(TextOf(control), row.caption);
    }
}

TEST_F(frmConfigure, FrameCaptionsAreBoldAndEveryOtherControlUsesTheDialogFont) {
    form.Hwnd();
    for (const Row& row : Layout()) {
        SCOPED_TRACE(row.name);
        const LOGFONTW font = FontOf(row.control(form).Hwnd());
        EXPECT_STREQ(font.lfFaceName, L"MS Sans Serif");
        EXPECT_EQ(font.lfHeight, -11) << "8.25 pt at 96 dpi";
        const bool frame = row.container == Container::Window && std::string(row.name).rfind("Frame", 0) == 0;
        EXPECT_EQ(font.lfWeight >= FW_BOLD, frame);
    }
}

TEST_F(frmConfigure, TooltipsAreTheDocumentedOnes) {
    HWND hwnd = form.Hwnd();
    HWND tooltip = TooltipOf(hwnd);
    ASSERT_NE(tooltip, nullptr);
    for (const Row& row : Layout()) {
        SCOPED_TRACE(row.name);
        const auto tip = TipOfChild(tooltip, hwnd, row.control(form).Hwnd());
        if (row.tip == kNoTip) {
            EXPECT_FALSE(tip.has_value()) << Narrow(tip.value_or(L""));
        } else if (row.tip == kAnyTip) {
            ASSERT_TRUE(tip.has_value());
            EXPECT_FALSE(tip->empty());
        } else {
            EXPECT_EQ(tip.value_or(L"(none)"), row.tip);
        }
    }
}

TEST_F(frmConfigure, TabOrderFollowsTheTabIndexes) {
    HWND hwnd = ShowWindow();
    // Tab walks the focusable controls in tab-index order, from the Close button round to it again.
    std::vector<std::string> walked;
    HWND at = form.cmdOK.Hwnd();
    for (int i = 0; i < 20; ++i) {
        for (const Row& row : Layout())
            if (row.control(form).Hwnd() == at) walked.push_back(row.name);
        at = ::GetNextDlgTabItem(hwnd, at, FALSE);
        if (at == form.cmdOK.Hwnd()) break;
    }
    std::vector<const Row*> focusable;
    for (const Row& row : Layout()) {
        const std::string name = row.name;
        if (name.rfind("Frame", 0) != 0 && name.rfind("Label", 0) != 0) focusable.push_back(&row);
    }
    std::sort(focusable.begin(), focusable.end(), [](const Row* a, const Row* b) { return a->tabIndex < b->tabIndex; });
    std::vector<std::string> expected;
    for (const Row* row : focusable) expected.push_back(row->name);
    EXPECT_EQ(walked, expected);
    EXPECT_EQ(walked.size(), 12u);
}

int IconWidth(HICON icon) {
    ICONINFO info{};
    if (!::GetIconInfo(icon, &info)) return 0;
    BITMAP bm{};
    ::GetObjectW(info.hbmColor ? info.hbmColor : info.hbmMask, sizeof bm, &bm);
    if (info.hbmColor) ::DeleteObject(info.hbmColor);
    ::DeleteObject(info.hbmMask);
    return bm.bmWidth;
}

// Moved to a monitor of 144 dpi, the window takes the rectangle the system suggests and lays
// every control out again at that DPI, with fonts and icons of that DPI; the old fonts go only
// after no control uses them.
TEST_F(frmConfigure, ANewDpiTakesTheSuggestedRectangleAndLaysEverythingOutAgain) {
    HWND hwnd = ShowWindow();
    const HFONT oldFont = GetWindowFont(form.cmdOK.Hwnd());
    RECT suggested{50, 40, 50 + 610, 40 + 380};
    ::SendMessageW(hwnd, 0x02E0 /* WM_DPICHANGED */, MAKEWPARAM(144, 144), reinterpret_cast<LPARAM>(&suggested));
    RECT now{};
    ::GetWindowRect(hwnd, &now);
    EXPECT_TRUE(::EqualRect(&now, &suggested)) << now.left << "," << now.top << " " << now.right << "," << now.bottom;
    EXPECT_EQ(form.Dpi(), 144u);
    for (const Row& row : Layout()) {
        SCOPED_TRACE(row.name);
        HWND control = row.control(form).Hwnd();
        const POINT origin = ContainerOrigin(row.container);
        const int left = origin.x + row.left, top = origin.y + row.top;
        const RECT r = RectInParent(control);
        EXPECT_EQ(r.left, ::MulDiv(left, 144, 1440));
        EXPECT_EQ(r.right, ::MulDiv(left + row.width, 144, 1440));
        EXPECT_EQ(r.bottom, ::MulDiv(top + row.height, 144, 1440));
        EXPECT_EQ(FontOf(control).lfHeight, -17) << "8.25 pt at 144 dpi";
    }
    EXPECT_EQ(::GetObjectType(oldFont), 0u) << "the 96-dpi font is released";
    EXPECT_EQ(IconWidth(reinterpret_cast<HICON>(::SendMessageW(hwnd, WM_GETICON, ICON_BIG, 0))), 48);
    EXPECT_EQ(IconWidth(reinterpret_cast<HICON>(::SendMessageW(hwnd, WM_GETICON, ICON_SMALL, 0))), 24);
}

// The tray callback has a message of its own. Mouse moves over the visible window carry their
// coordinates in lParam, where the callback carries the mouse message: from about 131 % scaling
// the top row reaches x = 515 (double-click) and 516 (right press).
TEST_F(frmConfigure, OnlyTheTrayCallbackMessageReachesTheTrayHandler) {
    HWND hwnd = ShowWindow();
    for (int x : {515, 516, 517, 513, 514}) {
        ::SendMessageW(hwnd, WM_MOUSEMOVE, 0, MAKELPARAM(x, 0));
        ::SendMessageW(hwnd, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(x, 0));
    }
    EXPECT_TRUE(commands.trayCallbacks.empty());
    ::SendMessageW(hwnd, ui::kTrayCallbackMessage, 1, WM_LBUTTONDBLCLK);
    ::SendMessageW(hwnd, ui::kTrayCallbackMessage, 1, WM_RBUTTONDOWN);
    EXPECT_EQ(commands.trayCallbacks, (std::vector<UINT>{WM_LBUTTONDBLCLK, WM_RBUTTONDOWN}));
}

}  // namespace
}  // namespace hv::test
