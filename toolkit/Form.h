// A top-level window with toolkit semantics: it is created ("loaded") on first touch, shown and
// hidden without being destroyed, and unloaded (destroyed) only on request. Its controls are laid
// out in twips and created in tab order; WM_COMMAND and WM_TIMER are routed to the control, menu
// item or timer they belong to. Exceptions never leave the window procedure.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

#include "toolkit/UniqueHandle.h"

namespace hv::toolkit {

class Button;
class Control;
class Timer;
class PopupMenu;

struct FormStyle {
    std::wstring caption;
    DWORD style = WS_POPUP | WS_CAPTION | WS_SYSMENU;
    DWORD exStyle = WS_EX_CONTROLPARENT;
    int clientWidthTwips = 0;
    int clientHeightTwips = 0;
    COLORREF background = CLR_INVALID;  // CLR_INVALID: the system's dialog colour
    bool centred = true;
};

class Form {
public:
    explicit Form(FormStyle style);
    Form(const Form&) = delete;
    Form& operator=(const Form&) = delete;
    virtual ~Form();

    // The window handle; loads the form first when it does not exist.
    HWND Hwnd();
    bool IsLoaded() const { return hwnd_ != nullptr; }
    void Load();
    void Show();
    void Hide();
    bool Visible() const;
    // Destroys the window after running OnUnload. Does nothing when not loaded or already
    // unloading.
    void Unload();

    void SetCaption(const std::wstring& caption);
    std::wstring Caption();

    // Pixels for a length in twips at this window's DPI.
    int Pixels(int twips) const;
    UINT Dpi() const { return dpi_; }
    HFONT DialogFont(bool bold) const;

    // The button that Enter presses while the focus is on a control that is not a push button.
    // Set before the form loads.
    void SetDefaultButton(Button& button);

protected:
    // Runs after the window and its controls exist (the toolkit's load event).
    virtual void OnLoad() {}
    // Runs before the window is destroyed (the toolkit's unload event).
    virtual void OnUnload() {}
    // The title bar's close box. Hides the window unless a form says otherwise.
    virtual void OnCloseBox() { Hide(); }
    // Messages a form wants to see before the default handling. Return true when handled.
    virtual bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);
    virtual void OnPaint(HDC) {}
    // Runs after the window and its controls were laid out again at a new DPI.
    virtual void OnDpiChanged() {}

    const FormStyle& Style() const { return style_; }
    // The window's tooltip control (while loaded), for forms that add tools of their own.
    HWND Tooltip() const { return tooltip_; }

private:
    friend class Control;
    friend class Timer;
    friend class PopupMenu;

    static LRESULT CALLBACK WindowProc(HWND, UINT, WPARAM, LPARAM);
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
    void CreateControls();
    void ClipOverlaps();
    void CreateFonts();
    void ApplyDpi(UINT dpi, const RECT* suggested);
    void ChangeDpi(UINT dpi, const RECT* suggested);
    void RouteCommand(WPARAM wParam, LPARAM lParam);
    void MoveFocus(WPARAM wParam, LPARAM lParam);
    LRESULT DefaultId() const;
    HWND FocusTarget() const;
    std::vector<Control*> TabOrdered() const;
    const Control* FrameAround(const Control& control) const;
    void MoveInGroup(HWND from, bool previous);
    friend bool TranslateFormMessage(MSG& msg);
    void AfterDestroy();

    FormStyle style_;
    HWND hwnd_ = nullptr;
    UINT dpi_ = 96;
    bool unloading_ = false;
    HWND lastFocus_ = nullptr;  // the control that had the focus when the window was deactivated
    Control* defaultButton_ = nullptr;
    UniqueFont font_, boldFont_;
    UniqueBrush backgroundBrush_;
    HWND tooltip_ = nullptr;  // destroyed with the form window
    std::vector<Control*> controls_;
    std::vector<Timer*> timers_;
    std::vector<PopupMenu*> menus_;
};

// A system metric (SM_CXICON, SM_CXSMICON, ...) at a DPI: GetSystemMetricsForDpi where the
// system has it, otherwise the system's value scaled from its own DPI.
int MetricForDpi(int index, UINT dpi);

// An icon resource of this program at a size in pixels, owned by the caller: the resource's image
// of that size, otherwise one scaled down from a larger image (never stretched up from a smaller
// one where a larger exists).
HICON LoadIconAtSize(int resourceId, int pixels);

// Dispatches every message already queued, then returns. Handlers, timer ticks included, may run.
void LetPendingMessagesRun();

// Runs the message loop until WM_QUIT; returns its exit code.
int RunMessageLoop();

// Gives keyboard navigation (tab, arrows inside a frame, access keys, Enter, Esc) to the form that
// owns the message.
bool TranslateFormMessage(MSG& msg);

}  // namespace hv::toolkit
