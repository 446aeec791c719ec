#include "ui/SplashForm.h"

#include <commctrl.h>

#include <algorithm>
#include <iterator>
#include <string>

#include "resources/resource.h"
#include "toolkit/VersionInfo.h"

namespace hv::ui {
namespace {

constexpr COLORREF kPaleYellow = RGB(255, 255, 192);
constexpr COLORREF kWhite = RGB(255, 255, 255);

// The client area, and the artwork's natural size: every label lies on the artwork whole.
constexpr int kClientWidthTwips = 5550;
constexpr int kClientHeightTwips = 3210;
// The logo is drawn at its natural size of 32 x 32 pixels at 96 dpi.
constexpr int kLogoTwips = 480;

constexpr UINT kTextFormat = DT_SINGLELINE | DT_NOPREFIX | DT_TOP;

toolkit::FormStyle SplashStyle() {
    toolkit::FormStyle s;
    // A fixed dialog border without a title bar, no icon and no task-bar button.
    s.style = WS_POPUP | WS_DLGFRAME;
    s.exStyle = WS_EX_DLGMODALFRAME | WS_EX_TOOLWINDOW;
    s.clientWidthTwips = kClientWidthTwips;
    s.clientHeightTwips = kClientHeightTwips;
    s.background = kPaleYellow;
    return s;
}

using Align = SplashLabel::Align;
using Click = SplashPart::Click;

// An off-screen bitmap the window is painted into before it is copied to the screen in one go.
class Canvas {
public:
    Canvas(HDC target, int width, int height)
        : dc_(::CreateCompatibleDC(target)),
          bitmap_(::CreateCompatibleBitmap(target, width, height)),
          selected_(dc_.get(), bitmap_.get()) {}
    bool Ready() const { return static_cast<bool>(selected_); }
    HDC Dc() const { return dc_.get(); }

private:
    toolkit::UniqueMemoryDc dc_;
    toolkit::UniqueBitmap bitmap_;
    toolkit::SelectedObject selected_;  // declared last: deselected before the bitmap and the DC go
};

HFONT CreateArial(int hundredthsOfPoint, bool bold, UINT dpi) {
    LOGFONTW lf{};
    lf.lfHeight = -::MulDiv(hundredthsOfPoint, static_cast<int>(dpi), 7200);
    lf.lfWeight = bold ? FW_BOLD : FW_NORMAL;
    lf.lfCharSet = DEFAULT_CHARSET;
    lf.lfOutPrecision = OUT_TT_PRECIS;
    lf.lfQuality = ANTIALIASED_QUALITY;
    lstrcpynW(lf.lfFaceName, L"Arial", LF_FACESIZE);
    return ::CreateFontIndirectW(&lf);
}

// The width and height of one line of text in the font selected into the context.
SIZE TextExtent(HDC dc, const std::wstring& text) {
    RECT r{0, 0, 0, 0};
    ::DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &r, kTextFormat | DT_CALCRECT);
    return SIZE{r.right - r.left, r.bottom - r.top};
}

}  // namespace

SplashForm::SplashForm(SplashCommands& commands)
    : toolkit::Form(SplashStyle()),
      lblCompanyProduct({480, 480, 1035, 435}, {1800, true, kPaleYellow, Align::Left, true}, L"Company",
                        L"Visit our Web Site", Click::OpenWebPage),
      lblProductName({2160, 840, 3120, 615}, {2625, true, kPaleYellow, Align::Right, true}, L"Burovane",
                     L"Visit our Web Site", Click::OpenWebPage),
      imgLogo({600, 1200, 855, 795}, L"Visit our Web Site", Click::OpenWebPage),
      lblVersion({2280, 1440, 2955, 285}, {1200, true, kPaleYellow, Align::Right, true}, L"Version",
                 L"Visit our Web Site", Click::OpenWebPage),
      lblCopyright({3000, 2640, 2415, 255}, {825, false, kWhite, Align::Right, false}, L"Copyright", L"Close",
                   Click::CloseWindow),
      lblCompany({3000, 2880, 2415, 255}, {825, false, kWhite, Align::Right, false}, L"By", L"Close",
                 Click::CloseWindow),
      commands_(commands) {}

SplashForm::~SplashForm() { Unload(); }

SplashPart* SplashForm::Parts(int index) {
    SplashPart* parts[kPartCount] = {&lblCompanyProduct, &lblProductName, &imgLogo,
                                     &lblVersion,        &lblCopyright,   &lblCompany};
    return index >= 0 && index < kPartCount ? parts[index] : nullptr;
}

SplashLabel* SplashForm::Label(int index) {
    SplashLabel* labels[] = {&lblCompanyProduct, &lblProductName, &lblVersion, &lblCopyright, &lblCompany};
    return index >= 0 && index < static_cast<int>(std::size(labels)) ? labels[index] : nullptr;
}

void SplashForm::CloseSplash() {
    Unload();
    commands_.SplashClosed();
}

void SplashForm::imgLogo_Click() { commands_.OpenWebPage(); }

void SplashForm::OnLoad() {
    FillTexts();
    LoadArtwork();
    pointer_ = static_cast<HCURSOR>(::LoadImageW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDC_POINTER),
                                                 IMAGE_CURSOR, 0, 0, LR_DEFAULTSIZE | LR_SHARED));
    if (!pointer_) pointer_ = ::LoadCursorW(nullptr, IDC_ARROW);
    EnsureLayout();
}

void SplashForm::OnUnload() {
    // The next load starts from scratch, as a window created for the first time does.
    for (int i = 0; SplashLabel* label = Label(i); ++i) {
        label->text_ = label->designText_;
        label->font_.reset();
    }
    for (int i = 0; SplashPart* part = Parts(i); ++i) part->rect_ = RECT{};
    artwork_.reset();
    logo_ = nullptr;
    layoutDpi_ = 0;
    tooltipsRegistered_ = false;
    pressed_ = -1;
    if (::GetCapture() == Hwnd()) ::ReleaseCapture();
}

void SplashForm::FillTexts() {
    const toolkit::VersionInfo info = toolkit::ReadVersionInfo();
    lblCompanyProduct.text_ = info.companyName;
    lblCopyright.text_ = info.legalCopyright;
    lblVersion.text_ = L"Version " + std::to_wstring(info.major) + L"." + std::to_wstring(info.minor) + L"." +
                       std::to_wstring(info.revision);
    lblProductName.text_ = info.productName;
    lblCompany.text_ = L"By " + info.companyName;
}

void SplashForm::LoadArtwork() {
    const HMODULE module = ::GetModuleHandleW(nullptr);
    HRSRC found = ::FindResourceW(module, MAKEINTRESOURCEW(IDR_SPLASH), RT_RCDATA);
    if (!found) return;
    HGLOBAL loaded = ::LoadResource(module, found);
    const void* bytes = loaded ? ::LockResource(loaded) : nullptr;
    const DWORD size = ::SizeofResource(module, found);
    if (bytes && size > 0) artwork_.reset(::SetEnhMetaFileBits(size, static_cast<const BYTE*>(bytes)));
}

void SplashForm::EnsureLayout() {
    if (!IsLoaded() || layoutDpi_ == Dpi()) return;
    const toolkit::WindowDc measure(Hwnd());
    for (int i = 0; SplashLabel* label = Label(i); ++i) PlaceLabel(measure.get(), *label);
    imgLogo.rect_ = PixelRect(imgLogo.box_);
    logo_ = commands_.Logo(Pixels(kLogoTwips));  // drawn at the size it was loaded at, never stretched
    layoutDpi_ = Dpi();
    RegisterTooltips();
}

RECT SplashForm::PixelRect(const toolkit::TwipsRect& box) const {
    return RECT{Pixels(box.left), Pixels(box.top), Pixels(box.left + box.width), Pixels(box.top + box.height)};
}

void SplashForm::PlaceLabel(HDC measure, SplashLabel& label) {
    const SplashLabel::Look& look = label.look_;
    label.font_.reset(CreateArial(look.hundredthsOfPoint, look.bold, Dpi()));
    const toolkit::SelectedObject font(measure, label.font_.get());
    const SIZE text = TextExtent(measure, label.text_);
    RECT r = PixelRect(label.box_);
    if (look.autoSize) {
        r.right = r.left + text.cx;
        r.bottom = r.top + text.cy;
    } else if (text.cx > r.right - r.left) {
        // A text too long for its box is never cut: it runs out of the box on the side away from
        // its alignment, and the label grows with it.
        RECT client{};
        ::GetClientRect(Hwnd(), &client);
        if (look.align == Align::Right)
            r.left = std::max(0L, r.right - text.cx);
        else
            r.right = std::min(client.right, r.left + text.cx);
    }
    label.rect_ = r;
}

void SplashForm::RegisterTooltips() {
    HWND tooltip = Tooltip();
    if (!tooltip) return;
    for (int i = 0; SplashPart* part = Parts(i); ++i) {
        TOOLINFOW ti{};
        ti.cbSize = sizeof ti;
        ti.uFlags = TTF_SUBCLASS;
        ti.hwnd = Hwnd();
        ti.uId = static_cast<UINT_PTR>(i + 1);
        ti.rect = part->rect_;
        ti.lpszText = const_cast<wchar_t*>(part->tooltip_.c_str());
        ::SendMessageW(tooltip, tooltipsRegistered_ ? TTM_NEWTOOLRECTW : TTM_ADDTOOLW, 0,
                       reinterpret_cast<LPARAM>(&ti));
    }
    tooltipsRegistered_ = true;
}

void SplashForm::OnPaint(HDC dc) { PaintWindow(dc); }

void SplashForm::PaintWindow(HDC target) {
    EnsureLayout();
    RECT client{};
    ::GetClientRect(Hwnd(), &client);
    Canvas canvas(target, client.right, client.bottom);
    const HDC dc = canvas.Ready() ? canvas.Dc() : target;

    const toolkit::UniqueBrush background(::CreateSolidBrush(kPaleYellow));
    ::FillRect(dc, &client, background.get());
    if (artwork_) {
        const RECT art{0, 0, Pixels(kClientWidthTwips), Pixels(kClientHeightTwips)};
        ::PlayEnhMetaFile(dc, artwork_.get(), &art);
    }
    if (logo_) {
        const RECT r = imgLogo.rect_;
        ::DrawIconEx(dc, r.left, r.top, logo_, Pixels(kLogoTwips), Pixels(kLogoTwips), 0, nullptr, DI_NORMAL);
    }
    ::SetBkMode(dc, TRANSPARENT);
    for (int i = 0; SplashLabel* label = Label(i); ++i) DrawLabel(dc, *label);

    if (canvas.Ready()) ::BitBlt(target, 0, 0, client.right, client.bottom, dc, 0, 0, SRCCOPY);
}

void SplashForm::DrawLabel(HDC dc, const SplashLabel& label) const {
    const toolkit::SelectedObject font(dc, label.font_.get());
    const UINT format = kTextFormat | DT_NOCLIP | (label.look_.align == Align::Right ? DT_RIGHT : DT_LEFT);
    RECT r = label.rect_;
    ::SetTextColor(dc, label.look_.colour);
    ::DrawTextW(dc, label.text_.c_str(), static_cast<int>(label.text_.size()), &r, format);
}

SplashPart* SplashForm::PartAt(POINT client) {
    EnsureLayout();
    for (int i = kPartCount - 1; i >= 0; --i) {
        SplashPart* part = Parts(i);
        if (::PtInRect(&part->rect_, client)) return part;
    }
    return nullptr;
}

// A click is a press and a release over the same part (or both over the background).
void SplashForm::MouseDown(POINT client) {
    SplashPart* part = PartAt(client);
    pressed_ = kPartCount;
    for (int i = 0; i < kPartCount; ++i)
        if (Parts(i) == part) pressed_ = i;
    ::SetCapture(Hwnd());
}

void SplashForm::MouseUp(POINT client) {
    const int pressed = pressed_;
    pressed_ = -1;
    if (::GetCapture() == Hwnd()) ::ReleaseCapture();
    if (pressed < 0) return;
    RECT area{};
    ::GetClientRect(Hwnd(), &area);
    if (!::PtInRect(&area, client)) return;
    SplashPart* released = PartAt(client);
    if (released != Parts(pressed)) return;  // Parts(kPartCount) is the background: nullptr
    if (released && released->click_ == Click::OpenWebPage)
        imgLogo_Click();
    else
        CloseSplash();
}

bool SplashForm::OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
    const POINT at{static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
    switch (message) {
        case WM_ERASEBKGND:
            result = 1;  // WM_PAINT covers the whole client area
            return true;
        case WM_PRINTCLIENT: PaintWindow(reinterpret_cast<HDC>(wParam)); return true;
        case WM_SETCURSOR:
            // The custom pointer over the whole window, its border, labels and logo included.
            ::SetCursor(pointer_);
            result = TRUE;
            return true;
        case WM_LBUTTONDOWN: MouseDown(at); return true;
        case WM_LBUTTONUP: MouseUp(at); return true;
        case WM_CAPTURECHANGED:
            if (reinterpret_cast<HWND>(lParam) != Hwnd()) pressed_ = -1;
            return false;
        case WM_CHAR:
            // Any key that types a character, Enter and Esc included.
            CloseSplash();
            return true;
        default: return false;
    }
}

}  // namespace hv::ui
