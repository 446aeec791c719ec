#include "outlook/MessageFilter.h"

#include <algorithm>

#include "toolkit/Form.h"

namespace hv::outlook {

HRESULT BusyRetryFilter::QueryInterface(REFIID riid, void** out) {
    if (!out) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IMessageFilter) {
        *out = static_cast<IMessageFilter*>(this);
        return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
}

DWORD BusyRetryFilter::HandleInComingCall(DWORD, HTASK, DWORD, LPINTERFACEINFO) { return SERVERCALL_ISHANDLED; }

// IMessageFilter::RetryRejectedCall: a return of 100 or more has COM wait that many milliseconds
// and make the call again; -1 cancels it, and the call fails with RPC_E_CALL_REJECTED. COM counts
// the elapsed time from its own try only; a client that tries the call again gets a fresh count,
// so the patience left is the client's, measured from the call's first try. The last wait ends
// no later than the patience does.
DWORD BusyRetryFilter::RetryRejectedCall(HTASK, DWORD elapsedMs, DWORD rejectType) {
    const bool busy = rejectType == SERVERCALL_RETRYLATER || rejectType == SERVERCALL_REJECTED;
    const DWORD left = busy ? patienceLeftMs_(elapsedMs) : 0;
    if (left < kShortestWaitMs) return static_cast<DWORD>(-1);
    return std::min(kRetryAfterMs, left);
}

// While a call waits for Outlook the program stays responsive: the tray icon, its menu and an
// Exit sent by the installer are handled meanwhile (the code that waits copes with the session
// being closed under it). The keys go through the windows' keyboard handling as in the message
// loop: dispatched straight to a text box, an Esc typed during a scan was lost. A quit message is
// left for the message loop.
DWORD BusyRetryFilter::MessagePending(HTASK, DWORD, DWORD) {
    toolkit::LetPendingMessagesRun();
    return PENDINGMSG_WAITNOPROCESS;
}

MessageFilterRegistration::MessageFilterRegistration(IMessageFilter* filter) {
    registered_ = SUCCEEDED(::CoRegisterMessageFilter(filter, &previous_));
}

MessageFilterRegistration::~MessageFilterRegistration() {
    if (!registered_) return;
    IMessageFilter* ours = nullptr;
    ::CoRegisterMessageFilter(previous_, &ours);
    if (previous_) previous_->Release();  // the reference CoRegisterMessageFilter gave us
}

}  // namespace hv::outlook
