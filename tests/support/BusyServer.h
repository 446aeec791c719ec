// An out-of-process server as a client on Windows sees it through COM's proxy while the server
// turns calls down because it is busy. Wine never consults the client's message filter; this fake
// follows COM's documented contract instead ("IMessageFilter::RetryRejectedCall method (objidl.h)",
// https://learn.microsoft.com/en-us/windows/win32/api/objidl/nf-objidl-imessagefilter-retryrejectedcall):
// while the server is busy, each call asks the thread's registered filter RetryRejectedCall with
// the milliseconds elapsed since that call was made and SERVERCALL_RETRYLATER, again and again.
// -1 cancels the call, which fails with RPC_E_CALL_REJECTED; 0 to 99 tries it again at once; 100
// or more waits that many milliseconds and tries again. The waits move the test's tick count on,
// so no real time passes. A message queued during a wait is offered to the filter's
// MessagePending, as COM does. Every object the server hands out comes through a proxy too.
#pragma once
#include <windows.h>
#include <oaidl.h>
#include <wrl/client.h>

#include <functional>
#include <memory>

#include "tests/support/ScriptedHost.h"

namespace hv::test {

class BusyServer : public std::enable_shared_from_this<BusyServer> {
public:
    explicit BusyServer(ScriptedHost& host) : host_(host) {}

    // `object` of the real server, as the client reaches it through the proxy.
    Microsoft::WRL::ComPtr<IDispatch> Wrap(IDispatch* object);
    // Busy from now on for that long (0: free again).
    void BusyFor(ULONGLONG ms) { busyUntil_ = host_.ticks + ms; }
    void BusyForGood() { busyUntil_ = ~0ull; }

    // Runs before each wait; a test posts its message here.
    std::function<void()> atWait;
    // RetryRejectedCall questions asked so far.
    int questions = 0;

    // The call made through the proxy: made once the server is free, or failed as COM fails it.
    template <class F>
    HRESULT Call(F&& call) {
        const HRESULT hr = WaitWhileBusy();
        return FAILED(hr) ? hr : call();
    }

private:
    HRESULT WaitWhileBusy();
    ScriptedHost& host_;
    ULONGLONG busyUntil_ = 0;
};

}  // namespace hv::test
