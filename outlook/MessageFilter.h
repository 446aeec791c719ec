// The message filter of the thread that calls Outlook. An Outlook that is busy (starting, loading
// its add-ins) turns calls down; COM then asks the caller's filter what to do. This one has COM
// wait a moment and try again for as long as the patience of the client's call lasts, then gives
// up (the call fails as before), and while a call waits lets the program's own messages run.
#pragma once
#include <windows.h>
#include <objidl.h>

#include <functional>

namespace hv::outlook {

class BusyRetryFilter final : public IMessageFilter {
public:
    static constexpr DWORD kRetryAfterMs = 250;
    // The shortest wait COM takes as a wait; an answer below it is a try at once.
    static constexpr DWORD kShortestWaitMs = 100;

    // `patienceLeftMs` tells what is left of the patience of the call in progress, given COM's
    // count of the milliseconds since its own try began (AutomationClient::PatienceLeftMs).
    explicit BusyRetryFilter(std::function<DWORD(DWORD)> patienceLeftMs) : patienceLeftMs_(std::move(patienceLeftMs)) {}
    BusyRetryFilter(const BusyRetryFilter&) = delete;
    BusyRetryFilter& operator=(const BusyRetryFilter&) = delete;

    // Its owner keeps it alive while it is registered: references are not counted.
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override;
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }

    DWORD STDMETHODCALLTYPE HandleInComingCall(DWORD type, HTASK caller, DWORD tickCount,
                                               LPINTERFACEINFO info) override;
    DWORD STDMETHODCALLTYPE RetryRejectedCall(HTASK callee, DWORD elapsedMs, DWORD rejectType) override;
    DWORD STDMETHODCALLTYPE MessagePending(HTASK callee, DWORD elapsedMs, DWORD pendingType) override;

private:
    std::function<DWORD(DWORD)> patienceLeftMs_;
};

// The filter registered on the calling thread for the registration's lifetime; the filter that
// was there before comes back afterwards.
class MessageFilterRegistration {
public:
    explicit MessageFilterRegistration(IMessageFilter* filter);
    ~MessageFilterRegistration();
    MessageFilterRegistration(const MessageFilterRegistration&) = delete;
    MessageFilterRegistration& operator=(const MessageFilterRegistration&) = delete;

private:
    IMessageFilter* previous_ = nullptr;
    bool registered_ = false;
};

}  // namespace hv::outlook
