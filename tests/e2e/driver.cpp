// hv_driver: looks at and works another program's windows from outside, as a user at the screen
// would, for the end-to-end scenarios. Run under the same Wine prefix and display as the program.
// Each sub-command prints what it saw and exits with 0 on success, non-zero with a message on
// standard error otherwise. Timeouts are in seconds.
#include <windows.h>
#include <oleauto.h>

#include <cstdio>
#include <cwchar>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "tests/e2e/DriverMenu.h"
#include "tests/e2e/DriverProcesses.h"
#include "tests/e2e/DriverText.h"
#include "tests/e2e/DriverTray.h"
#include "tests/e2e/DriverWindows.h"

namespace hv::e2e {
namespace {

constexpr DWORD kDefaultWait = 30000;
constexpr int kFailed = 1;
constexpr int kUsage = 64;

using Args = std::vector<std::wstring>;

int Fail(const std::wstring& message) {
    PrintError(L"hv_driver: " + message);
    return kFailed;
}

std::wstring Arg(const Args& args, size_t i) { return i < args.size() ? args[i] : std::wstring(); }

std::wstring Hex(const void* handle) {
    wchar_t text[32];
    std::swprintf(text, 32, L"0x%llx", static_cast<unsigned long long>(reinterpret_cast<UINT_PTR>(handle)));
    return text;
}

std::wstring RectText(const RECT& r) {
    return std::to_wstring(r.left) + L" " + std::to_wstring(r.top) + L" " + std::to_wstring(r.right - r.left) + L" " +
           std::to_wstring(r.bottom - r.top);
}

// A window to read: a visible match if there is one, else a hidden one.
HWND AnyWindow(const Selector& selector) {
    auto found = FindWindows(selector, true);
    if (found.empty()) found = FindWindows(selector, false);
    return found.empty() ? nullptr : found.front();
}

// A window to work with: only what a user can see, waited for a little.
HWND VisibleWindow(const Selector& selector) { return WaitVisible(selector, 10000); }

std::wstring CheckState(HWND control) { return std::to_wstring(::SendMessageW(control, BM_GETCHECK, 0, 0)); }

std::wstring DescribeChild(HWND child) {
    std::wstring line =
        std::to_wstring(::GetDlgCtrlID(child)) + L"\t" + ClassOf(child) + L"\t" + EscapeForLine(TextOf(child));
    if (IsCheckBox(child)) line += L"\tchecked=" + CheckState(child);
    if (!::IsWindowVisible(child)) line += L"\thidden";
    if (!::IsWindowEnabled(child)) line += L"\tdisabled";
    return line;
}

bool WaitForText(HWND control, const std::function<bool(const std::wstring&)>& done, DWORD timeoutMs) {
    return WaitUntil(timeoutMs, [&]() -> HWND { return done(TextOf(control)) ? control : nullptr; }) != nullptr;
}

// --- windows ---

int List(const Args& a) {
    const Selector s = a.empty() ? Selector{} : ParseSelector(a[0]);
    for (HWND w : FindWindows(s, false)) {
        RECT r{};
        ::GetWindowRect(w, &r);
        Print(Hex(w) + L"\t" + ClassOf(w) + L"\t\"" + EscapeForLine(TitleOf(w)) + L"\"\tpid=" +
              std::to_wstring(ProcessOf(w)) + (::IsWindowVisible(w) ? L"\tvisible\t" : L"\thidden\t") + RectText(r) +
              L"\tstyle=" + Hex(reinterpret_cast<void*>(::GetWindowLongPtrW(w, GWL_STYLE))) + L"\texstyle=" +
              Hex(reinterpret_cast<void*>(::GetWindowLongPtrW(w, GWL_EXSTYLE))));
    }
    return 0;
}

int WaitWindow(const Args& a) {
    const Selector s = ParseSelector(a[0]);
    if (HWND w = WaitVisible(s, Milliseconds(Arg(a, 1), kDefaultWait))) {
        Print(Hex(w));
        return 0;
    }
    return Fail(L"no visible window " + Describe(s));
}

int WaitGoneCommand(const Args& a) {
    const Selector s = ParseSelector(a[0]);
    return WaitGone(s, Milliseconds(Arg(a, 1), kDefaultWait)) ? 0 : Fail(L"still visible: " + Describe(s));
}

int Visible(const Args& a) {
    const Selector s = ParseSelector(a[0]);
    if (!FindWindows(s, true).empty()) {
        Print(L"visible");
        return 0;
    }
    Print(FindWindows(s, false).empty() ? L"absent" : L"hidden");
    return FindWindows(s, false).empty() ? 2 : 1;
}

int Text(const Args& a) {
    const Selector s = ParseSelector(a[0]);
    HWND w = AnyWindow(s);
    if (!w) return Fail(L"no window " + Describe(s));
    Print(L"title\t" + EscapeForLine(TitleOf(w)) + (::IsWindowVisible(w) ? L"\tvisible" : L"\thidden"));
    for (HWND child : ChildrenOf(w)) Print(DescribeChild(child));
    return 0;
}

int Get(const Args& a) {
    const Selector s = ParseSelector(a[0]);
    HWND w = AnyWindow(s);
    if (!w) return Fail(L"no window " + Describe(s));
    HWND c = FindControl(w, a[1]);
    if (!c) return Fail(L"no control " + a[1] + L" in " + Describe(s));
    PrintRaw(TextOf(c));
    return 0;
}

int WaitText(const Args& a) {
    const Selector s = ParseSelector(a[0]);
    HWND w = AnyWindow(s);
    if (!w) return Fail(L"no window " + Describe(s));
    HWND c = FindControl(w, a[1]);
    if (!c) return Fail(L"no control " + a[1] + L" in " + Describe(s));
    const std::wstring how = a[2], wanted = Unescape(a[3]);
    std::function<bool(const std::wstring&)> done;
    if (how == L"contains")
        done = [&](const std::wstring& t) { return t.find(wanted) != std::wstring::npos; };
    else if (how == L"lacks")
        done = [&](const std::wstring& t) { return t.find(wanted) == std::wstring::npos; };
    else if (how == L"equals")
        done = [&](const std::wstring& t) { return t == wanted; };
    else
        return Fail(L"wait-text: contains, lacks or equals, not " + how);
    if (WaitForText(c, done, Milliseconds(Arg(a, 4), kDefaultWait))) return 0;
    return Fail(L"text of " + a[1] + L" never " + how + L" \"" + a[3] + L"\"; it is \"" + EscapeForLine(TextOf(c)) +
                L"\"");
}

int Rect(const Args& a) {
    const Selector s = ParseSelector(a[0]);
    HWND w = AnyWindow(s);
    if (!w) return Fail(L"no window " + Describe(s));
    HWND target = w;
    if (a.size() > 1) {
        target = FindControl(w, a[1]);
        if (!target) return Fail(L"no control " + a[1] + L" in " + Describe(s));
    }
    RECT r{};
    ::GetWindowRect(target, &r);
    Print(RectText(r));
    return 0;
}

// Fails when a matching window becomes visible within the time (a prompt that must not come).
int NoWindow(const Args& a) {
    const Selector s = ParseSelector(a[0]);
    HWND w = WaitVisible(s, Milliseconds(Arg(a, 1), 3000));
    if (!w) return 0;
    return Fail(L"a window " + Describe(s) + L" is up: \"" + EscapeForLine(TitleOf(w)) + L"\"");
}

// The foreground window: its class and title.
int Foreground(const Args&) {
    HWND w = ::GetForegroundWindow();
    if (!w) return Fail(L"no foreground window");
    Print(ClassOf(w) + L"\t" + EscapeForLine(TitleOf(w)));
    return 0;
}

// The control of the window that has the keyboard focus, as CLASS#N (the n-th of its class), and
// whether its thread shows a caret.
int Focus(const Args& a) {
    const Selector s = ParseSelector(a[0]);
    HWND w = AnyWindow(s);
    if (!w) return Fail(L"no window " + Describe(s));
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    if (!::GetGUIThreadInfo(::GetWindowThreadProcessId(w, nullptr), &info)) return Fail(L"no thread information");
    int seen = 0;
    for (HWND child : ChildrenOf(w)) {
        if (ClassOf(child) != ClassOf(info.hwndFocus)) continue;
        if (child == info.hwndFocus) {
            Print(ClassOf(child) + L"#" + std::to_wstring(seen) + (info.hwndCaret == child ? L"\tcaret" : L""));
            return 0;
        }
        ++seen;
    }
    return Fail(L"the focus is not in " + Describe(s));
}

int Close(const Args& a) {
    const Selector s = ParseSelector(a[0]);
    HWND w = VisibleWindow(s);
    if (!w) return Fail(L"no visible window " + Describe(s));
    ::PostMessageW(w, WM_CLOSE, 0, 0);
    return 0;
}

// --- message boxes ---

Selector BoxSelector(const std::wstring& title) {
    Selector s;
    s.className = L"#32770";
    s.title = title;
    return s;
}

std::wstring BoxText(HWND box) {
    if (HWND text = ::GetDlgItem(box, 0xFFFF)) return TextOf(text);
    std::wstring all;  // a dialog without the usual text control: every static text
    for (HWND child : ChildrenOf(box))
        if (_wcsicmp(ClassOf(child).c_str(), L"Static") == 0 && !TextOf(child).empty())
            all += (all.empty() ? L"" : L"\n") + TextOf(child);
    return all;
}

int Box(const Args& a) {
    HWND box = WaitVisible(BoxSelector(a[0]), Milliseconds(Arg(a, 1), kDefaultWait));
    if (!box) return Fail(L"no message box \"" + a[0] + L"\"");
    ::Sleep(100);  // let its text be filled in
    Print(EscapeForLine(BoxText(box)));
    return 0;
}

int NoBox(const Args& a) {
    HWND box = WaitVisible(BoxSelector(a[0]), Milliseconds(Arg(a, 1), 3000));
    if (!box) return 0;
    return Fail(L"a message box \"" + a[0] + L"\" is up: " + EscapeForLine(BoxText(box)));
}

// --- controls ---

HWND VisibleControl(const Args& a, std::wstring& problem) {
    const Selector s = ParseSelector(a[0]);
    HWND w = VisibleWindow(s);
    if (!w) {
        problem = L"no visible window " + Describe(s);
        return nullptr;
    }
    HWND c = FindControl(w, a[1]);
    if (!c) problem = L"no control " + a[1] + L" in " + Describe(s);
    return c;
}

int Press(const Args& a) {
    std::wstring problem;
    HWND c = VisibleControl(a, problem);
    if (!c) return Fail(problem);
    if (!::IsWindowEnabled(c) || !::IsWindowVisible(c)) return Fail(L"control " + a[1] + L" cannot be pressed");
    // Posted, so that a handler that opens a modal box does not hold up the driver.
    ::PostMessageW(c, BM_CLICK, 0, 0);
    return 0;
}

// Waits until a control can be used: visible and enabled (a button that unlocks after a wait).
int WaitEnabled(const Args& a) {
    std::wstring problem;
    HWND c = VisibleControl(a, problem);
    if (!c) return Fail(problem);
    const bool ready = WaitUntil(Milliseconds(Arg(a, 2), kDefaultWait), [&]() -> HWND {
                           return ::IsWindowEnabled(c) && ::IsWindowVisible(c) ? c : nullptr;
                       }) != nullptr;
    return ready ? 0 : Fail(L"control " + a[1] + L" stays disabled");
}

// Picks an item of a drop-down list by its text, as a click on it does: the selection changes
// and the owner hears CBN_SELCHANGE.
int Select(const Args& a) {
    std::wstring problem;
    HWND c = VisibleControl(a, problem);
    if (!c) return Fail(problem);
    if (_wcsicmp(ClassOf(c).c_str(), L"ComboBox") != 0) return Fail(L"control " + a[1] + L" is not a combo box");
    if (!::IsWindowEnabled(c)) return Fail(L"combo box " + a[1] + L" is disabled");
    const std::wstring wanted = Unescape(a[2]);
    const LRESULT count = ::SendMessageW(c, CB_GETCOUNT, 0, 0);
    LRESULT index = CB_ERR;
    for (LRESULT i = 0; i < count && index == CB_ERR; ++i) {
        const LRESULT length = ::SendMessageW(c, CB_GETLBTEXTLEN, static_cast<WPARAM>(i), 0);
        if (length < 0) continue;
        std::wstring item(static_cast<size_t>(length) + 1, L'\0');
        ::SendMessageW(c, CB_GETLBTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(item.data()));
        item.resize(static_cast<size_t>(length));
        if (item == wanted) index = i;
    }
    if (index == CB_ERR) return Fail(L"combo box " + a[1] + L" has no item \"" + a[2] + L"\"");
    ::SendMessageW(c, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
    ::PostMessageW(::GetParent(c), WM_COMMAND, MAKEWPARAM(::GetDlgCtrlID(c), CBN_SELCHANGE),
                   reinterpret_cast<LPARAM>(c));
    return ::SendMessageW(c, CB_GETCURSEL, 0, 0) == index ? 0 : Fail(L"combo box " + a[1] + L" did not take the item");
}

int State(const Args& a) {
    const Selector s = ParseSelector(a[0]);
    HWND w = AnyWindow(s);
    HWND c = w ? FindControl(w, a[1]) : nullptr;
    if (!c) return Fail(L"no control " + a[1] + L" in " + Describe(s));
    Print(CheckState(c));
    return 0;
}

int Check(const Args& a) {
    std::wstring problem;
    HWND c = VisibleControl(a, problem);
    if (!c) return Fail(problem);
    if (!IsCheckBox(c)) return Fail(L"control " + a[1] + L" is not a check box");
    const std::wstring wanted = a[2];
    if (CheckState(c) != wanted) ::PostMessageW(c, BM_CLICK, 0, 0);
    const bool done = WaitUntil(5000, [&]() -> HWND { return CheckState(c) == wanted ? c : nullptr; }) != nullptr;
    return done ? 0 : Fail(L"check box " + a[1] + L" stays at " + CheckState(c));
}

// Replaces the text the way typing does: select all, then one character message per character,
// so the control's change handler runs for every keystroke.
int Type(const Args& a) {
    std::wstring problem;
    HWND c = VisibleControl(a, problem);
    if (!c) return Fail(problem);
    const std::wstring text = Unescape(a[2]);
    ::SendMessageW(c, EM_SETSEL, 0, -1);
    if (text.empty()) ::PostMessageW(c, WM_CHAR, VK_BACK, 1);
    for (wchar_t ch : text) ::PostMessageW(c, WM_CHAR, ch, 1);
    const DWORD wait = 10000 + static_cast<DWORD>(text.size()) * 20;
    if (WaitForText(
            c, [&](const std::wstring& t) { return t == text; }, wait))
        return 0;
    return Fail(L"the control holds \"" + EscapeForLine(TextOf(c)) + L"\" after typing");
}

// --- pop-up menu ---

// Keys for the open menu; waits for it to close unless the keys leave it open on purpose
// ("open" as a third argument).
int MenuKeys(const Args& a) {
    HWND menu = WaitForOpenMenu(Milliseconds(Arg(a, 1), 10000));
    if (!menu) return Fail(L"no pop-up menu is open");
    if (!SendMenuKeys(menu, a[0])) return Fail(L"unknown key name in " + a[0]);
    if (Arg(a, 2) == L"open") return 0;
    return WaitMenuClosed(menu, 5000) ? 0 : Fail(L"the menu is still open after " + a[0]);
}

int MenuOpen(const Args& a) {
    HWND menu = WaitForOpenMenu(Milliseconds(Arg(a, 0), 10000));
    if (!menu) return Fail(L"no pop-up menu is open");
    RECT r{};
    ::GetWindowRect(menu, &r);
    Print(RectText(r));
    return 0;
}

int MenuGone(const Args& a) {
    Selector menus;
    menus.className = L"#32768";
    return WaitGone(menus, Milliseconds(Arg(a, 0), 5000)) ? 0 : Fail(L"a pop-up menu is still open");
}

// --- tray ---

int TrayIcon(const Args& a) {
    const DWORD wait = Milliseconds(Arg(a, 0), kDefaultWait);
    std::vector<TrayIconSpot> icons;
    WaitUntil(wait, [&]() -> HWND {
        icons = TrayIcons();
        return icons.empty() ? nullptr : TaskBar();
    });
    if (icons.empty()) return Fail(L"no icon in the notification area");
    for (const TrayIconSpot& icon : icons) {
        wchar_t line[96];
        std::swprintf(line, 96, L"%ld %ld %08x", icon.centre.x, icon.centre.y, static_cast<unsigned>(icon.fingerprint));
        Print(line);
    }
    return 0;
}

int TrayGone(const Args& a) {
    const bool gone = WaitUntil(Milliseconds(Arg(a, 0), kDefaultWait), [&]() -> HWND {
                          return TrayIcons().empty() ? ::GetDesktopWindow() : nullptr;
                      }) != nullptr;
    return gone ? 0 : Fail(L"an icon is still in the notification area");
}

// The tooltip a user sees now: the text of the visible tooltip window.
int Tooltip(const Args& a) {
    Selector tips;
    tips.className = L"tooltips_class32";
    HWND tip = WaitVisible(tips, Milliseconds(Arg(a, 0), 5000));
    if (!tip) return Fail(L"no tooltip is shown");
    Print(EscapeForLine(TitleOf(tip)));
    return 0;
}

int TrayTips(const Args&) {
    for (const std::wstring& tip : TrayTooltips()) Print(EscapeForLine(tip));
    return 0;
}

// --- processes and locale ---

int Procs(const Args& a) {
    for (const ProcessEntry& p : Processes(Arg(a, 0))) Print(std::to_wstring(p.pid) + L"\t" + p.exe);
    return 0;
}

int WaitExit(const Args& a) {
    return WaitNoProcess(a[0], Milliseconds(Arg(a, 1), kDefaultWait)) ? 0 : Fail(a[0] + L" is still running");
}

int Kill(const Args& a) {
    Print(std::to_wstring(EndProcesses(a[0])));
    return 0;
}

// Whether GetActiveObject finds a running object of the ProgID's class in the Running Object
// Table: prints "running" (0) or "none" (2). The object found is let go of at once.
int ActiveObject(const Args& a) {
    if (FAILED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return Fail(L"COM cannot be used");
    CLSID clsid{};
    IUnknown* running = nullptr;
    const bool registered = SUCCEEDED(::CLSIDFromProgID(a[0].c_str(), &clsid));
    const bool found = registered && SUCCEEDED(::GetActiveObject(clsid, nullptr, &running)) && running;
    if (running) running->Release();
    ::CoUninitialize();
    if (!registered) return Fail(a[0] + L" is not registered");
    Print(found ? L"running" : L"none");
    return found ? 0 : 2;
}

int Locale(const Args&) {
    wchar_t date[80] = L"", am[40] = L"", pm[40] = L"";
    ::GetDateFormatEx(LOCALE_NAME_USER_DEFAULT, DATE_SHORTDATE, nullptr, nullptr, date, 80, nullptr);
    ::GetLocaleInfoEx(LOCALE_NAME_USER_DEFAULT, LOCALE_S1159, am, 40);
    ::GetLocaleInfoEx(LOCALE_NAME_USER_DEFAULT, LOCALE_S2359, pm, 40);
    Print(std::wstring(L"shortdate=") + date);
    Print(std::wstring(L"am=") + am);
    Print(std::wstring(L"pm=") + pm);
    return 0;
}

struct Command {
    size_t minArgs;
    int (*run)(const Args&);
    const wchar_t* usage;
};

const std::map<std::wstring, Command>& Commands() {
    static const std::map<std::wstring, Command> commands = {
        {L"list", {0, List, L"[SEL]                  every top-level window (of other processes)"}},
        {L"wait-window", {1, WaitWindow, L"SEL [timeout]   waits until a matching window is visible"}},
        {L"wait-gone", {1, WaitGoneCommand, L"SEL [timeout]     waits until none is visible"}},
        {L"visible", {1, Visible, L"SEL                 visible (0), hidden (1) or absent (2)"}},
        {L"text", {1, Text, L"SEL                    title and controls: id, class, text, state"}},
        {L"get", {2, Get, L"SEL CONTROL             the control's text, as it is"}},
        {L"wait-text", {4, WaitText, L"SEL CONTROL contains|lacks|equals TEXT [timeout]"}},
        {L"no-window", {1, NoWindow, L"SEL [seconds]     fails when a matching window shows within the time"}},
        {L"rect", {1, Rect, L"SEL [CONTROL]          x y width height on the screen"}},
        {L"foreground", {0, Foreground, L"                 the foreground window: class and title"}},
        {L"focus", {1, Focus, L"SEL                   the focused control (CLASS#N) and whether it shows the caret"}},
        {L"close", {1, Close, L"SEL                   asks the window to close (WM_CLOSE)"}},
        {L"box", {1, Box, L"TITLE [timeout]         waits for a message box; prints its text"}},
        {L"no-box", {1, NoBox, L"TITLE [seconds]      fails when a message box shows within the time"}},
        {L"press", {2, Press, L"SEL BUTTON            presses a button (caption, id, IDOK, IDCANCEL)"}},
        {L"wait-enabled", {2, WaitEnabled, L"SEL CONTROL [timeout]  waits until the control is enabled"}},
        {L"select", {3, Select, L"SEL COMBO ITEM       picks a drop-down list's item by its text"}},
        {L"state", {2, State, L"SEL CONTROL           a check box's state"}},
        {L"check", {3, Check, L"SEL CONTROL 0|1       clicks a check box until it has that state"}},
        {L"type", {3, Type, L"SEL CONTROL TEXT       replaces a text box's text, key by key"}},
        {L"menu-keys",
         {1, MenuKeys, L"KEYS [timeout] [open]  keys for the open pop-up menu: letters, {down}, {up}, {enter}, {esc}"}},
        {L"menu-open", {0, MenuOpen, L"[timeout]         waits for a pop-up menu; prints where it is"}},
        {L"menu-gone", {0, MenuGone, L"[timeout]         waits until no pop-up menu is open"}},
        {L"tray-icon",
         {0, TrayIcon,
          L"[timeout]         waits for icons in the notification area: x y fingerprint of each, rightmost first"}},
        {L"tray-gone", {0, TrayGone, L"[timeout]         waits until the notification area is empty"}},
        {L"tooltip", {0, Tooltip, L"[timeout]           waits for a tooltip on the screen; prints its text"}},
        {L"tray-tips", {0, TrayTips, L"                  the tooltips of the notification area's icons"}},
        {L"procs", {0, Procs, L"[EXE]                 running processes: pid, executable"}},
        {L"wait-exit", {1, WaitExit, L"EXE [timeout]     waits until no such process runs"}},
        {L"kill", {1, Kill, L"EXE                    ends every such process"}},
        {L"active-object",
         {1, ActiveObject, L"PROGID        whether the Running Object Table holds one: running (0), none (2)"}},
        {L"locale", {0, Locale, L"                     today's short date and the AM/PM designators"}},
    };
    return commands;
}

int Usage() {
    PrintError(
        L"usage: hv_driver COMMAND ARGS  (SEL: TITLE, class:NAME or class:NAME:TITLE; text arguments may "
        L"hold \\n, \\r, \\t, \\\\ and \\uXXXX)");
    for (const auto& [name, command] : Commands()) PrintError(L"  " + name + L" " + command.usage);
    return kUsage;
}

}  // namespace
}  // namespace hv::e2e

int wmain(int argc, wchar_t** argv) {
    using namespace hv::e2e;
    if (argc < 2) return Usage();
    const auto& commands = Commands();
    const auto found = commands.find(argv[1]);
    if (found == commands.end()) return Usage();
    const Args args(argv + 2, argv + argc);
    if (args.size() < found->second.minArgs) return Usage();
    return found->second.run(args);
}
