#include "toolkit/Controls.h"

#include <commctrl.h>

#include "toolkit/Form.h"

namespace hv::toolkit {
namespace {

std::wstring WindowText(HWND hwnd) {
    const int length = ::GetWindowTextLengthW(hwnd);
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    const int n = ::GetWindowTextW(hwnd, text.data(), length + 1);
    text.resize(static_cast<size_t>(n > 0 ? n : 0));
    return text;
}

}  // namespace

Control::Control(Form& form, ControlSpec layout)
    : form_(form), spec_(std::move(layout)), id_(1000 + static_cast<int>(form.controls_.size())) {
    form_.controls_.push_back(this);
}

Control::~Control() {
    auto& list = form_.controls_;
    for (auto it = list.begin(); it != list.end(); ++it)
        if (*it == this) {
            list.erase(it);
            break;
        }
}

HWND Control::Hwnd() {
    form_.Hwnd();
    return hwnd_;
}

RECT Control::PixelRect() const {
    const TwipsRect& t = spec_.rect;
    return RECT{form_.Pixels(t.left), form_.Pixels(t.top), form_.Pixels(t.left + t.width),
                form_.Pixels(t.top + t.height)};
}

void Control::Focus() {
    if (HWND h = Hwnd()) ::SetFocus(h);
}

void Control::Create(HWND parent, HWND tooltip) {
    const RECT r = PixelRect();
    hwnd_ =
        ::CreateWindowExW(WindowExStyle(), WindowClass(), spec_.caption.c_str(), WS_CHILD | WS_VISIBLE | WindowStyle(),
                          r.left, r.top, r.right - r.left, r.bottom - r.top, parent,
                          reinterpret_cast<HMENU>(static_cast<INT_PTR>(id_)), ::GetModuleHandleW(nullptr), nullptr);
    if (!hwnd_) return;
    ::SendMessageW(hwnd_, WM_SETFONT, reinterpret_cast<WPARAM>(form_.DialogFont(spec_.bold)), FALSE);
    if (tooltip && !spec_.tooltip.empty()) {
        TOOLINFOW ti{};
        ti.cbSize = sizeof ti;
        ti.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
        ti.hwnd = parent;
        ti.uId = reinterpret_cast<UINT_PTR>(hwnd_);
        ti.lpszText = const_cast<wchar_t*>(spec_.tooltip.c_str());
        ::SendMessageW(tooltip, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&ti));
    }
    OnCreated();
}

void Control::Reposition() {
    if (!hwnd_) return;
    const RECT r = PixelRect();
    ::SetWindowPos(hwnd_, nullptr, r.left, r.top, r.right - r.left, r.bottom - r.top, SWP_NOZORDER | SWP_NOACTIVATE);
    ::SendMessageW(hwnd_, WM_SETFONT, reinterpret_cast<WPARAM>(form_.DialogFont(spec_.bold)), TRUE);
}

// --- CheckBox ---

int CheckBox::Value() {
    HWND h = Hwnd();
    return h && ::SendMessageW(h, BM_GETCHECK, 0, 0) == BST_CHECKED ? 1 : 0;
}

void CheckBox::SetValue(int value) {
    const int wanted = value ? 1 : 0;
    if (wanted == Value()) return;
    ::SendMessageW(Hwnd(), BM_SETCHECK, wanted ? BST_CHECKED : BST_UNCHECKED, 0);
    if (onClick) onClick();
}

void CheckBox::OnCommand(WORD code) {
    // BS_AUTOCHECKBOX has already flipped the state when BN_CLICKED arrives.
    if (code == BN_CLICKED && onClick) onClick();
}

// --- TextBox ---

TextBox::TextBox(Form& form, ControlSpec layout, Kind kind) : Control(form, std::move(layout)), kind_(kind) {}

DWORD TextBox::WindowStyle() const {
    if (kind_ == Kind::MultiLineReadOnly)
        return ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL | ES_AUTOHSCROLL | WS_VSCROLL | WS_HSCROLL | WS_TABSTOP;
    return ES_AUTOHSCROLL | WS_TABSTOP;
}

void TextBox::OnCreated() {
    // Lift the 32K typing limit: a text box must hold whatever text it is given.
    ::SendMessageW(Existing(), EM_SETLIMITTEXT, 0x7FFFFFFE, 0);
}

std::wstring TextBox::Text() {
    HWND h = Hwnd();
    return h ? WindowText(h) : std::wstring();
}

void TextBox::SetText(const std::wstring& text) {
    if (text == Text()) return;
    HWND h = Hwnd();
    if (!h) return;
    ::SetWindowTextW(h, text.c_str());
    // A single-line edit reports EN_CHANGE for text set by code; a multi-line one does not.
    if (kind_ == Kind::MultiLineReadOnly && onChange) onChange();
}

void TextBox::OnCommand(WORD code) {
    if (code == EN_CHANGE && onChange) onChange();
}

// --- Button ---

void Button::Click() {
    if (onClick) onClick();
}

void Button::OnCommand(WORD code) {
    if (code == BN_CLICKED) Click();
}

// --- Label ---

void Label::OnCommand(WORD code) {
    if (code == STN_CLICKED && onClick) onClick();
}

// --- Timer ---

Timer::Timer(Form& form, TimerDelivery delivery) : form_(form), id_(1 + form.timers_.size()) {
    if (delivery == TimerDelivery::Sent) poolTimer_ = ::CreateThreadpoolTimer(&Timer::SendTick, this, nullptr);
    form_.timers_.push_back(this);
}

Timer::~Timer() {
    if (poolTimer_) {
        ArmPoolTimer(nullptr);
        ::CloseThreadpoolTimer(poolTimer_);
    } else if (form_.IsLoaded()) {
        ::KillTimer(form_.hwnd_, id_);
    }
    auto& list = form_.timers_;
    for (auto it = list.begin(); it != list.end(); ++it)
        if (*it == this) {
            list.erase(it);
            break;
        }
}

void Timer::SetInterval(UINT milliseconds) {
    interval_ = milliseconds;
    Arm();
}

void Timer::SetEnabled(bool enabled) {
    enabled_ = enabled;
    Arm();
}

void Timer::Arm() {
    HWND hwnd = form_.Hwnd();
    if (!hwnd) return;
    const bool running = enabled_ && interval_ > 0;
    if (poolTimer_)
        ArmPoolTimer(running ? hwnd : nullptr);
    else if (running)
        ::SetTimer(hwnd, id_, interval_, nullptr);  // (re)starts the countdown
    else
        ::KillTimer(hwnd, id_);
}

// Null stops the pool timer and waits for a callback in progress, so that none outlives it.
void Timer::ArmPoolTimer(HWND hwnd) {
    if (!hwnd) {
        ::SetThreadpoolTimer(poolTimer_, nullptr, 0, 0);
        ::WaitForThreadpoolTimerCallbacks(poolTimer_, TRUE);
        target_ = nullptr;
        return;
    }
    target_ = hwnd;
    // A negative due time is relative, in 100-nanosecond units.
    ULARGE_INTEGER due;
    due.QuadPart = static_cast<ULONGLONG>(-static_cast<LONGLONG>(interval_) * 10000);
    FILETIME dueTime{due.LowPart, due.HighPart};
    ::SetThreadpoolTimer(poolTimer_, &dueTime, interval_, 0);
}

void CALLBACK Timer::SendTick(PTP_CALLBACK_INSTANCE, void* context, PTP_TIMER) {
    auto* timer = static_cast<Timer*>(context);
    const HWND target = timer->target_;
    if (!target || timer->tickOnItsWay_.exchange(true)) return;
    // SendNotifyMessage to another thread's window returns at once; the message is delivered as a
    // sent one. A window that has gone makes it fail, and nothing is waiting for it.
    if (!::SendNotifyMessageW(target, kSentTimerMessage, timer->id_, 0)) timer->tickOnItsWay_ = false;
}

void Timer::Fire() {
    tickOnItsWay_ = false;
    if (enabled_ && onTick) onTick();
}

}  // namespace hv::toolkit
