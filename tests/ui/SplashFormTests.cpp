// The splash and About window: its frame and size, the texts it takes from the version
// information, where its parts sit and how they paint, and what clicks, keys and the pointer do.
#include <windows.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "resources/resource.h"
#include "resources/version.h"
#include "tests/ui/WindowProbe.h"
#include "ui/SplashForm.h"

namespace hv::test {
namespace {

using ui::SplashForm;
using ui::SplashLabel;
using ui::SplashPart;

constexpr COLORREF kPaleYellow = RGB(255, 255, 192);
constexpr COLORREF kWhite = RGB(255, 255, 255);

class SplashCommandsSpy : public ui::SplashCommands {
public:
    SplashCommandsSpy()
        : logo_(static_cast<HICON>(
              ::LoadImageW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDI_TRAY2), IMAGE_ICON, 32, 32, 0))) {}
    void SplashClosed() override { ++closed; }
    void OpenWebPage() override { ++webPages; }
    HICON Logo(int pixels) override {
        ++logoRequests;
        logoPixels = pixels;
        return logo_.get();
    }

    int closed = 0, webPages = 0, logoRequests = 0, logoPixels = 0;

private:
    toolkit::UniqueIcon logo_;
};

class Splash : public testing::Test {
protected:
    HWND ShowSplash() {
        form.Show();
        Settle();
        return form.Hwnd();
    }
    // A point of the client area that belongs to none of the labels and not to the logo.
    static POINT OnArtworkBackground() { return POINT{10, 10}; }
    static POINT OnRightBackground() { return POINT{At96(5550) - 20, 20}; }

    SplashCommandsSpy commands;
    SplashForm form{commands};
};

// The size of one line of text in Arial, measured here independently of the window.
SIZE ArialExtent(const std::wstring& text, int hundredthsOfPoint, bool bold) {
    LOGFONTW lf{};
    lf.lfHeight = -::MulDiv(hundredthsOfPoint, 96, 7200);
    lf.lfWeight = bold ? FW_BOLD : FW_NORMAL;
    lstrcpynW(lf.lfFaceName, L"Arial", LF_FACESIZE);
    const toolkit::UniqueFont font(::CreateFontIndirectW(&lf));
    const toolkit::WindowDc dc(nullptr);
    const toolkit::SelectedObject selected(dc.get(), font.get());
    SIZE size{};
    ::GetTextExtentPoint32W(dc.get(), text.c_str(), static_cast<int>(text.size()), &size);
    TEXTMETRICW tm{};
    ::GetTextMetricsW(dc.get(), &tm);
    size.cy = tm.tmHeight;
    return size;
}

std::wstring Wide(const char* text) { return std::wstring(text, text + std::char_traits<char>::length(text)); }

using frmSplash = Splash;  // the suite carries the window's name

TEST_F(frmSplash, IsCreatedHiddenAsAPictureWindowWithoutTitleBar) {
    form.Load();
    HWND hwnd = form.Hwnd();
    ASSERT_TRUE(::IsWindow(hwnd));
    EXPECT_FALSE(::IsWindowVisible(hwnd));
    ASSERT_EQ(form.Dpi(), 96u);
    const RECT client = ClientRect(hwnd);
    EXPECT_EQ(client.right, 370);
    EXPECT_EQ(client.bottom, 214);

    const DWORD style = StyleOf(hwnd);
    EXPECT_NE(style & WS_CAPTION, static_cast<DWORD>(WS_CAPTION)) << "no title bar";
    EXPECT_EQ(style & WS_SYSMENU, 0u) << "no control box";
    EXPECT_EQ(style & (WS_MINIMIZEBOX | WS_MAXIMIZEBOX | WS_THICKFRAME), 0u);
    EXPECT_NE(style & WS_DLGFRAME, 0u) << "a fixed dialog border";
    EXPECT_NE(ExStyleOf(hwnd) & WS_EX_TOOLWINDOW, 0u) << "no task-bar button";
    EXPECT_EQ(::SendMessageW(hwnd, WM_GETICON, ICON_BIG, 0), 0);
    EXPECT_EQ(::SendMessageW(hwnd, WM_GETICON, ICON_SMALL, 0), 0);
}

TEST_F(frmSplash, OpensCentredOnTheScreen) {
    HWND hwnd = ShowSplash();
    EXPECT_TRUE(::IsWindowVisible(hwnd));
    RECT window{}, work{};
    ::GetWindowRect(hwnd, &window);
    ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    EXPECT_NEAR((window.left + window.right) / 2, (work.left + work.right) / 2, 1);
    EXPECT_NEAR((window.top + window.bottom) / 2, (work.top + work.bottom) / 2, 1);
}

TEST_F(frmSplash, LabelsAreFilledFromTheVersionInformationWhenCreated) {
    EXPECT_EQ(form.lblProductName.Text(), L"Burovane") << "the design-time text before creation";
    form.Load();
    const struct {
        const SplashLabel& label;
        std::wstring text;
    } cases[] = {
        {form.lblCompanyProduct, L"Quil"},   {form.lblProductName, L"Horavane"},
        {form.lblVersion, L"Version 1.1.2"}, {form.lblCopyright, Wide(HV_COPYRIGHT)},
        {form.lblCompany, L"By Quil"},
    };
    for (const auto& c : cases) EXPECT_EQ(c.label.Text(), c.text);
    EXPECT_EQ(commands.logoRequests, 1);
}

TEST_F(frmSplash, PartsSitAtTheirPlacesAndAutoSizedLabelsFitTheirText) {
    form.Load();
    ASSERT_EQ(form.Dpi(), 96u);
    // Left, top, width, height in twips; auto-sized labels keep only their left and top edges.
    const struct {
        const char* name;
        const SplashPart& part;
        int left, top, width, height;
        bool autoSize;
        int hundredthsOfPoint;
        bool bold;
    } cases[] = {
        {"lblCompanyProduct", form.lblCompanyProduct, 480, 480, 1035, 435, true, 1800, true},
        {"lblProductName", form.lblProductName, 2160, 840, 3120, 615, true, 2625, true},
        {"imgLogo", form.imgLogo, 600, 1200, 855, 795, false, 0, false},
        {"lblVersion", form.lblVersion, 2280, 1440, 2955, 285, true, 1200, true},
        {"lblCompany", form.lblCompany, 3000, 2880, 2415, 255, false, 825, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const RECT r = c.part.Rect();
        EXPECT_EQ(r.left, At96(c.left));
        EXPECT_EQ(r.top, At96(c.top));
        if (c.autoSize) {
            const auto& label = static_cast<const SplashLabel&>(c.part);
            const SIZE text = ArialExtent(label.Text(), c.hundredthsOfPoint, c.bold);
            EXPECT_NEAR(r.right - r.left, text.cx, 1);
            EXPECT_EQ(r.bottom - r.top, text.cy);
        } else {
            EXPECT_EQ(r.right, At96(c.left + c.width));
            EXPECT_EQ(r.bottom, At96(c.top + c.height));
        }
    }
}

TEST_F(frmSplash, TheCopyrightKeepsItsRightEdgeAndIsNeverCut) {
    form.Load();
    const RECT r = form.lblCopyright.Rect();
    EXPECT_EQ(r.right, At96(3000 + 2415));
    EXPECT_EQ(r.top, At96(2640));
    EXPECT_EQ(r.bottom, At96(2640 + 255));
    EXPECT_LE(r.left, At96(3000));
    EXPECT_GE(r.right - r.left, ArialExtent(form.lblCopyright.Text(), 825, false).cx);
}

TEST_F(frmSplash, EveryLabelLiesInsideTheWindow) {
    form.Load();
    const RECT client = ClientRect(form.Hwnd());
    for (const SplashLabel* label :
         {&form.lblCompanyProduct, &form.lblProductName, &form.lblVersion, &form.lblCopyright, &form.lblCompany}) {
        SCOPED_TRACE(testing::Message() << std::string(label->Text().begin(), label->Text().end()));
        const RECT r = label->Rect();
        EXPECT_GE(r.left, 0);
        EXPECT_GE(r.top, 0);
        EXPECT_LE(r.right, client.right);
        EXPECT_LE(r.bottom, client.bottom);
    }
}

// The artwork covers the window, and every label lies on it whole at each DPI: just outside the
// label's rectangle there is artwork, never the pale-yellow background.
TEST_F(frmSplash, PaintsTheArtworkTheLogoAndLabelsWhollyOnTheArtworkAtEachDpi) {
    form.Load();
    for (UINT dpi : {96u, 144u, 192u}) {
        SCOPED_TRACE(testing::Message() << dpi << " dpi");
        if (dpi != 96) MoveToDpi(form.Hwnd(), dpi, 5550, 3210);
        ASSERT_EQ(form.Dpi(), dpi);
        const Picture picture = Picture::OfClient(form.Hwnd());
        const RECT client = ClientRect(form.Hwnd());
        EXPECT_GT(picture.CountDark(client, 330), client.right * client.bottom * 9 / 10) << "the dark artwork";

        const RECT logo = form.imgLogo.Rect();
        EXPECT_GT(picture.Count(logo, RGB(224, 32, 32), 16), 40) << "the red clock of the logo (the red of tray2.icon)";

        const struct {
            const char* name;
            const SplashLabel& label;
            COLORREF colour;
        } cases[] = {
            {"lblCompanyProduct", form.lblCompanyProduct, kPaleYellow},
            {"lblProductName", form.lblProductName, kPaleYellow},
            {"lblVersion", form.lblVersion, kPaleYellow},
            {"lblCopyright", form.lblCopyright, kWhite},
            {"lblCompany", form.lblCompany, kWhite},
        };
        for (const auto& c : cases) {
            SCOPED_TRACE(c.name);
            const RECT r = c.label.Rect();
            EXPECT_GT(picture.Count(r, c.colour, 8), 15) << "the text in its colour";
            RECT around = r;
            ::InflateRect(&around, 1, 1);
            const int edge = picture.Count(around, kPaleYellow, 24) - picture.Count(r, kPaleYellow, 24);
            EXPECT_EQ(edge, 0) << "pale-yellow background next to the label";
        }
    }
}

struct CloseCase {
    const char* name;
    std::function<void(SplashForm&, HWND)> act;
};

TEST_F(frmSplash, CharacterKeysAndClicksOnTheBackgroundOrTheLowerLabelsCloseIt) {
    const CloseCase cases[] = {
        {"Enter", [](SplashForm&, HWND w) { PressKey(w, VK_RETURN); }},
        {"Esc", [](SplashForm&, HWND w) { PressKey(w, VK_ESCAPE); }},
        {"a letter", [](SplashForm&, HWND w) { PressKey(w, 'Q'); }},
        {"a digit", [](SplashForm&, HWND w) { PressKey(w, '7'); }},
        {"background on the artwork", [](SplashForm&, HWND w) { Click(w, OnArtworkBackground()); }},
        {"background at the right", [](SplashForm&, HWND w) { Click(w, OnRightBackground()); }},
        {"lblCopyright", [](SplashForm& f, HWND w) { Click(w, CentreOf(f.lblCopyright.Rect())); }},
        {"lblCompany", [](SplashForm& f, HWND w) { Click(w, CentreOf(f.lblCompany.Rect())); }},
    };
    for (const CloseCase& c : cases) {
        SCOPED_TRACE(c.name);
        SplashCommandsSpy spy;
        SplashForm splash(spy);
        splash.Show();
        Settle();
        HWND hwnd = splash.Hwnd();
        c.act(splash, hwnd);
        EXPECT_FALSE(::IsWindow(hwnd)) << "destroyed, not hidden";
        EXPECT_FALSE(splash.IsLoaded());
        EXPECT_EQ(spy.closed, 1);
        EXPECT_EQ(spy.webPages, 0);
    }
}

TEST_F(frmSplash, KeysThatTypeNothingLeaveItOpen) {
    HWND hwnd = ShowSplash();
    for (UINT key : {VK_SHIFT, VK_CONTROL, VK_F5, VK_LEFT, VK_HOME}) PressKey(hwnd, key);
    EXPECT_TRUE(::IsWindowVisible(hwnd));
    EXPECT_EQ(commands.closed, 0);
}

TEST_F(frmSplash, ClicksOnTheLogoTitleVersionAndCompanyNameOpenTheWebPageAndLeaveItOpen) {
    HWND hwnd = ShowSplash();
    const struct {
        const char* name;
        const SplashPart& part;
    } cases[] = {
        {"imgLogo", form.imgLogo},
        {"lblProductName", form.lblProductName},
        {"lblVersion", form.lblVersion},
        {"lblCompanyProduct", form.lblCompanyProduct},
    };
    int expected = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Click(hwnd, CentreOf(c.part.Rect()));
        EXPECT_EQ(commands.webPages, ++expected);
        EXPECT_TRUE(::IsWindowVisible(hwnd));
        EXPECT_EQ(form.Hwnd(), hwnd);
    }
    EXPECT_EQ(commands.closed, 0);
    EXPECT_EQ(form.lblVersion.Text(), L"Version 1.1.2") << "unchanged";
}

TEST_F(frmSplash, APressReleasedOverAnotherPartIsNoClick) {
    HWND hwnd = ShowSplash();
    PressAndRelease(hwnd, CentreOf(form.imgLogo.Rect()), OnRightBackground());
    PressAndRelease(hwnd, OnRightBackground(), CentreOf(form.lblVersion.Rect()));
    PressAndRelease(hwnd, CentreOf(form.lblCompany.Rect()), CentreOf(form.lblProductName.Rect()));
    EXPECT_TRUE(::IsWindow(hwnd));
    EXPECT_EQ(commands.closed, 0);
    EXPECT_EQ(commands.webPages, 0);
}

TEST_F(frmSplash, AfterClosingTheNextShowCreatesItAnew) {
    HWND first = ShowSplash();
    PressKey(first, VK_ESCAPE);
    ASSERT_FALSE(::IsWindow(first));
    EXPECT_FALSE(form.IsLoaded());

    HWND second = ShowSplash();
    EXPECT_TRUE(::IsWindowVisible(second));
    EXPECT_EQ(commands.logoRequests, 2) << "loaded again";
    EXPECT_EQ(form.lblProductName.Text(), L"Horavane");
    EXPECT_EQ(form.lblVersion.Text(), L"Version 1.1.2");
    EXPECT_EQ(form.lblCompany.Text(), L"By Quil");
    EXPECT_EQ(form.lblCompanyProduct.Rect().left, At96(480)) << "laid out again";
    Click(second, CentreOf(form.lblCompany.Rect()));
    EXPECT_EQ(commands.closed, 2);
}

TEST_F(frmSplash, HideKeepsTheWindowAndShowBringsItBackUnchanged) {
    HWND hwnd = ShowSplash();
    form.Hide();
    EXPECT_FALSE(::IsWindowVisible(hwnd));
    EXPECT_TRUE(form.IsLoaded());
    form.Show();
    Settle();
    EXPECT_TRUE(::IsWindowVisible(hwnd));
    EXPECT_EQ(form.Hwnd(), hwnd);
    EXPECT_EQ(commands.logoRequests, 1);
    EXPECT_EQ(commands.closed, 0);
}

TEST_F(frmSplash, ShowsTheCustomPointerEverywhereOnTheWindow) {
    HWND hwnd = ShowSplash();
    const auto pointer = static_cast<HCURSOR>(::LoadImageW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDC_POINTER),
                                                           IMAGE_CURSOR, 0, 0, LR_DEFAULTSIZE | LR_SHARED));
    ASSERT_NE(pointer, nullptr);
    ASSERT_NE(pointer, ::LoadCursorW(nullptr, IDC_ARROW));
    ICONINFO info{};
    ASSERT_TRUE(::GetIconInfo(pointer, &info));
    BITMAP mask{};
    ::GetObjectW(info.hbmMask, sizeof mask, &mask);
    EXPECT_EQ(mask.bmWidth, 32);
    if (info.hbmMask) ::DeleteObject(info.hbmMask);
    if (info.hbmColor) ::DeleteObject(info.hbmColor);

    for (UINT hit : {HTCLIENT, HTBORDER}) {
        SCOPED_TRACE(hit);
        ::SetCursor(::LoadCursorW(nullptr, IDC_ARROW));
        const LRESULT handled =
            ::SendMessageW(hwnd, WM_SETCURSOR, reinterpret_cast<WPARAM>(hwnd), MAKELPARAM(hit, WM_MOUSEMOVE));
        EXPECT_TRUE(handled);
        EXPECT_EQ(::GetCursor(), pointer);
    }
}

TEST_F(frmSplash, TooltipsInviteToTheWebSiteOrSayClose) {
    HWND hwnd = ShowSplash();
    HWND tooltip = TooltipOf(hwnd);
    ASSERT_NE(tooltip, nullptr);
    const struct {
        const char* name;
        const SplashPart& part;
        const wchar_t* tip;
    } cases[] = {
        {"lblCompanyProduct", form.lblCompanyProduct, L"Visit our Web Site"},
        {"lblProductName", form.lblProductName, L"Visit our Web Site"},
        {"imgLogo", form.imgLogo, L"Visit our Web Site"},
        {"lblVersion", form.lblVersion, L"Visit our Web Site"},
        {"lblCopyright", form.lblCopyright, L"Close"},
        {"lblCompany", form.lblCompany, L"Close"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(TipAt(tooltip, hwnd, CentreOf(c.part.Rect())).value_or(L"(none)"), c.tip);
    }
    EXPECT_FALSE(TipAt(tooltip, hwnd, OnRightBackground()).has_value());
    EXPECT_FALSE(TipAt(tooltip, hwnd, OnArtworkBackground()).has_value());
}

}  // namespace
}  // namespace hv::test
