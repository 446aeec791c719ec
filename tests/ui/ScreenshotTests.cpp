// Shows each window on the display, as a user sees it, and keeps a picture of it in the build
// tree (screenshots/<window>.png) for a person to look at. Run alone: what the screen shows
// must be this program's window.
#include <windows.h>

#include <set>
#include <string>

#include <gtest/gtest.h>

#include "resources/resource.h"
#include "tests/support/ConfigureBoxes.h"
#include "tests/support/FakeCommands.h"
#include "tests/support/RegistrySandbox.h"
#include "tests/support/ScriptedHost.h"
#include "tests/ui/WindowProbe.h"
#include "ui/ConfigureForm.h"
#include "ui/QForm.h"
#include "ui/SplashForm.h"

namespace hv::test {
namespace {

std::wstring ScreenshotFolder() {
    // The build tree's folder, as a path of the Unix drive Wine maps to Z:.
    const char* unixPath = HV_SCREENSHOT_DIR;
    std::wstring folder = L"Z:";
    for (const char* p = unixPath; *p; ++p) folder += *p == '/' ? L'\\' : static_cast<wchar_t>(*p);
    ::CreateDirectoryW(folder.c_str(), nullptr);
    return folder;
}

// True when the window itself is what the screen shows at each corner and the middle of it;
// otherwise `cover` names the window in front of it.
bool UncoveredOnScreen(HWND window, std::wstring& cover) {
    RECT r{};
    ::GetWindowRect(window, &r);
    const POINT probes[] = {{r.left + 2, r.top + 2},
                            {r.right - 3, r.top + 2},
                            {r.left + 2, r.bottom - 3},
                            {r.right - 3, r.bottom - 3},
                            {(r.left + r.right) / 2, (r.top + r.bottom) / 2}};
    for (const POINT& p : probes) {
        HWND top = ::GetAncestor(::WindowFromPoint(p), GA_ROOT);
        // No window at all answers at the point (Wine's desktop can): nothing is in front.
        if (top == window || top == nullptr || top == ::GetDesktopWindow()) continue;
        wchar_t cls[64] = L"", title[128] = L"";
        ::GetClassNameW(top, cls, 64);
        ::GetWindowTextW(top, title, 128);
        cover = std::wstring(cls) + L" \"" + title + L"\"";
        return false;
    }
    return true;
}

// Brings the window to the top, lets it paint, and saves what the screen shows of it. Other
// test programs may be showing windows at the same time: the picture is taken only once nothing
// covers this one.
Picture ShootWindow(HWND window, const std::wstring& name) {
    // The pointer resting over a control would pop its tooltip up in front of the window.
    ::SetCursorPos(0, 0);
    bool uncovered = false;
    std::wstring cover;
    for (int attempt = 0; attempt < 10 && !uncovered; ++attempt) {
        ::SetWindowPos(window, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_SHOWWINDOW);
        ::SetForegroundWindow(window);
        ::RedrawWindow(window, nullptr, nullptr,
                       RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
        Settle(300);
        uncovered = UncoveredOnScreen(window, cover);
    }
    EXPECT_TRUE(uncovered) << "the window could not be brought to the top: " << std::string(cover.begin(), cover.end());
    RECT r{};
    ::GetWindowRect(window, &r);
    Picture picture = Picture::OfScreen(r);
    const std::wstring path = ScreenshotFolder() + L"\\" + name + L".png";
    EXPECT_TRUE(picture.SavePng(path)) << std::string(path.begin(), path.end());
    ::SetWindowPos(window, HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    return picture;
}

// The client area's place inside the window rectangle.
POINT ClientOrigin(HWND window) {
    RECT w{};
    ::GetWindowRect(window, &w);
    POINT origin{0, 0};
    ::ClientToScreen(window, &origin);
    return POINT{origin.x - w.left, origin.y - w.top};
}

class SplashLogo : public ui::SplashCommands {
public:
    void SplashClosed() override {}
    void OpenWebPage() override {}
    HICON Logo(int) override { return logo_.get(); }

private:
    toolkit::UniqueIcon logo_{static_cast<HICON>(
        ::LoadImageW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDI_TRAY2), IMAGE_ICON, 32, 32, 0))};
};

// At 96 dpi and as a monitor of 144 and 192 dpi would have it (frmSplash-144.png, -192.png).
TEST(WindowPictures, SplashOnScreenIsWhatItPaints) {
    SplashLogo commands;
    ui::SplashForm form(commands);
    form.Show();
    HWND hwnd = form.Hwnd();
    for (UINT dpi : {96u, 144u, 192u}) {
        SCOPED_TRACE(testing::Message() << dpi << " dpi");
        if (dpi != 96) MoveToDpi(hwnd, dpi, 5550, 3210);
        const Picture screen =
            ShootWindow(hwnd, dpi == 96 ? std::wstring(L"frmSplash") : L"frmSplash-" + std::to_wstring(dpi));
        const Picture painted = Picture::OfClient(hwnd);
        const POINT origin = ClientOrigin(hwnd);
        int different = 0;
        for (int y = 0; y < painted.Height(); ++y)
            for (int x = 0; x < painted.Width(); ++x)
                if (screen.At(origin.x + x, origin.y + y) != painted.At(x, y)) ++different;
        EXPECT_LT(different, painted.Width() * painted.Height() / 100);
    }
}

TEST(WindowPictures, ConfigurationWindow) {
    RegistrySandbox registry;
    ScriptedHost host;
    FakeCommands commands;
    ui::ConfigureForm form(host, commands);
    // The switch and three format boxes ticked, the other three not.
    const std::set<std::string> ticked = {"chkCEEnabled", "chkSubject", "chkStartEndTIme", "chkLocation"};
    form.txtEmailAddress.SetText(L"pager@example.com");
    for (const ConfigureBox& b : kConfigureBoxes) (form.*b.control).SetValue(ticked.count(b.name));
    form.Show();
    const Picture screen = ShootWindow(form.Hwnd(), L"frmConfigure");
    // Each box shows its check mark exactly when it is ticked, and its caption whole, also where
    // its rectangle runs under the next box.
    const POINT origin = ClientOrigin(form.Hwnd());
    for (const ConfigureBox& b : kConfigureBoxes) {
        SCOPED_TRACE(b.name);
        RECT r = RectInParent((form.*b.control).Hwnd());
        ::OffsetRect(&r, origin.x, origin.y);
        const int middle = (r.top + r.bottom) / 2;
        const RECT square{r.left + 4, middle - 3, r.left + 10, middle + 3};  // inside the 13-pixel square
        if (ticked.count(b.name))
            EXPECT_GE(screen.CountDark(square, 200), 4) << "its check mark";
        else
            EXPECT_EQ(screen.CountDark(square, 200), 0) << "no check mark";
        const RECT firstLetters{r.left + 17, r.top, r.left + 40, r.bottom};
        EXPECT_GT(screen.CountDark(firstLetters, 200), 8) << "its caption's first letters";
    }
}

TEST(WindowPictures, PendingViewer) {
    ScriptedHost host;
    ui::QForm form(host);
    form.txtQ.SetText(
        L"09:30 AM - Weekly status meeting\r\n10:00 AM - Budget review\r\n"
        L"01:15 PM - Lunch with the supplier of the new meeting-room furniture and fittings\r\n");
    form.Show();
    const Picture screen = ShootWindow(form.Hwnd(), L"frmQ");
    // The lines' text, inside the list's border and left of its scroll bar.
    const POINT origin = ClientOrigin(form.Hwnd());
    const RECT list = RectInParent(form.txtQ.Hwnd());
    const RECT lines{origin.x + list.left + 4, origin.y + list.top + 4, origin.x + list.right - 24,
                     origin.y + list.top + 50};
    EXPECT_GT(screen.CountDark(lines, 200), 200) << "the list's lines";
    // The list's top border runs its whole width, also under the two labels above it.
    const RECT border{origin.x + list.left, origin.y + list.top, origin.x + list.right, origin.y + list.top + 1};
    EXPECT_EQ(screen.CountDark(border, 3 * 200), list.right - list.left) << "the list's top border";
    form.txtQ.SetText(L"");
    EXPECT_EQ(ShootWindow(form.Hwnd(), L"frmQ-empty").CountDark(lines, 200), 0) << "nothing where no line is";
}

}  // namespace
}  // namespace hv::test
