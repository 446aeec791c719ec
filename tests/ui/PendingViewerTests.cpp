// The pending-notifications viewer as a user meets it: frame and size, the controls at their
// documented places, the title with the day the window was created, the list box's kind, and
// closing that only ever hides.
#include <windows.h>

#include <functional>
#include <string>

#include <gtest/gtest.h>

#include "tests/support/PendingLines.h"
#include "tests/support/ScriptedHost.h"
#include "tests/ui/WindowProbe.h"
#include "ui/QForm.h"

namespace hv::test {
namespace {

using ui::QForm;

// The system's own short date of a day, the form the title must use.
std::wstring SystemShortDate(int year, int month, int day) {
    SYSTEMTIME st{};
    st.wYear = static_cast<WORD>(year);
    st.wMonth = static_cast<WORD>(month);
    st.wDay = static_cast<WORD>(day);
    wchar_t text[100] = {};
    ::GetDateFormatEx(LOCALE_NAME_USER_DEFAULT, DATE_SHORTDATE, &st, nullptr, text, 100, nullptr);
    return text;
}

class Viewer : public testing::Test {
protected:
    HWND ShowViewer() {
        form.Show();
        Settle();
        return form.Hwnd();
    }

    ScriptedHost host;
    QForm form{host};
};

using frmQ = Viewer;  // the suite carries the window's name

TEST_F(frmQ, IsAFixedDialogFrameOfTheDocumentedSizeWithoutTaskBarButton) {
    HWND hwnd = form.Hwnd();
    ASSERT_EQ(form.Dpi(), 96u);
    EXPECT_FALSE(::IsWindowVisible(hwnd)) << "created hidden";
    const RECT client = ClientRect(hwnd);
    EXPECT_EQ(client.right, 339);
    EXPECT_EQ(client.bottom, 255);
    const DWORD style = StyleOf(hwnd);
    EXPECT_EQ(style & (WS_MINIMIZEBOX | WS_MAXIMIZEBOX | WS_THICKFRAME), 0u);
    EXPECT_NE(ExStyleOf(hwnd) & WS_EX_TOOLWINDOW, 0u) << "no task-bar button";
    EXPECT_EQ(::SendMessageW(hwnd, WM_GETICON, ICON_BIG, 0), 0) << "no icon";
}

TEST_F(frmQ, ControlsSitAtTheirPixelsWithTheirCaptionsAndFonts) {
    form.Hwnd();
    const struct {
        const char* name;
        std::function<toolkit::Control&(QForm&)> control;
        RECT pixels;  // left, top, right, bottom at 96 dpi
        const wchar_t* caption;
        bool bold;
    } rows[] = {
        {"Label1", [](QForm& f) -> toolkit::Control& { return f.Label1; }, {0, 0, 73, 17}, L"Start Time -", true},
        {"Label2", [](QForm& f) -> toolkit::Control& { return f.Label2; }, {72, 0, 145, 17}, L"Subject", true},
        {"txtQ", [](QForm& f) -> toolkit::Control& { return f.txtQ; }, {0, 16, 337, 217}, nullptr, true},
        {"cmdClose", [](QForm& f) -> toolkit::Control& { return f.cmdClose; }, {128, 224, 209, 249}, L"&Close", false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        HWND control = row.control(form).Hwnd();
        const RECT r = RectInParent(control);
        EXPECT_EQ(r.left, row.pixels.left);
        EXPECT_EQ(r.top, row.pixels.top);
        EXPECT_EQ(r.right, row.pixels.right);
        EXPECT_EQ(r.bottom, row.pixels.bottom);
        if (row.caption) { EXPECT_EQ(TextOf(control), row.caption); }
        const LOGFONTW font = FontOf(control);
        EXPECT_EQ(font.lfHeight, -11) << "8.25 pt at 96 dpi";
        EXPECT_EQ(font.lfWeight >= FW_BOLD, row.bold);
    }
}

TEST_F(frmQ, TitleNamesTheDayTheWindowWasCreatedInTheShortDateForm) {
    const struct { int year, month, day; } days[] = {{2026, 12, 7}, {2027, 1, 31}, {2028, 2, 29}};
    for (const auto& d : days) {
        SCOPED_TRACE(testing::Message() << d.year << "-" << d.month << "-" << d.day);
        ScriptedHost clock;
        clock.SetNow(d.year, d.month, d.day, 8, 30);
        QForm viewer(clock);
        EXPECT_EQ(TextOf(viewer.Hwnd()),
                  L"Horavane - Notifications pending for " + SystemShortDate(d.year, d.month, d.day));
        clock.SetNow(d.year + 1, 6, 15, 9, 0);
        viewer.Show();
        Settle();
        EXPECT_EQ(TextOf(viewer.Hwnd()),
                  L"Horavane - Notifications pending for " + SystemShortDate(d.year, d.month, d.day))
            << "showing it again later does not change the title";
    }
}

TEST_F(frmQ, SaysInitializingUntilTheFirstScanWritesTheList) {
    HWND hwnd = ShowViewer();
    EXPECT_EQ(TextOf(form.txtQ.Hwnd()), L"-- Initializing --");
    EXPECT_TRUE(::IsWindowVisible(hwnd));
}

TEST_F(frmQ, CloseHidesTheWindowAndKeepsItsText) {
    HWND hwnd = ShowViewer();
    form.txtQ.SetText(kBudgetReviewLine);
    ::SendMessageW(form.cmdClose.Hwnd(), BM_CLICK, 0, 0);
    Settle();
    EXPECT_FALSE(::IsWindowVisible(hwnd));
    ASSERT_TRUE(::IsWindow(hwnd)) << "hidden, never destroyed";
    form.Show();
    Settle();
    EXPECT_EQ(form.Hwnd(), hwnd);
    EXPECT_TRUE(::IsWindowVisible(hwnd));
    EXPECT_EQ(TextOf(form.txtQ.Hwnd()), kBudgetReviewLine);
}

TEST_F(frmQ, TheCloseBoxOnlyHidesIt) {
    HWND hwnd = ShowViewer();
    form.txtQ.SetText(kNothingPending);
    ::SendMessageW(hwnd, WM_SYSCOMMAND, SC_CLOSE, 0);
    Settle();
    EXPECT_FALSE(::IsWindowVisible(hwnd));
    ASSERT_TRUE(::IsWindow(hwnd));
    EXPECT_EQ(form.txtQ.Text(), kNothingPending);
    form.Show();
    Settle();
    EXPECT_TRUE(::IsWindowVisible(hwnd));
}

TEST_F(frmQ, TabGoesFromCloseToTheListAndBack) {
    HWND hwnd = form.Hwnd();
    EXPECT_EQ(::GetNextDlgTabItem(hwnd, form.cmdClose.Hwnd(), FALSE), form.txtQ.Hwnd());
    EXPECT_EQ(::GetNextDlgTabItem(hwnd, form.txtQ.Hwnd(), FALSE), form.cmdClose.Hwnd());
}

TEST_F(frmQ, TheListIsReadOnlyMultiLineWithBothScrollBarsAndNoWordWrap) {
    ShowViewer();
    HWND list = form.txtQ.Hwnd();
    const DWORD style = StyleOf(list);
    EXPECT_NE(style & ES_MULTILINE, 0u);
    EXPECT_NE(style & ES_READONLY, 0u);
    EXPECT_NE(style & WS_VSCROLL, 0u);
    EXPECT_NE(style & WS_HSCROLL, 0u);

    const std::wstring longLine = L"09:00 AM - " + std::wstring(300, L'x');
    form.txtQ.SetText(longLine + L"\r\n" + kBudgetReviewLine);
    EXPECT_EQ(::SendMessageW(list, EM_GETLINECOUNT, 0, 0), 3) << "a long line stays one line";
    SCROLLINFO horizontal{};
    horizontal.cbSize = sizeof horizontal;
    horizontal.fMask = SIF_RANGE | SIF_PAGE;
    ASSERT_TRUE(::GetScrollInfo(list, SB_HORZ, &horizontal));
    EXPECT_GT(horizontal.nMax - horizontal.nMin + 1, static_cast<int>(horizontal.nPage)) << "reached by scrolling";

    std::wstring many;
    for (int i = 0; i < 40; ++i) many += L"10:00 AM - Meeting " + std::to_wstring(i) + L"\r\n";
    form.txtQ.SetText(many);
    SCROLLINFO vertical{};
    vertical.cbSize = sizeof vertical;
    vertical.fMask = SIF_RANGE | SIF_PAGE;
    ASSERT_TRUE(::GetScrollInfo(list, SB_VERT, &vertical));
    EXPECT_GT(vertical.nMax - vertical.nMin + 1, static_cast<int>(vertical.nPage));

    ::SetFocus(list);
    ::PostMessageW(list, WM_CHAR, L'z', 1);
    PressKey(list, VK_DELETE);
    PressKey(list, VK_BACK);
    Settle();
    EXPECT_EQ(form.txtQ.Text(), many) << "typing changes nothing";
}

}  // namespace
}  // namespace hv::test
