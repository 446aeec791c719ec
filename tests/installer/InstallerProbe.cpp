// installer_probe.exe: finds top-level windows of other programs in the prefix and talks to them,
// for the installer test's shell script (which cannot reach Windows windows itself).
//
//   installer_probe find   <class> <title> <seconds>           0 when such a window appears in time;
//                                                              prints the id of its process
//   installer_probe post   <class> <title> <command id>        posts WM_COMMAND <id> to the window
//   installer_probe ask-exit <class> <title> <command id> <seconds>
//        posts WM_COMMAND <id> and waits until the window is gone and its process has ended
//   installer_probe close  <class> <title> <seconds>           WM_CLOSE, then waits for it to go
//   installer_probe box-text <title> <seconds>                 waits for a message box with that title,
//        prints its text and the id of its default button (IDYES 6, IDNO 7)
//   installer_probe box-answer <title> <button id>             presses a button of that message box
//   installer_probe click  <class> <title> <control id>        presses a button of a dialog window
//   installer_probe hold   <class> <title> <seconds>           owns a hidden window that ignores
//        every command, for <seconds> or until it is closed
//   installer_probe no-process <file name> <seconds>           0 when no process of that program
//        file name (e.g. Horavane.exe) is left in time; prints the ones still running otherwise
//
// A title of "*" matches any title. Exit codes: 0 yes, 1 no / timed out, 64 bad usage.
#include <windows.h>
#include <shellapi.h>
#include <tlhelp32.h>

#include <cstdio>
#include <cwchar>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "toolkit/UniqueHandle.h"

namespace {

using ProcessHandle = hv::toolkit::UniqueKernelHandle;

constexpr int kYes = 0;
constexpr int kNo = 1;
constexpr int kUsage = 64;
constexpr DWORD kPollMs = 100;

struct WindowName {
    std::wstring windowClass;
    std::wstring title;  // "*" for any
};

const wchar_t* TitleOrAny(const std::wstring& title) { return title == L"*" ? nullptr : title.c_str(); }

HWND FindTopLevel(const WindowName& target) {
    return ::FindWindowW(target.windowClass.c_str(), TitleOrAny(target.title));
}

// Polls `done` until it holds or `seconds` have passed; true when it held.
template <class Condition>
bool WaitFor(double seconds, Condition done) {
    const ULONGLONG deadline = ::GetTickCount64() + static_cast<ULONGLONG>(seconds * 1000.0);
    for (;;) {
        if (done()) return true;
        if (::GetTickCount64() >= deadline) return false;
        ::Sleep(kPollMs);
    }
}

ProcessHandle OpenWindowProcess(HWND window) {
    DWORD pid = 0;
    ::GetWindowThreadProcessId(window, &pid);
    return ProcessHandle(::OpenProcess(SYNCHRONIZE, FALSE, pid));
}

int Find(const WindowName& target, double seconds) {
    HWND window = nullptr;
    if (!WaitFor(seconds, [&] { return (window = FindTopLevel(target)) != nullptr; })) return kNo;
    DWORD pid = 0;
    ::GetWindowThreadProcessId(window, &pid);
    std::printf("%lu\n", static_cast<unsigned long>(pid));
    return kYes;
}

int Post(const WindowName& target, WPARAM command) {
    HWND window = FindTopLevel(target);
    if (!window) return kNo;
    return ::PostMessageW(window, WM_COMMAND, command, 0) ? kYes : kNo;
}

int AskExit(const WindowName& target, WPARAM command, double seconds) {
    HWND window = FindTopLevel(target);
    if (!window) {
        std::fputs("no such window\n", stderr);
        return kNo;
    }
    ProcessHandle process = OpenWindowProcess(window);
    if (!::PostMessageW(window, WM_COMMAND, command, 0)) return kNo;
    if (!WaitFor(seconds, [&] { return !::IsWindow(window); })) {
        std::fputs("the window is still there\n", stderr);
        return kNo;
    }
    if (process && ::WaitForSingleObject(process.get(), static_cast<DWORD>(seconds * 1000.0)) != WAIT_OBJECT_0) {
        std::fputs("the window went but its process did not end\n", stderr);
        return kNo;
    }
    return kYes;
}

int Close(const WindowName& target, double seconds) {
    return WaitFor(seconds,
                   [&] {
                       HWND window = FindTopLevel(target);
                       if (window) ::PostMessageW(window, WM_CLOSE, 0, 0);
                       return window == nullptr;
                   })
               ? kYes
               : kNo;
}

// A message box is a dialog window with its text in a static control of id 0xFFFF; a program's main
// dialog may carry the same title but has no such control.
constexpr int kMessageTextId = 0xFFFF;

HWND FindMessageBox(const std::wstring& titleText) {
    const wchar_t* title = TitleOrAny(titleText);
    for (HWND w = ::FindWindowExW(nullptr, nullptr, L"#32770", title); w;
         w = ::FindWindowExW(nullptr, w, L"#32770", title))
        if (::IsWindowVisible(w) && ::GetDlgItem(w, kMessageTextId)) return w;
    return nullptr;
}

// The enabled button `id` of a visible top-level window of that class and title (there may be
// hidden ones with the same name).
HWND FindButton(const WindowName& target, int id) {
    const wchar_t* title = TitleOrAny(target.title);
    for (HWND w = ::FindWindowExW(nullptr, nullptr, target.windowClass.c_str(), title); w;
         w = ::FindWindowExW(nullptr, w, target.windowClass.c_str(), title)) {
        HWND button = ::GetDlgItem(w, id);
        if (::IsWindowVisible(w) && button && ::IsWindowEnabled(button)) return button;
    }
    return nullptr;
}

int PressButton(HWND button) { return button && ::PostMessageW(button, BM_CLICK, 0, 0) ? kYes : kNo; }

// Whether a message box's button is its default one (the one Enter presses).
bool IsDefaultButton(HWND box, int id) {
    HWND button = ::GetDlgItem(box, id);
    return button && (::GetWindowLongW(button, GWL_STYLE) & BS_TYPEMASK) == BS_DEFPUSHBUTTON;
}

int BoxText(const std::wstring& title, double seconds) {
    HWND box = nullptr;
    if (!WaitFor(seconds, [&] { return (box = FindMessageBox(title)) != nullptr; })) return kNo;
    wchar_t text[1024] = L"";
    ::GetDlgItemTextW(box, kMessageTextId, text, static_cast<int>(std::size(text)));
    int defaultId = 0;
    for (int id : {IDOK, IDCANCEL, IDABORT, IDRETRY, IDIGNORE, IDYES, IDNO})
        if (IsDefaultButton(box, id)) defaultId = id;
    std::wprintf(L"%ls\ndefault=%d\n", text, defaultId);
    return kYes;
}

// A window that looks like a running copy but never exits when asked: the installer has to time
// out, leave it alone and change nothing.
LRESULT CALLBACK HoldProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_COMMAND) return 0;
    if (message == WM_DESTROY) ::PostQuitMessage(0);
    return ::DefWindowProcW(window, message, wParam, lParam);
}

int Hold(const WindowName& target, double seconds) {
    WNDCLASSW wc{};
    wc.lpfnWndProc = HoldProc;
    wc.hInstance = ::GetModuleHandleW(nullptr);
    wc.lpszClassName = target.windowClass.c_str();
    if (!::RegisterClassW(&wc)) return kNo;
    HWND window = ::CreateWindowExW(0, target.windowClass.c_str(), target.title.c_str(), WS_OVERLAPPEDWINDOW, 0, 0, 100,
                                    100, nullptr, nullptr, wc.hInstance, nullptr);
    if (!window) return kNo;
    const UINT_PTR timer = ::SetTimer(window, 1, static_cast<UINT>(seconds * 1000.0), nullptr);
    MSG msg;
    while (::GetMessageW(&msg, nullptr, 0, 0) > 0) {
        if (msg.message == WM_TIMER && msg.hwnd == window) {
            ::KillTimer(window, timer);
            ::DestroyWindow(window);
            continue;
        }
        ::DispatchMessageW(&msg);
    }
    return kYes;
}

std::vector<DWORD> ProcessesOf(const std::wstring& fileName) {
    std::vector<DWORD> found;
    const HANDLE raw = ::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (raw == INVALID_HANDLE_VALUE) return found;
    const ProcessHandle snapshot(raw);
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = ::Process32FirstW(snapshot.get(), &entry); more; more = ::Process32NextW(snapshot.get(), &entry))
        if (::_wcsicmp(entry.szExeFile, fileName.c_str()) == 0) found.push_back(entry.th32ProcessID);
    return found;
}

int NoProcess(const std::wstring& fileName, double seconds) {
    if (WaitFor(seconds, [&] { return ProcessesOf(fileName).empty(); })) return kYes;
    for (DWORD pid : ProcessesOf(fileName)) std::printf("%lu\n", static_cast<unsigned long>(pid));
    return kNo;
}

int Usage() {
    std::fputs(
        "usage: installer_probe find|post|ask-exit|close|box-text|box-answer|click|hold|no-process ... (see the "
        "source)\n",
        stderr);
    return kUsage;
}

double Seconds(const wchar_t* text) { return std::wcstod(text, nullptr); }
WPARAM CommandId(const wchar_t* text) { return static_cast<WPARAM>(std::wcstoul(text, nullptr, 10)); }

int Run(int argc, wchar_t** argv) {
    if (argc < 4) return Usage();
    const std::wstring verb = argv[1];
    if (verb == L"box-text") return BoxText(argv[2], Seconds(argv[3]));
    if (verb == L"box-answer") {
        HWND box = FindMessageBox(argv[2]);
        return PressButton(box ? ::GetDlgItem(box, static_cast<int>(CommandId(argv[3]))) : nullptr);
    }
    if (verb == L"no-process") return NoProcess(argv[2], Seconds(argv[3]));
    if (argc < 5) return Usage();
    const WindowName target{argv[2], argv[3]};
    if (verb == L"find") return Find(target, Seconds(argv[4]));
    if (verb == L"post") return Post(target, CommandId(argv[4]));
    if (verb == L"close") return Close(target, Seconds(argv[4]));
    if (verb == L"hold") return Hold(target, Seconds(argv[4]));
    if (verb == L"click") return PressButton(FindButton(target, static_cast<int>(CommandId(argv[4]))));
    if (verb == L"ask-exit" && argc >= 6) return AskExit(target, CommandId(argv[4]), Seconds(argv[5]));
    return Usage();
}

}  // namespace

int main() {
    // mingw's main has no wide argv; take it from the command line.
    int argc = 0;
    const hv::toolkit::UniqueLocal<wchar_t**> argv(::CommandLineToArgvW(::GetCommandLineW(), &argc));
    return argv ? Run(argc, argv.get()) : kUsage;
}
