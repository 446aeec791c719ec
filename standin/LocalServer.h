// OutlookStandin.exe as a process, the way Outlook is one: a local COM server of
// "Outlook.Application" with one server state for every client, and a main window titled "Outlook
// stand-in".
//
// Started by COM ("-Embedding") it shows no window, never joins the Running Object Table and ends
// when its last client lets go, as Outlook started by automation does. Started by the user it
// shows its window, joins the Running Object Table only when that window is first deactivated
// (and its busy time is over), and runs until the window is closed; closing it (or "/close") ends
// the process whatever clients hold, after cutting every object off from its clients, as Outlook
// 2007 SP2 and later do. JoinsRot = 1 (a DWORD in HKCU\Software\OutlookStandin, read at the start)
// makes it join at the end of its start-up instead, in either start mode.
#pragma once
#include <windows.h>

#include <memory>

#include "standin/ServerState.h"

namespace standin {

// The visible main window of a stand-in the user started.
inline constexpr wchar_t kMainWindowClass[] = L"OutlookStandinMain";
inline constexpr wchar_t kMainWindowTitle[] = L"Outlook stand-in";
// Every stand-in process has a message-only control window, which "/close", "/counters" and a
// second start look for. Message-only, so that a COM-started process never waits for Wine's
// desktop, which may be closing just then.
inline constexpr wchar_t kControlWindowClass[] = L"OutlookStandinControl";
inline HWND FindRunningStandin() { return ::FindWindowExW(HWND_MESSAGE, nullptr, kControlWindowClass, nullptr); }
// Messages the control window answers for other processes.
inline constexpr UINT kPublishCounters = WM_APP + 1;  // writes the counters into kCountersKey, returns 1
inline constexpr UINT kShowWindow = WM_APP + 2;       // a user started the stand-in again
inline constexpr UINT kCrash = WM_APP + 4;            // ends the process as a crash does
inline constexpr wchar_t kCountersKey[] = L"Software\\OutlookStandin\\Counters";

enum class StartedBy { Com, User };

class LocalServer {
public:
    explicit LocalServer(StartedBy startedBy);
    ~LocalServer();
    LocalServer(const LocalServer&) = delete;
    LocalServer& operator=(const LocalServer&) = delete;

    // Registers the class, runs the message loop and returns the exit code.
    int Run();

private:
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wp, LPARAM lp);
    LRESULT Handle(UINT message, WPARAM wp, LPARAM lp);
    bool CreateControlWindow();
    void CreateMainWindow();
    void BecomeVisible();
    void MainWindowDeactivated();
    void JoinWhenDue();
    void JoinRunningObjectTable();
    void RejoinAfterGoingAway();
    void CloseAsTheUserDoes();
    [[noreturn]] void Crash();
    void EndWhenNoClientIsLeft();
    void Shutdown();
    void PublishCounters() const;

    // When the process joins the Running Object Table, fixed by how it was started.
    enum class RotEntry { AtEndOfStartUp, OnFirstDeactivation, Never };

    StartedBy startedBy_;
    RotEntry rotEntry_;
    bool deactivated_ = false;  // the main window has lost the focus since the start (or the last outage)
    std::shared_ptr<ServerState> server_;
    HWND window_ = nullptr;  // the control window
    HWND shown_ = nullptr;   // the main window, once the user started the stand-in
    DWORD classCookie_ = 0;
    DWORD rotCookie_ = 0;
    Microsoft::WRL::ComPtr<IDispatch> rotApplication_;
    unsigned rotGeneration_ = 0;
    bool shutDown_ = false;
};

}  // namespace standin
