// OutlookStandin.exe's command line:
//   (none)        started as a user starts Outlook: the main window, until it is closed; in the
//                 Running Object Table once that window has lost the focus
//   -Embedding    started by COM for a client: no window, never in the Running Object Table, ends
//                 with its last client
//   (JoinsRot = 1 in HKCU\Software\OutlookStandin: either joins the table when its start-up is over)
//   /close        asks a running stand-in to close as the user closes Outlook, and waits for it
//   /crash        makes a running stand-in end as a crashed Outlook does, and waits for it
//   /counters     prints the running stand-in's counters ("Name=number" lines)
//   /regserver, /unregserver   registers or removes "Outlook.Application" (per machine)
// A second start while one runs ends at once; a user's start shows the running one's window.
#include <windows.h>
#include <objbase.h>
#include <shellapi.h>

#include <string>
#include <vector>

#include "standin/LocalServer.h"
#include "standin/Registration.h"

namespace {

bool Is(const wchar_t* arg, const wchar_t* name) {
    if (arg[0] != L'/' && arg[0] != L'-') return false;
    return ::CompareStringOrdinal(arg + 1, -1, name, -1, TRUE) == CSTR_EQUAL;
}

std::wstring OwnPath() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (n < path.size()) return path.substr(0, n);
        path.resize(path.size() * 2);
    }
}

void Print(const std::wstring& text) {
    const int bytes =
        ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<size_t>(bytes), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), utf8.data(), bytes, nullptr,
                          nullptr);
    DWORD written = 0;
    ::WriteFile(::GetStdHandle(STD_OUTPUT_HANDLE), utf8.data(), static_cast<DWORD>(utf8.size()), &written, nullptr);
}

// Posts `message` to the running stand-in; 0 when none runs any more, 1 when the running one did
// not end within 20 seconds.
int EndRunning(UINT message) {
    HWND window = standin::FindRunningStandin();
    if (!window) return 0;
    DWORD pid = 0;
    ::GetWindowThreadProcessId(window, &pid);
    HANDLE process = ::OpenProcess(SYNCHRONIZE, FALSE, pid);
    ::PostMessageW(window, message, 0, 0);
    const DWORD waited = process ? ::WaitForSingleObject(process, 20000) : WAIT_FAILED;
    if (process) ::CloseHandle(process);
    return waited == WAIT_OBJECT_0 ? 0 : 1;
}

// 0 with the counters printed, 1 when no stand-in runs or it did not answer within 10 seconds.
int PrintCounters() {
    HWND window = standin::FindRunningStandin();
    DWORD_PTR answer = 0;
    if (!window || !::SendMessageTimeoutW(window, standin::kPublishCounters, 0, 0, SMTO_NORMAL, 10000, &answer) ||
        answer != 1) {
        return 1;
    }
    HKEY key = nullptr;
    if (::RegOpenKeyExW(HKEY_CURRENT_USER, standin::kCountersKey, 0, KEY_READ, &key) != ERROR_SUCCESS) return 1;
    std::wstring lines;
    for (DWORD i = 0;; ++i) {
        wchar_t name[256];
        DWORD nameLength = 256, value = 0, bytes = sizeof value, type = 0;
        if (::RegEnumValueW(key, i, name, &nameLength, nullptr, &type, reinterpret_cast<BYTE*>(&value), &bytes) !=
            ERROR_SUCCESS) {
            break;
        }
        if (type == REG_DWORD) lines += std::wstring(name, nameLength) + L"=" + std::to_wstring(value) + L"\n";
    }
    ::RegCloseKey(key);
    Print(lines);
    return 0;
}

// The one stand-in of this session; a second one hands over to it and ends.
class SingleInstance {
public:
    SingleInstance() : mutex_(::CreateMutexW(nullptr, FALSE, L"Local\\OutlookStandin.Process")) {
        first_ = mutex_ && ::GetLastError() != ERROR_ALREADY_EXISTS;
    }
    ~SingleInstance() {
        if (mutex_) ::CloseHandle(mutex_);
    }
    SingleInstance(const SingleInstance&) = delete;
    SingleInstance& operator=(const SingleInstance&) = delete;
    bool First() const { return first_; }

private:
    HANDLE mutex_;
    bool first_ = false;
};

// Outlook's process ends when its user closes it, whatever its clients do: before Outlook 2007 SP2
// "often the end user could not close Outlook because of lingering external references", and since
// then "the intent of the end user--to close Outlook--is respected" ("Application Shutdown Changes in
// Outlook 2007 SP2", learn.microsoft.com/previous-versions/office/developer/office-2007/
// dd239276(v=office.12)). The page gives no time for it; the stand-in gives it five seconds. Under
// Wine, on a loaded machine, its teardown once hung for good after its windows had gone (COM's
// uninitialization can wait for calls still in progress, and a call that reached the stand-in as
// it closed waits for a message loop that has ended): past this time the process ends as it
// stands, saying so on stderr.
constexpr DWORD kTeardownMs = 5000;

DWORD WINAPI EndProcessAfterTeardownTime(void*) {
    ::Sleep(kTeardownMs);
    constexpr char kSaid[] = "OutlookStandin: teardown hung; the process ends as it stands\n";
    DWORD written = 0;
    ::WriteFile(::GetStdHandle(STD_ERROR_HANDLE), kSaid, sizeof kSaid - 1, &written, nullptr);
    ::TerminateProcess(::GetCurrentProcess(), 4);
    return 0;
}

void EndProcessIfTeardownHangs() {
    if (const HANDLE watchdog = ::CreateThread(nullptr, 0, EndProcessAfterTeardownTime, nullptr, 0, nullptr))
        ::CloseHandle(watchdog);
}

int Serve(standin::StartedBy startedBy) {
    SingleInstance instance;
    if (!instance.First()) {
        if (startedBy == standin::StartedBy::User) {
            if (HWND running = standin::FindRunningStandin()) {
                ::AllowSetForegroundWindow(ASFW_ANY);
                ::PostMessageW(running, standin::kShowWindow, 0, 0);
            }
        }
        return 0;
    }
    if (FAILED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return 1;
    int code = 1;
    {
        standin::LocalServer server(startedBy);
        code = server.Run();
        EndProcessIfTeardownHangs();
    }
    ::CoUninitialize();
    return code;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    int count = 0;
    wchar_t** args = ::CommandLineToArgvW(::GetCommandLineW(), &count);
    const std::vector<const wchar_t*> arg(args ? args + 1 : nullptr, args ? args + count : nullptr);
    int code = 0;
    if (arg.empty())
        code = Serve(standin::StartedBy::User);
    else if (Is(arg[0], L"Embedding"))
        code = Serve(standin::StartedBy::Com);
    else if (Is(arg[0], L"close"))
        code = EndRunning(WM_CLOSE);
    else if (Is(arg[0], L"crash"))
        code = EndRunning(standin::kCrash);
    else if (Is(arg[0], L"counters"))
        code = PrintCounters();
    else if (Is(arg[0], L"regserver"))
        code = FAILED(standin::RegisterServer(OwnPath())) ? 1 : 0;
    else if (Is(arg[0], L"unregserver"))
        code = FAILED(standin::UnregisterServer()) ? 1 : 0;
    else
        code = 2;
    if (args) ::LocalFree(args);
    return code;
}
