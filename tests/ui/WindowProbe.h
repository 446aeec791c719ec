// Looks at real windows from the outside, the way a user or another program would: geometry,
// styles, texts, fonts, tooltips, focus, keys and clicks through the program's own message pump,
// and what a window paints.
#pragma once
#include <windows.h>

#include <optional>
#include <string>
#include <vector>

namespace hv::test {

// Lets the window system settle: queued messages (painting, activation) run for a while.
void Settle(DWORD milliseconds = 60);

// Pixels of a length in twips at 96 dpi, rounded as the toolkit's layout rounds.
int At96(int twips);

// Makes the window the active one, as a click on it would; false when it never became active.
// Other test programs running at the same time may take the foreground at any moment.
bool BringToFront(HWND window);
// The control with the keyboard focus inside an active window: the window is made active again
// first when another program has taken the foreground meanwhile (it gets its focus back).
HWND FocusIn(HWND window);

RECT ClientRect(HWND window);
// Sends the window WM_DPICHANGED as a move to a monitor of that DPI does, with a suggested window
// rectangle whose client area is the given size in twips at that DPI.
void MoveToDpi(HWND window, UINT dpi, int clientWidthTwips, int clientHeightTwips);
// A child window's rectangle in its parent's client coordinates.
RECT RectInParent(HWND child);
std::wstring TextOf(HWND window);
DWORD StyleOf(HWND window);
DWORD ExStyleOf(HWND window);
// The font the control was given (WM_GETFONT), as a description.
LOGFONTW FontOf(HWND control);

// The tooltip control owned by a window, or null.
HWND TooltipOf(HWND owner);
// The tip of a tool registered for a child window; nothing when it has none.
std::optional<std::wstring> TipOfChild(HWND tooltip, HWND owner, HWND child);
// The tip of the tool that covers a point of the owner's client area; nothing when none does.
std::optional<std::wstring> TipAt(HWND tooltip, HWND owner, POINT client);

// Input as it reaches a window through the program's message pump.
void PressKey(HWND target, UINT virtualKey);
void PressAltKey(HWND target, wchar_t letter);
void Click(HWND window, POINT client);
void PressAndRelease(HWND window, POINT down, POINT up);

POINT CentreOf(const RECT& r);

// The window's client area as it paints itself (WM_PRINTCLIENT), or a rectangle of the screen.
class Picture {
public:
    Picture(int width, int height) : width_(width), height_(height), pixels_(static_cast<size_t>(width) * height) {}
    static Picture OfClient(HWND window);
    static Picture OfScreen(const RECT& screen);

    int Width() const { return width_; }
    int Height() const { return height_; }
    COLORREF At(int x, int y) const;
    // How many pixels inside r are within `tolerance` of the colour on each channel.
    int Count(const RECT& r, COLORREF colour, int tolerance = 0) const;
    // How many pixels inside r are darker than the given sum of the three channels.
    int CountDark(const RECT& r, int maxChannelSum) const;
    bool SavePng(const std::wstring& path) const;

private:
    friend class Canvas32;
    int width_, height_;
    std::vector<DWORD> pixels_;  // 0x00RRGGBB, top row first
};

}  // namespace hv::test
