#include "toolkit/Form.h"

#include <commctrl.h>

#include <algorithm>
#include <cstdio>
#include <exception>

#include "toolkit/Controls.h"
#include "toolkit/Menu.h"

namespace hv::toolkit {
namespace {

constexpr wchar_t kFormClass[] = L"HoravaneForm";

void RegisterFormClass(WNDPROC proc) {
    static bool registered = false;  // one class per process; registering twice is harmless
    if (registered) return;
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.style = CS_DBLCLKS;
    wc.lpfnWndProc = proc;
    wc.hInstance = ::GetModuleHandleW(nullptr);
    wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    // A system colour index plus one, as WNDCLASSEX asks: a class must not be given a system brush.
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = kFormClass;
    ::RegisterClassExW(&wc);
    registered = true;
}

UINT WindowDpi(HWND hwnd) {
    using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
    static const auto getDpiForWindow = reinterpret_cast<GetDpiForWindowFn>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"user32.dll"), "GetDpiForWindow")));
    if (getDpiForWindow && hwnd) {
        const UINT dpi = getDpiForWindow(hwnd);
        if (dpi) return dpi;
    }
    const WindowDc screen(nullptr);
    const int dpi = ::GetDeviceCaps(screen.get(), LOGPIXELSX);
    return dpi > 0 ? static_cast<UINT>(dpi) : 96;
}

// The window rectangle for a client area at a DPI; AdjustWindowRectExForDpi where the system has
// it (Windows 10 1607 and later), since the frame's metrics grow with the DPI too.
RECT WindowRectFor(int width, int height, DWORD style, DWORD exStyle, UINT dpi) {
    using AdjustForDpiFn = BOOL(WINAPI*)(RECT*, DWORD, BOOL, DWORD, UINT);
    static const auto adjustForDpi = reinterpret_cast<AdjustForDpiFn>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"user32.dll"), "AdjustWindowRectExForDpi")));
    RECT r{0, 0, width, height};
    if (!adjustForDpi || !adjustForDpi(&r, style, FALSE, exStyle, dpi)) ::AdjustWindowRectEx(&r, style, FALSE, exStyle);
    return r;
}

void ReportHandlerFailure(const char* what) {
    char text[512];
    std::snprintf(text, sizeof text, "Horavane: an event handler failed: %s\n", what);
    ::OutputDebugStringA(text);
}

}  // namespace

Form::Form(FormStyle style) : style_(std::move(style)) {}

Form::~Form() {
    unloading_ = true;
    if (hwnd_) {
        ::SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
        ::DestroyWindow(hwnd_);
        hwnd_ = nullptr;
    }
}

HWND Form::Hwnd() {
    if (!hwnd_) Load();
    return hwnd_;
}

void Form::Load() {
    if (hwnd_ || unloading_) return;
    RegisterFormClass(&Form::WindowProc);
    dpi_ = WindowDpi(nullptr);
    const RECT r = WindowRectFor(Pixels(style_.clientWidthTwips), Pixels(style_.clientHeightTwips), style_.style,
                                 style_.exStyle, dpi_);
    HWND hwnd = ::CreateWindowExW(style_.exStyle, kFormClass, style_.caption.c_str(), style_.style, CW_USEDEFAULT,
                                  CW_USEDEFAULT, r.right - r.left, r.bottom - r.top, nullptr, nullptr,
                                  ::GetModuleHandleW(nullptr), this);
    if (!hwnd) return;
    const UINT actual = WindowDpi(hwnd);
    if (actual != dpi_) ApplyDpi(actual, nullptr);
    CreateFonts();
    if (style_.background != CLR_INVALID) backgroundBrush_.reset(::CreateSolidBrush(style_.background));
    CreateControls();
    if (style_.centred) {
        RECT w{};
        ::GetWindowRect(hwnd_, &w);
        RECT work{};
        ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
        const int x = work.left + ((work.right - work.left) - (w.right - w.left)) / 2;
        const int y = work.top + ((work.bottom - work.top) - (w.bottom - w.top)) / 2;
        ::SetWindowPos(hwnd_, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    OnLoad();
}

void Form::Show() {
    HWND hwnd = Hwnd();
    if (!hwnd) return;
    ::ShowWindow(hwnd, SW_SHOW);
    ::SetForegroundWindow(hwnd);
    // A hidden window can already be the foreground one (the tray menu's owner): it is then not
    // activated again, and the keyboard stays where it was while the window was hidden.
    HWND focus = ::GetFocus();
    if (::GetForegroundWindow() == hwnd && (!focus || !::IsChild(hwnd, focus))) ::SetFocus(FocusTarget());
}

// Where the keyboard goes when the window is activated: back to the control that had it, else the
// first control in tab order, else the window itself.
HWND Form::FocusTarget() const {
    if (lastFocus_ && ::IsWindow(lastFocus_)) return lastFocus_;
    HWND first = ::GetNextDlgTabItem(hwnd_, nullptr, FALSE);
    return first ? first : hwnd_;
}

void Form::Hide() {
    if (hwnd_) ::ShowWindow(hwnd_, SW_HIDE);
}

bool Form::Visible() const { return hwnd_ && ::IsWindowVisible(hwnd_); }

void Form::Unload() {
    if (!hwnd_ || unloading_) return;
    unloading_ = true;
    OnUnload();
    if (hwnd_) ::DestroyWindow(hwnd_);
    unloading_ = false;
}

void Form::SetCaption(const std::wstring& caption) {
    style_.caption = caption;
    if (hwnd_) ::SetWindowTextW(hwnd_, caption.c_str());
}

std::wstring Form::Caption() {
    HWND hwnd = Hwnd();
    std::wstring text(static_cast<size_t>(::GetWindowTextLengthW(hwnd)) + 1, L'\0');
    text.resize(static_cast<size_t>(::GetWindowTextW(hwnd, text.data(), static_cast<int>(text.size()))));
    return text;
}

void Form::SetDefaultButton(Button& button) { defaultButton_ = &button; }

int Form::Pixels(int twips) const { return ::MulDiv(twips, static_cast<int>(dpi_), 1440); }

HFONT Form::DialogFont(bool bold) const { return bold ? boldFont_.get() : font_.get(); }

void Form::CreateFonts() {
    // 8.25 pt MS Sans Serif, the classic dialog font, at this window's DPI.
    LOGFONTW lf{};
    lf.lfHeight = -::MulDiv(825, static_cast<int>(dpi_), 7200);
    lf.lfWeight = FW_NORMAL;
    lf.lfCharSet = DEFAULT_CHARSET;
    lstrcpynW(lf.lfFaceName, L"MS Sans Serif", LF_FACESIZE);
    font_.reset(::CreateFontIndirectW(&lf));
    lf.lfWeight = FW_BOLD;
    boldFont_.reset(::CreateFontIndirectW(&lf));
}

// A control keeps using the font it was given until it is given another (WM_SETFONT does not
// copy it): the old fonts are released only after every control has the new ones.
void Form::ChangeDpi(UINT dpi, const RECT* suggested) {
    ApplyDpi(dpi, suggested);
    UniqueFont oldFont(font_.release()), oldBold(boldFont_.release());
    CreateFonts();
    for (Control* c : controls_) c->Reposition();
    ClipOverlaps();
    OnDpiChanged();
    ::InvalidateRect(hwnd_, nullptr, TRUE);
}

void Form::CreateControls() {
    tooltip_ = ::CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP, CW_USEDEFAULT,
                                 CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, hwnd_, nullptr,
                                 ::GetModuleHandleW(nullptr), nullptr);
    for (Control* c : TabOrdered()) c->Create(hwnd_, tooltip_);
    ClipOverlaps();
    // The default button carries the thick border that tells the user what Enter presses.
    if (defaultButton_ && defaultButton_->hwnd_)
        ::SendMessageW(defaultButton_->hwnd_, BM_SETSTYLE, BS_DEFPUSHBUTTON, FALSE);
}

// Where the rectangles of two controls overlap, the one created first lies on top and would take
// every click there, also on the other's square or first letters. The overlap belongs to the
// control whose top-left corner lies inside the other, and never to a label over another control;
// the other one is given a window region
// without it, which clips its hit-testing (and its painting) to the rest of its rectangle. Frames are left whole: a
// group box lets clicks through to what lies inside it.
void Form::ClipOverlaps() {
    for (Control* a : controls_) {
        if (!a->hwnd_ || a->GroupsControls()) continue;
        const RECT ra = a->PixelRect();
        UniqueRegion region(::CreateRectRgn(0, 0, ra.right - ra.left, ra.bottom - ra.top));
        bool clipped = false;
        for (const Control* b : controls_) {
            if (b == a || !b->hwnd_ || b->GroupsControls()) continue;
            const RECT rb = b->PixelRect();
            RECT both{};
            const bool bBeginsInside =
                ::PtInRect(&ra, POINT{rb.left, rb.top}) && (rb.left != ra.left || rb.top != ra.top);
            const bool bOwns =
                a->YieldsOverlaps() ? !b->YieldsOverlaps() || bBeginsInside : bBeginsInside && !b->YieldsOverlaps();
            if (!bOwns || !::IntersectRect(&both, &ra, &rb)) continue;
            ::OffsetRect(&both, -ra.left, -ra.top);  // a window region is in the window's own coordinates
            UniqueRegion cut(::CreateRectRgnIndirect(&both));
            ::CombineRgn(region.get(), region.get(), cut.get(), RGN_DIFF);
            clipped = true;
        }
        // On success the system owns the region; without overlaps the control keeps no region.
        if (::SetWindowRgn(a->hwnd_, clipped ? region.get() : nullptr, TRUE) && clipped) region.release();
    }
}

std::vector<Control*> Form::TabOrdered() const {
    std::vector<Control*> ordered = controls_;
    std::stable_sort(ordered.begin(), ordered.end(),
                     [](const Control* a, const Control* b) { return a->spec_.tabIndex < b->spec_.tabIndex; });
    return ordered;
}

// The window at a new DPI: at the rectangle the system suggests (WM_DPICHANGED, so that it stays
// on the monitor it moved to), otherwise at its own size for that DPI.
void Form::ApplyDpi(UINT dpi, const RECT* suggested) {
    dpi_ = dpi;
    if (suggested) {
        ::SetWindowPos(hwnd_, nullptr, suggested->left, suggested->top, suggested->right - suggested->left,
                       suggested->bottom - suggested->top, SWP_NOZORDER | SWP_NOACTIVATE);
        return;
    }
    const RECT r = WindowRectFor(Pixels(style_.clientWidthTwips), Pixels(style_.clientHeightTwips), style_.style,
                                 style_.exStyle, dpi);
    ::SetWindowPos(hwnd_, nullptr, 0, 0, r.right - r.left, r.bottom - r.top,
                   SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

LRESULT CALLBACK Form::WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* form = static_cast<Form*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        form->hwnd_ = hwnd;
        ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(form));
    }
    auto* form = reinterpret_cast<Form*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (!form) return ::DefWindowProcW(hwnd, message, wParam, lParam);
    // Handlers run inside the system's message dispatch: nothing may unwind through it.
    try {
        return form->HandleMessage(message, wParam, lParam);
    } catch (const std::exception& e) { ReportHandlerFailure(e.what()); } catch (...) {
        ReportHandlerFailure("unknown exception");
    }
    return 0;
}

bool Form::OnMessage(UINT, WPARAM, LPARAM, LRESULT&) { return false; }

LRESULT Form::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    LRESULT result = 0;
    if (OnMessage(message, wParam, lParam, result)) return result;
    switch (message) {
        case WM_COMMAND: RouteCommand(wParam, lParam); return 0;
        case WM_TIMER:
        case kSentTimerMessage:
            for (Timer* t : timers_)
                if (t->id_ == wParam) {
                    t->Fire();
                    return 0;
                }
            break;
        case WM_CLOSE: OnCloseBox(); return 0;
        case WM_NEXTDLGCTL: MoveFocus(wParam, lParam); return 0;
        case DM_GETDEFID:
            // The dialog manager's Enter (IsDialogMessage, and an edit control's own Enter) presses the
            // button this names.
            return DefaultId();
        case WM_ACTIVATE:
            // A plain window does not keep its focused control across activations as a dialog does:
            // remember it on the way out and give it back on the way in (the first control in tab
            // order the first time).
            if (LOWORD(wParam) == WA_INACTIVE) {
                HWND focus = ::GetFocus();
                if (focus && ::IsChild(hwnd_, focus)) lastFocus_ = focus;
            } else {
                // A form without focusable controls takes the keyboard itself, as DefWindowProc would
                // have done had the message been passed on.
                ::SetFocus(FocusTarget());
            }
            return 0;
        case WM_CTLCOLORSTATIC:
        case WM_CTLCOLORBTN:
            if (backgroundBrush_) {
                ::SetBkColor(reinterpret_cast<HDC>(wParam), style_.background);
                return reinterpret_cast<LRESULT>(backgroundBrush_.get());
            }
            break;
        case WM_ERASEBKGND:
            if (backgroundBrush_) {
                RECT r{};
                ::GetClientRect(hwnd_, &r);
                ::FillRect(reinterpret_cast<HDC>(wParam), &r, backgroundBrush_.get());
                return 1;
            }
            break;
        case WM_PAINT: {
            PAINTSTRUCT ps;
            HDC dc = ::BeginPaint(hwnd_, &ps);
            OnPaint(dc);
            ::EndPaint(hwnd_, &ps);
            return 0;
        }
        case 0x02E0:  // WM_DPICHANGED: lay the window out again at the new DPI, where the system suggests
            ChangeDpi(HIWORD(wParam), reinterpret_cast<const RECT*>(lParam));
            return 0;
        case WM_NCDESTROY: {
            LRESULT r = ::DefWindowProcW(hwnd_, message, wParam, lParam);
            AfterDestroy();
            return r;
        }
        default: break;
    }
    return ::DefWindowProcW(hwnd_, message, wParam, lParam);
}

// The keyboard navigation of IsDialogMessage asks the window to move the focus, as a dialog
// box does: to the given control (LOWORD(lParam) nonzero), or to the next or previous tab stop
// (wParam nonzero: previous). An access key of a label lands here.
void Form::MoveFocus(WPARAM wParam, LPARAM lParam) {
    HWND target = LOWORD(lParam) ? reinterpret_cast<HWND>(wParam)
                                 : ::GetNextDlgTabItem(hwnd_, ::GetFocus(), wParam != 0 ? TRUE : FALSE);
    if (!target || !::IsChild(hwnd_, target)) return;
    ::SetFocus(target);
    if (::SendMessageW(target, WM_GETDLGCODE, 0, 0) & DLGC_HASSETSEL) ::SendMessageW(target, EM_SETSEL, 0, -1);
}

namespace {

bool IsPushButton(HWND control) {
    return control && (::SendMessageW(control, WM_GETDLGCODE, 0, 0) & (DLGC_DEFPUSHBUTTON | DLGC_UNDEFPUSHBUTTON));
}

}  // namespace

// Enter presses the focused push button, or the default button when the focus is elsewhere.
LRESULT Form::DefaultId() const {
    HWND focus = ::GetFocus();
    for (const Control* c : controls_)
        if (c->hwnd_ && c->hwnd_ == focus && IsPushButton(focus)) return MAKELRESULT(c->id_, DC_HASDEFID);
    if (defaultButton_ && defaultButton_->hwnd_) return MAKELRESULT(defaultButton_->id_, DC_HASDEFID);
    return 0;
}

void Form::RouteCommand(WPARAM wParam, LPARAM lParam) {
    const WORD id = LOWORD(wParam);
    const WORD code = HIWORD(wParam);
    if (lParam == 0 && id == IDCANCEL) {  // Esc, from the dialog manager: what the close box does
        OnCloseBox();
        return;
    }
    if (lParam == 0) {  // a menu item or an accelerator
        for (PopupMenu* m : menus_)
            if (m->RunCommand(id)) return;
        return;
    }
    for (Control* c : controls_)
        if (c->id_ == id && c->hwnd_ == reinterpret_cast<HWND>(lParam)) {
            c->OnCommand(code);
            return;
        }
}

// The frame (group box) whose rectangle holds the control's, or null.
const Control* Form::FrameAround(const Control& control) const {
    const RECT inner = control.PixelRect();
    for (const Control* c : controls_) {
        if (c == &control || !c->GroupsControls()) continue;
        const RECT outer = c->PixelRect();
        RECT both{};
        if (::IntersectRect(&both, &outer, &inner) && ::EqualRect(&both, &inner)) return c;
    }
    return nullptr;
}

// The arrow keys move the focus round the focusable controls of the focused control's frame, in
// tab order. They never leave the frame and never stop on a label or on the frame itself; outside
// any frame they do nothing.
void Form::MoveInGroup(HWND from, bool previous) {
    const Control* at = nullptr;
    for (const Control* c : controls_)
        if (c->hwnd_ && c->hwnd_ == from) at = c;
    if (!at) return;
    const Control* frame = FrameAround(*at);
    if (!frame) return;
    std::vector<Control*> group;
    for (Control* c : TabOrdered()) {
        const HWND h = c->hwnd_;
        if (!h || c->GroupsControls() || FrameAround(*c) != frame) continue;
        if ((::GetWindowLongW(h, GWL_STYLE) & WS_TABSTOP) && ::IsWindowVisible(h) && ::IsWindowEnabled(h))
            group.push_back(c);
    }
    const auto it = std::find(group.begin(), group.end(), at);
    if (it == group.end() || group.size() < 2) return;
    const size_t n = group.size();
    const size_t i = static_cast<size_t>(it - group.begin());
    Control* next = group[previous ? (i + n - 1) % n : (i + 1) % n];
    ::SendMessageW(hwnd_, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(next->hwnd_), TRUE);
}

void Form::AfterDestroy() {
    ::SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
    hwnd_ = nullptr;
    tooltip_ = nullptr;
    lastFocus_ = nullptr;
    for (Control* c : controls_) c->hwnd_ = nullptr;
    for (Timer* t : timers_) {
        t->enabled_ = false;
        if (t->poolTimer_) t->ArmPoolTimer(nullptr);
    }
}

int MetricForDpi(int index, UINT dpi) {
    using MetricsForDpiFn = int(WINAPI*)(int, UINT);
    static const auto metricsForDpi = reinterpret_cast<MetricsForDpiFn>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"user32.dll"), "GetSystemMetricsForDpi")));
    if (metricsForDpi) return metricsForDpi(index, dpi);
    return ::MulDiv(::GetSystemMetrics(index), static_cast<int>(dpi), static_cast<int>(WindowDpi(nullptr)));
}

HICON LoadIconAtSize(int resourceId, int pixels) {
    const HINSTANCE instance = ::GetModuleHandleW(nullptr);
    // Common controls 6 have LoadIconWithScaleDown; the import libraries of some tool chains lack it.
    using ScaleDownFn = HRESULT(WINAPI*)(HINSTANCE, PCWSTR, int, int, HICON*);
    static const auto scaleDown = reinterpret_cast<ScaleDownFn>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"comctl32.dll"), "LoadIconWithScaleDown")));
    HICON icon = nullptr;
    if (scaleDown && SUCCEEDED(scaleDown(instance, MAKEINTRESOURCEW(resourceId), pixels, pixels, &icon)) && icon)
        return icon;
    return static_cast<HICON>(::LoadImageW(instance, MAKEINTRESOURCEW(resourceId), IMAGE_ICON, pixels, pixels, 0));
}

void LetPendingMessagesRun() {
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {  // leave it for the message loop
            ::PostQuitMessage(static_cast<int>(msg.wParam));
            return;
        }
        if (!TranslateFormMessage(msg)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
    }
}

int RunMessageLoop() {
    MSG msg;
    while (::GetMessageW(&msg, nullptr, 0, 0) > 0) {
        if (!TranslateFormMessage(msg)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
    }
    return static_cast<int>(msg.wParam);
}

bool TranslateFormMessage(MSG& msg) {
    if (!msg.hwnd) return false;
    HWND root = ::GetAncestor(msg.hwnd, GA_ROOT);
    // Keys that reach the form window itself (a form without focusable controls) stay its own.
    if (!root || root == msg.hwnd) return false;
    wchar_t cls[32] = {};
    ::GetClassNameW(root, cls, 32);
    if (lstrcmpW(cls, kFormClass) != 0) return false;
    // The dialog manager's arrow keys walk every sibling in window order, labels and frames
    // included: the form moves the focus itself, inside the frame.
    const bool arrow = msg.wParam == VK_LEFT || msg.wParam == VK_RIGHT || msg.wParam == VK_UP || msg.wParam == VK_DOWN;
    if (msg.message == WM_KEYDOWN && arrow &&
        !(::SendMessageW(msg.hwnd, WM_GETDLGCODE, msg.wParam, reinterpret_cast<LPARAM>(&msg)) &
          (DLGC_WANTARROWS | DLGC_WANTALLKEYS | DLGC_WANTMESSAGE))) {
        if (auto* form = reinterpret_cast<Form*>(::GetWindowLongPtrW(root, GWLP_USERDATA)))
            form->MoveInGroup(::GetFocus(), msg.wParam == VK_LEFT || msg.wParam == VK_UP);
        return true;
    }
    return ::IsDialogMessageW(root, &msg) != FALSE;
}

}  // namespace hv::toolkit
