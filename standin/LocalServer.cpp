#include "standin/LocalServer.h"

#include <objbase.h>
#include <oleauto.h>

#include <new>
#include <string>

#include "standin/RegistryControls.h"
#include "standin/Standin.h"

namespace standin {
namespace {

using Microsoft::WRL::ComPtr;

constexpr UINT kClientsGone = WM_APP + 3;
constexpr UINT_PTR kRotTimer = 1;
constexpr UINT_PTR kDeliveryTimer = 2;
constexpr UINT kDeliveryEveryMs = 200;

// Every client that creates "Outlook.Application" gets an Application of the one server state of
// this process (REGCLS_MULTIPLEUSE: a client attaches to the running process).
class ClassFactory final : public IClassFactory {
public:
    explicit ClassFactory(std::shared_ptr<ServerState> server) : server_(std::move(server)) {}
    ClassFactory(const ClassFactory&) = delete;
    ClassFactory& operator=(const ClassFactory&) = delete;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
        if (!out) return E_POINTER;
        if (riid == IID_IUnknown || riid == IID_IClassFactory) {
            *out = static_cast<IClassFactory*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG left = --refs_;
        if (left == 0) delete this;
        return left;
    }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (outer) return CLASS_E_NOAGGREGATION;
        try {
            return server_->CreateApplication()->QueryInterface(riid, out);
        } catch (const std::bad_alloc&) { return E_OUTOFMEMORY; } catch (...) {
            return E_UNEXPECTED;
        }
    }
    // A lock holds the process as a client's reference does.
    HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override {
        if (lock)
            server_->ClientTookHold();
        else
            server_->ClientLetGo();
        return S_OK;
    }

private:
    ULONG refs_ = 1;
    std::shared_ptr<ServerState> server_;
};

// JoinsRot = 1 in the settings key: join the Running Object Table at the end of start-up.
bool JoinsAtEndOfStartUp() {
    DWORD value = 0, bytes = sizeof value;
    return ::RegGetValueW(HKEY_CURRENT_USER, kSettingsKey, L"JoinsRot", RRF_RT_REG_DWORD, nullptr, &value, &bytes) ==
               ERROR_SUCCESS &&
           value == 1;
}

std::wstring Shown(const std::wstring& path, const wchar_t* none) { return path.empty() ? std::wstring(none) : path; }

void SetNumber(HKEY key, const std::wstring& name, long value) {
    const DWORD number = static_cast<DWORD>(value);
    ::RegSetValueExW(key, name.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number), sizeof number);
}

}  // namespace

LocalServer::LocalServer(StartedBy startedBy)
    : startedBy_(startedBy),
      rotEntry_(JoinsAtEndOfStartUp()          ? RotEntry::AtEndOfStartUp
                : startedBy == StartedBy::User ? RotEntry::OnFirstDeactivation
                                               : RotEntry::Never) {
    Config config = ReadConfigFromRegistry();
    config.followRegistryControls = true;
    server_ = std::static_pointer_cast<ServerState>(CreateServer(std::move(config)));
    server_->onClientsGone = [this] {
        if (window_) ::PostMessageW(window_, kClientsGone, 0, 0);
    };
    // At once, so that a client that attaches again right after finds the working Application.
    server_->onGoneAway = [this] { RejoinAfterGoingAway(); };
}

LocalServer::~LocalServer() {
    server_->onClientsGone = nullptr;
    server_->onGoneAway = nullptr;
}

bool LocalServer::CreateControlWindow() {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = WindowProc;
    wc.hInstance = ::GetModuleHandleW(nullptr);
    wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    wc.hIcon = ::LoadIconW(nullptr, IDI_APPLICATION);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = kControlWindowClass;
    if (!::RegisterClassExW(&wc)) return false;
    wc.lpszClassName = kMainWindowClass;
    if (!::RegisterClassExW(&wc)) return false;
    window_ = ::CreateWindowExW(0, kControlWindowClass, kMainWindowTitle, 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                wc.hInstance, this);
    return window_ != nullptr;
}

void LocalServer::CreateMainWindow() {
    const HINSTANCE instance = ::GetModuleHandleW(nullptr);
    shown_ = ::CreateWindowExW(0, kMainWindowClass, kMainWindowTitle,
                               WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX, CW_USEDEFAULT, CW_USEDEFAULT,
                               560, 130, nullptr, nullptr, instance, this);
    if (!shown_) return;
    const std::wstring lines = L"Calendar file:  " +
                               Shown(server_->Settings().calendarFile, L"(none: an empty calendar)") +
                               L"\r\nOutbox folder:  " + server_->OutboxFolder();
    HWND text = ::CreateWindowExW(0, L"STATIC", lines.c_str(), WS_CHILD | WS_VISIBLE | SS_LEFT | SS_NOPREFIX, 12, 12,
                                  530, 60, shown_, nullptr, instance, nullptr);
    ::SendMessageW(text, WM_SETFONT, reinterpret_cast<WPARAM>(::GetStockObject(DEFAULT_GUI_FONT)), FALSE);
}

int LocalServer::Run() {
    if (!CreateControlWindow()) return 1;
    auto* factory = new (std::nothrow) ClassFactory(server_);
    if (!factory) return 1;
    const HRESULT registered =
        ::CoRegisterClassObject(kApplicationClsid, factory, CLSCTX_LOCAL_SERVER, REGCLS_MULTIPLEUSE, &classCookie_);
    factory->Release();
    if (FAILED(registered)) return 1;
    if (startedBy_ == StartedBy::User) BecomeVisible();
    // Outlook sends what its Outbox holds when it starts.
    server_->DeliverDue(true);
    ::SetTimer(window_, kDeliveryTimer, kDeliveryEveryMs, nullptr);
    JoinWhenDue();
    MSG msg;
    while (::GetMessageW(&msg, nullptr, 0, 0) > 0) {
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
    Shutdown();
    return 0;
}

void LocalServer::BecomeVisible() {
    startedBy_ = StartedBy::User;
    if (!shown_) CreateMainWindow();
    if (!shown_) return;
    ::ShowWindow(shown_, SW_SHOWNORMAL);
    ::SetForegroundWindow(shown_);
}

// Office applications join the Running Object Table late. Microsoft's article "GetObject or
// GetActiveObject cannot find a running Office application" (KB 238610, support.microsoft.com/
// help/238610): "When an Office application starts, it does not immediately register its running
// objects. [...] Instead of registering at startup, an Office application registers its running
// objects in the ROT once it loses focus." So a user's stand-in joins when its main window is first
// deactivated, and, read strictly, not before its busy time (Outlook loading its add-ins) is over
// if that is later. The article speaks of an application the user started; one started by COM
// has no window to lose the focus, and read strictly it never joins, even when the user shows it
// later. JoinsRot = 1 joins at the end of start-up, in either start mode.
void LocalServer::JoinWhenDue() {
    switch (rotEntry_) {
        case RotEntry::AtEndOfStartUp: JoinRunningObjectTable(); break;
        case RotEntry::OnFirstDeactivation:
            if (deactivated_) JoinRunningObjectTable();
            break;
        case RotEntry::Never: break;
    }
}

void LocalServer::MainWindowDeactivated() {
    deactivated_ = true;
    JoinWhenDue();
}

// Weakly: the table's entry does not keep the process alive. While the server is busy the entry
// waits for the end of the busy time.
void LocalServer::JoinRunningObjectTable() {
    if (rotCookie_ || shutDown_) return;
    if (const ULONGLONG busy = server_->BusyForMs()) {
        ::SetTimer(window_, kRotTimer, static_cast<UINT>(busy), nullptr);
        return;
    }
    ::KillTimer(window_, kRotTimer);
    rotApplication_ = server_->CreateApplication();
    rotGeneration_ = server_->Faults().Generation();
    if (FAILED(::RegisterActiveObject(rotApplication_.Get(), kApplicationClsid, ACTIVEOBJECT_WEAK, &rotCookie_))) {
        rotCookie_ = 0;
    }
}

// A server that went away (Disconnect) stands for an Outlook that ended and was started again: its
// entry leaves the table, and the new "Outlook" joins as one just started would (with JoinsRot at
// once, as a user's after its window next loses the focus, one started by COM never).
void LocalServer::RejoinAfterGoingAway() {
    if (rotCookie_ && rotGeneration_ == server_->Faults().Generation()) return;
    if (rotCookie_) ::RevokeActiveObject(rotCookie_, nullptr);
    rotCookie_ = 0;
    rotApplication_.Reset();
    deactivated_ = false;
    JoinWhenDue();
}

void LocalServer::CloseAsTheUserDoes() {
    Shutdown();
    // Clients' references fail from now on, whatever they hold.
    server_->DisconnectAll();
    if (shown_) ::DestroyWindow(shown_);
    ::DestroyWindow(window_);
}

// As if the process crashed: it ends at once, and its clients' references fail as references into
// a process that is gone. Its class registration is taken back first, as Windows does for a server
// that died; Wine keeps a killed server's registration, and creating the class then fails until
// the Wine server restarts.
void LocalServer::Crash() {
    Shutdown();
    ::TerminateProcess(::GetCurrentProcess(), 3);
    for (;;) ::Sleep(INFINITE);
}

void LocalServer::EndWhenNoClientIsLeft() {
    if (startedBy_ == StartedBy::User || server_->ObjectsHeldByClients() > 0) return;
    Shutdown();
    ::DestroyWindow(window_);
}

void LocalServer::Shutdown() {
    if (shutDown_) return;
    shutDown_ = true;
    if (classCookie_) ::CoRevokeClassObject(classCookie_);
    classCookie_ = 0;
    if (rotCookie_) ::RevokeActiveObject(rotCookie_, nullptr);
    rotCookie_ = 0;
    rotApplication_.Reset();
}

void LocalServer::PublishCounters() const {
    ::RegDeleteTreeW(HKEY_CURRENT_USER, kCountersKey);
    HKEY key = nullptr;
    if (::RegCreateKeyExW(HKEY_CURRENT_USER, kCountersKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr) !=
        ERROR_SUCCESS) {
        return;
    }
    const Counters& count = server_->Count();
    for (const auto& [member, calls] : count.AllCalls()) SetNumber(key, member, calls);
    SetNumber(key, L"TotalCalls", count.TotalCalls());
    SetNumber(key, L"GetIDsOfNames", count.NameLookups());
    SetNumber(key, L"RejectedCalls", count.RejectedCalls());
    SetNumber(key, L"LiveObjects", count.LiveObjects());
    SetNumber(key, L"HeldByClients", server_->ObjectsHeldByClients());
    SetNumber(key, L"QueuedMessages", static_cast<long>(server_->QueuedMessages()));
    SetNumber(key, L"ProcessId", static_cast<long>(::GetCurrentProcessId()));
    ::RegCloseKey(key);
}

LRESULT CALLBACK LocalServer::WindowProc(HWND window, UINT message, WPARAM wp, LPARAM lp) {
    if (message == WM_NCCREATE) {
        ::SetWindowLongPtrW(window, GWLP_USERDATA,
                            reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCTW*>(lp)->lpCreateParams));
    }
    auto* self = reinterpret_cast<LocalServer*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
    if (self && self->shown_ == window) {
        if (message == WM_CLOSE) return self->Handle(message, wp, lp);
        if (message == WM_DESTROY) self->shown_ = nullptr;
        if (message == WM_ACTIVATE && LOWORD(wp) == WA_INACTIVE) self->MainWindowDeactivated();
    }
    if (!self || self->window_ != window) return ::DefWindowProcW(window, message, wp, lp);
    return self->Handle(message, wp, lp);
}

LRESULT LocalServer::Handle(UINT message, WPARAM wp, LPARAM lp) {
    switch (message) {
        case WM_TIMER:
            if (wp == kRotTimer) {
                ::KillTimer(window_, kRotTimer);  // set again when the server is still busy
                JoinWhenDue();
            }
            if (wp == kDeliveryTimer) server_->DeliverDue();
            return 0;
        case kClientsGone: EndWhenNoClientIsLeft(); return 0;
        case kShowWindow: BecomeVisible(); return 0;
        case kCrash: Crash();
        case kPublishCounters: PublishCounters(); return 1;
        case WM_CLOSE: CloseAsTheUserDoes(); return 0;
        case WM_DESTROY:
            window_ = nullptr;
            ::PostQuitMessage(0);
            return 0;
    }
    return ::DefWindowProcW(window_, message, wp, lp);
}

}  // namespace standin
