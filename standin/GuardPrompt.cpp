#include "standin/GuardPrompt.h"

#include <windows.h>
#include <commctrl.h>

#include <array>

namespace standin {
namespace {

// The wording of Outlook 2007 and later, as Microsoft's support article "I get warnings about a
// program accessing email address information or sending email on my behalf" quotes it.
constexpr wchar_t kAddressText[] =
    L"A program is trying to access e-mail address information stored in Outlook. If this is unexpected, "
    L"click Deny and verify your antivirus software is up-to-date.\r\n\r\n"
    L"For more information about e-mail safety and how you might be able to avoid getting this warning, click Help.";
constexpr wchar_t kSendText[] =
    L"A program is trying to send an e-mail message on your behalf. If this is unexpected, click Deny and "
    L"verify your antivirus software is up-to-date.\r\n\r\n"
    L"For more information about e-mail safety and how you might be able to avoid getting this warning, click Help.";
constexpr std::array<int, 4> kMinuteChoices = {1, 2, 5, 10};
constexpr UINT_PTR kWaitTimer = 1;

struct PromptState {
    Prompt prompt;
    ULONGLONG shownAt = 0;
    bool answered = false;
    PromptAnswer answer;
};

HWND Child(HWND parent, const wchar_t* cls, const wchar_t* text, DWORD style, int x, int y, int w, int h, int id) {
    HWND child = ::CreateWindowExW(0, cls, text, WS_CHILD | WS_VISIBLE | style, x, y, w, h, parent,
                                   reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), nullptr, nullptr);
    ::SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(::GetStockObject(DEFAULT_GUI_FONT)), FALSE);
    return child;
}

void CreateControls(HWND window, const PromptState& state) {
    const bool send = state.prompt == Prompt::Send;
    HWND icon = Child(window, L"STATIC", nullptr, SS_ICON, 14, 14, 32, 32, -1);
    ::SendMessageW(icon, STM_SETICON, reinterpret_cast<WPARAM>(::LoadIconW(nullptr, IDI_WARNING)), 0);
    Child(window, L"STATIC", send ? kSendText : kAddressText, SS_LEFT, 60, 14, 380, 70, -1);
    if (send) {
        HWND bar = Child(window, PROGRESS_CLASSW, nullptr, 0, 60, 92, 380, 16, kWaitBarId);
        ::SendMessageW(bar, PBM_SETRANGE32, 0, kSendWaitMs);
        ::SetTimer(window, kWaitTimer, 100, nullptr);
    } else {
        Child(window, L"BUTTON", L"&Allow access for", WS_TABSTOP | BS_AUTOCHECKBOX, 60, 90, 120, 20, kAllowForId);
        HWND minutes = Child(window, L"COMBOBOX", nullptr, WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWNLIST, 184, 89, 110,
                             120, kMinutesId);
        for (int m : kMinuteChoices) {
            const wchar_t* text = m == 1 ? L"1 minute" : m == 2 ? L"2 minutes" : m == 5 ? L"5 minutes" : L"10 minutes";
            ::SendMessageW(minutes, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text));
        }
        ::SendMessageW(minutes, CB_SETCURSEL, 0, 0);
        ::EnableWindow(minutes, FALSE);  // chosen only with "Allow access for" ticked
    }
    HWND allow = Child(window, L"BUTTON", L"Allow", WS_TABSTOP | BS_DEFPUSHBUTTON, 176, 124, 82, 26, kAllowId);
    HWND deny = Child(window, L"BUTTON", L"Deny", WS_TABSTOP | BS_PUSHBUTTON, 266, 124, 82, 26, kDenyId);
    HWND help = Child(window, L"BUTTON", L"Help", WS_TABSTOP | BS_PUSHBUTTON, 356, 124, 82, 26, kHelpId);
    ::EnableWindow(help, FALSE);  // the stand-in has no help pages
    if (send) {
        ::EnableWindow(allow, FALSE);
        ::SetFocus(deny);
    } else {
        ::SetFocus(allow);
    }
}

void Answer(HWND window, PromptState& state, bool allowed) {
    state.answer.allowed = allowed;
    if (allowed && state.prompt == Prompt::AddressAccess && ::IsDlgButtonChecked(window, kAllowForId) == BST_CHECKED) {
        const LRESULT pick = ::SendDlgItemMessageW(window, kMinutesId, CB_GETCURSEL, 0, 0);
        state.answer.allowMinutes = kMinuteChoices[pick >= 0 && pick < 4 ? static_cast<size_t>(pick) : 0];
    }
    state.answered = true;
}

void AdvanceWait(HWND window, const PromptState& state) {
    const ULONGLONG waited = ::GetTickCount64() - state.shownAt;
    ::SendDlgItemMessageW(window, kWaitBarId, PBM_SETPOS,
                          static_cast<WPARAM>(waited < kSendWaitMs ? waited : kSendWaitMs), 0);
    if (waited >= kSendWaitMs) {
        ::KillTimer(window, kWaitTimer);
        ::EnableWindow(::GetDlgItem(window, kAllowId), TRUE);
    }
}

LRESULT CALLBACK PromptProc(HWND window, UINT message, WPARAM wp, LPARAM lp) {
    auto* state = reinterpret_cast<PromptState*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
    switch (message) {
        case WM_NCCREATE:
            ::SetWindowLongPtrW(window, GWLP_USERDATA,
                                reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCTW*>(lp)->lpCreateParams));
            break;
        case WM_TIMER:
            if (state && wp == kWaitTimer) AdvanceWait(window, *state);
            return 0;
        case WM_COMMAND:
            if (!state) break;
            switch (LOWORD(wp)) {
                case kAllowId:
                    // Enter reaches the default button even while it is still disabled.
                    if (::IsWindowEnabled(::GetDlgItem(window, kAllowId))) Answer(window, *state, true);
                    return 0;
                case kDenyId: Answer(window, *state, false); return 0;
                case kAllowForId:
                    ::EnableWindow(::GetDlgItem(window, kMinutesId),
                                   ::IsDlgButtonChecked(window, kAllowForId) == BST_CHECKED);
                    return 0;
            }
            break;
        case WM_CLOSE:
            if (state) Answer(window, *state, false);
            return 0;
    }
    return ::DefWindowProcW(window, message, wp, lp);
}

void RegisterPromptClass() {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = PromptProc;
    wc.hInstance = ::GetModuleHandleW(nullptr);
    wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = kPromptClass;
    ::RegisterClassExW(&wc);  // fails harmlessly when already registered
}

}  // namespace

PromptAnswer AskUser(Prompt prompt) {
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_PROGRESS_CLASS};
    ::InitCommonControlsEx(&controls);
    RegisterPromptClass();
    PromptState state{prompt, ::GetTickCount64(), false, {}};
    RECT frame{0, 0, 454, 164};
    const DWORD style = WS_POPUP | WS_CAPTION | WS_SYSMENU;
    ::AdjustWindowRectEx(&frame, style, FALSE, WS_EX_DLGMODALFRAME | WS_EX_TOPMOST);
    const int w = frame.right - frame.left, h = frame.bottom - frame.top;
    HWND window =
        ::CreateWindowExW(WS_EX_DLGMODALFRAME | WS_EX_TOPMOST, kPromptClass, kPromptTitle, style,
                          (::GetSystemMetrics(SM_CXSCREEN) - w) / 2, (::GetSystemMetrics(SM_CYSCREEN) - h) / 2, w, h,
                          nullptr, nullptr, ::GetModuleHandleW(nullptr), &state);
    if (!window) return {};  // no prompt can be shown: as if denied
    CreateControls(window, state);
    ::ShowWindow(window, SW_SHOW);
    ::SetForegroundWindow(window);
    // The call waits here; other incoming calls and window messages go on being served.
    MSG msg;
    while (!state.answered) {
        const BOOL got = ::GetMessageW(&msg, nullptr, 0, 0);
        if (got == 0) {
            ::PostQuitMessage(static_cast<int>(msg.wParam));  // the process is ending: deny, keep the quit
            break;
        }
        if (got < 0) break;
        if (::IsDialogMessageW(window, &msg)) continue;
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
    ::DestroyWindow(window);
    return state.answer;
}

}  // namespace standin
