// The controls of a form. Each control knows its form, its place in twips, its caption, tooltip
// and tab index, and is created when its form loads. Touching a control of a form that does not
// exist loads the form. Setting a check box's value or a text box's text from code runs its
// handler when the value differs, just as the user's edit does.
#pragma once
#include <windows.h>

#include <atomic>
#include <functional>
#include <string>

namespace hv::toolkit {

class Form;

struct TwipsRect {
    int left = 0, top = 0, width = 0, height = 0;
};

struct ControlSpec {
    TwipsRect rect;  // inside the form's client area
    std::wstring caption;
    std::wstring tooltip;
    int tabIndex = 0;
    bool bold = false;
};

class Control {
public:
    Control(Form& form, ControlSpec layout);
    Control(const Control&) = delete;
    Control& operator=(const Control&) = delete;
    virtual ~Control();

    HWND Hwnd();
    int Id() const { return id_; }
    const ControlSpec& Layout() const { return spec_; }
    // The control's rectangle in client pixels at the form's DPI.
    RECT PixelRect() const;
    void Focus();

protected:
    virtual const wchar_t* WindowClass() const = 0;
    virtual DWORD WindowStyle() const = 0;
    virtual DWORD WindowExStyle() const { return 0; }
    virtual void OnCommand(WORD /*code*/) {}
    virtual void OnCreated() {}
    // A frame gathers the controls inside it into one group for the arrow keys.
    virtual bool GroupsControls() const { return false; }
    // A label is passive text: where it overlaps another control, the other one keeps the overlap.
    virtual bool YieldsOverlaps() const { return false; }
    HWND Existing() const { return hwnd_; }
    Form& Owner() const { return form_; }

private:
    friend class Form;
    void Create(HWND parent, HWND tooltip);
    void Reposition();

    Form& form_;
    ControlSpec spec_;
    int id_;
    HWND hwnd_ = nullptr;
};

class CheckBox : public Control {
public:
    using Control::Control;
    int Value();
    void SetValue(int value);
    std::function<void()> onClick;

protected:
    const wchar_t* WindowClass() const override { return L"BUTTON"; }
    DWORD WindowStyle() const override { return BS_AUTOCHECKBOX | WS_TABSTOP; }
    void OnCommand(WORD code) override;
};

class TextBox : public Control {
public:
    enum class Kind { SingleLine, MultiLineReadOnly };
    TextBox(Form& form, ControlSpec layout, Kind kind = Kind::SingleLine);
    std::wstring Text();
    void SetText(const std::wstring& text);
    std::function<void()> onChange;

protected:
    const wchar_t* WindowClass() const override { return L"EDIT"; }
    DWORD WindowStyle() const override;
    DWORD WindowExStyle() const override { return WS_EX_CLIENTEDGE; }
    void OnCommand(WORD code) override;
    void OnCreated() override;

private:
    Kind kind_;
};

class Button : public Control {
public:
    using Control::Control;
    std::function<void()> onClick;
    void Click();

protected:
    const wchar_t* WindowClass() const override { return L"BUTTON"; }
    DWORD WindowStyle() const override { return BS_PUSHBUTTON | WS_TABSTOP; }
    void OnCommand(WORD code) override;
};

class Frame : public Control {
public:
    using Control::Control;

protected:
    const wchar_t* WindowClass() const override { return L"BUTTON"; }
    DWORD WindowStyle() const override { return BS_GROUPBOX; }
    bool GroupsControls() const override { return true; }
};

class Label : public Control {
public:
    using Control::Control;
    std::function<void()> onClick;

protected:
    const wchar_t* WindowClass() const override { return L"STATIC"; }
    // A label may lie partly over the control it names: it paints around that control, never over
    // its border (under Wine its window region alone did not keep the static control's painting out).
    DWORD WindowStyle() const override { return SS_LEFT | SS_NOTIFY | WS_CLIPSIBLINGS; }
    bool YieldsOverlaps() const override { return true; }
    void OnCommand(WORD code) override;
};

// A timer owned by a form: an interval and an enabled flag. Enabling it, or setting the interval
// while it is enabled, restarts the countdown.
//
// How a tick reaches the form. Queued: a window timer, whose WM_TIMER comes only when a message
// loop dispatches it. Sent: a thread-pool timer that sends the form a notify message; a sent
// message is delivered whenever the thread looks at its queue, so the tick also comes inside a
// modal loop that dispatches nothing else (COM's wait for an outgoing call under Wine, which
// dispatches only sent messages and painting). Ticks that pile up while the thread is busy
// arrive as one.
enum class TimerDelivery { Queued, Sent };

class Timer {
public:
    explicit Timer(Form& form, TimerDelivery delivery = TimerDelivery::Queued);
    Timer(const Timer&) = delete;
    Timer& operator=(const Timer&) = delete;
    ~Timer();

    UINT Interval() const { return interval_; }
    void SetInterval(UINT milliseconds);
    bool Enabled() const { return enabled_; }
    void SetEnabled(bool enabled);
    std::function<void()> onTick;

private:
    friend class Form;
    void Arm();
    void ArmPoolTimer(HWND hwnd);
    void Fire();
    static void CALLBACK SendTick(PTP_CALLBACK_INSTANCE, void* timer, PTP_TIMER);

    Form& form_;
    UINT_PTR id_;
    UINT interval_ = 0;
    bool enabled_ = false;
    PTP_TIMER poolTimer_ = nullptr;          // Sent delivery only
    std::atomic<HWND> target_{nullptr};      // the form's window, read by the pool thread
    std::atomic<bool> tickOnItsWay_{false};  // a sent tick not yet delivered
};

// The message a Sent timer's tick arrives as (wParam: the timer's id).
inline constexpr UINT kSentTimerMessage = WM_APP + 0x3F0;

}  // namespace hv::toolkit
