#include "tests/support/BusyServer.h"

#include <objidl.h>

#include <gtest/gtest.h>

namespace hv::test {
namespace {

// The filter registered on this thread (CoRegisterMessageFilter hands back the one it replaces),
// put back at once; null when there is none.
Microsoft::WRL::ComPtr<IMessageFilter> RegisteredFilter() {
    Microsoft::WRL::ComPtr<IMessageFilter> filter;
    ::CoRegisterMessageFilter(nullptr, &filter);
    if (filter) ::CoRegisterMessageFilter(filter.Get(), nullptr);
    return filter;
}

class Proxy final : public IDispatch {
public:
    Proxy(std::shared_ptr<BusyServer> server, IDispatch* object) : server_(std::move(server)), object_(object) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
        if (!out) return E_POINTER;
        *out = riid == IID_IUnknown || riid == IID_IDispatch ? static_cast<IDispatch*>(this) : nullptr;
        if (!*out) return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG left = --references_;
        if (left == 0) delete this;
        return left;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
        return server_->Call([&] { return object_->GetTypeInfoCount(count); });
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID lcid, ITypeInfo** info) override {
        return server_->Call([&] { return object_->GetTypeInfo(index, lcid, info); });
    }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID lcid, DISPID* ids) override {
        return server_->Call([&] { return object_->GetIDsOfNames(riid, names, count, lcid, ids); });
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID riid, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
                                     EXCEPINFO* exception, UINT* argError) override {
        return server_->Call([&] {
            const HRESULT hr = object_->Invoke(id, riid, lcid, flags, params, result, exception, argError);
            if (SUCCEEDED(hr) && result && result->vt == VT_DISPATCH && result->pdispVal) {
                IDispatch* wrapped = server_->Wrap(result->pdispVal).Detach();
                result->pdispVal->Release();
                result->pdispVal = wrapped;
            }
            return hr;
        });
    }

private:
    ULONG references_ = 0;
    std::shared_ptr<BusyServer> server_;
    Microsoft::WRL::ComPtr<IDispatch> object_;
};

}  // namespace

Microsoft::WRL::ComPtr<IDispatch> BusyServer::Wrap(IDispatch* object) {
    return Microsoft::WRL::ComPtr<IDispatch>(new Proxy(shared_from_this(), object));
}

HRESULT BusyServer::WaitWhileBusy() {
    const ULONGLONG made = host_.ticks;
    for (int immediate = 0; host_.ticks < busyUntil_;) {
        const auto filter = RegisteredFilter();
        if (!filter) return RPC_E_CALL_REJECTED;  // no filter: the call is not tried again
        ++questions;
        const DWORD answer =
            filter->RetryRejectedCall(nullptr, static_cast<DWORD>(host_.ticks - made), SERVERCALL_RETRYLATER);
        if (answer == static_cast<DWORD>(-1)) return RPC_E_CALL_REJECTED;
        if (answer < 100) {
            if (++immediate > 1000) {
                ADD_FAILURE() << "the filter has the call tried again at once, again and again";
                return RPC_E_CALL_REJECTED;
            }
            continue;
        }
        if (atWait) atWait();
        if (HIWORD(::GetQueueStatus(QS_ALLINPUT)))
            filter->MessagePending(nullptr, static_cast<DWORD>(host_.ticks - made), PENDINGTYPE_TOPLEVEL);
        host_.ticks += answer;
    }
    return S_OK;
}

}  // namespace hv::test
