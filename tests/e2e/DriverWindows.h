// Finding other programs' windows the way a user sees them: top-level windows by title or class,
// their controls by id, position or caption, and waiting for them to come and go.
#pragma once
#include <windows.h>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace hv::e2e {

// "TITLE" (exact, case-sensitive), "class:NAME" or "class:NAME:TITLE" ("class:NAME:" is a window
// of that class with an empty title).
struct Selector {
    std::optional<std::wstring> className;
    std::optional<std::wstring> title;
};
Selector ParseSelector(std::wstring_view text);
std::wstring Describe(const Selector& selector);

std::wstring ClassOf(HWND window);
std::wstring TitleOf(HWND window);
DWORD ProcessOf(HWND window);

// Top-level windows of other processes that match, in Z order; hidden ones too unless
// visibleOnly.
std::vector<HWND> FindWindows(const Selector& selector, bool visibleOnly);

// Polls every 100 ms until `ready` gives a window or the time is up (then null).
template <class Ready>
HWND WaitUntil(DWORD timeoutMs, Ready ready) {
    const ULONGLONG end = ::GetTickCount64() + timeoutMs;
    for (;;) {
        if (HWND found = ready()) return found;
        if (::GetTickCount64() >= end) return nullptr;
        ::Sleep(100);
    }
}
HWND WaitVisible(const Selector& selector, DWORD timeoutMs);
// True when no matching window is visible any more within the time.
bool WaitGone(const Selector& selector, DWORD timeoutMs);

// A control of a window: a number is its id ("0x" for hex; IDOK, IDCANCEL, IDYES, IDNO, IDABORT,
// IDRETRY, IDIGNORE name theirs), "#n" the n-th child (from 0), "CLASS#n" the n-th child of that
// window class (Edit#0 is the first text box), anything else its caption, with or without the
// access-key ampersands.
HWND FindControl(HWND parent, std::wstring_view which);
std::vector<HWND> ChildrenOf(HWND parent);

// The text of a window or control (WM_GETTEXT, whatever its length).
std::wstring TextOf(HWND window);
bool IsCheckBox(HWND control);
bool IsPushButton(HWND control);

// Seconds in a command-line argument, as milliseconds; the fallback when the text is empty.
DWORD Milliseconds(std::wstring_view seconds, DWORD fallback);

}  // namespace hv::e2e
