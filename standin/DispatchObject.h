// The base of every object the server hands out: reference counting, name lookup, type
// information and Invoke as an automation client expects them, with the fault plan, the call
// counters, "gone away", Outlook's conditions (busy, slow, guarded) and the count of client
// connections applied in one place. Derived objects only answer their members through Answer().
#pragma once
#include <windows.h>
#include <oaidl.h>
#include <wrl/client.h>

#include <atomic>
#include <memory>
#include <string>
#include <string_view>
#include <utility>

#include "standin/CivilTime.h"
#include "standin/ComSupport.h"
#include "standin/Kinds.h"

namespace standin {

class ServerState;
using Microsoft::WRL::ComPtr;

// What a member throws to fail its call: DISP_E_EXCEPTION with a description (and the EXCEPINFO's
// scode), or a bare HRESULT.
struct CallFailure {
    HRESULT hr = DISP_E_EXCEPTION;
    std::wstring description;
    HRESULT scode = E_FAIL;
};
[[noreturn]] void FailCall(std::wstring description);

// The arguments and the result of one Invoke. Positional arguments count from 0 in the order the
// client wrote them (DISPPARAMS holds them reversed).
class Call {
public:
    Call(WORD flags, DISPPARAMS* params, VARIANT* result, UINT* argErr)
        : flags_(flags), params_(params), result_(result), argErr_(argErr) {}

    bool IsPut() const { return (flags_ & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) != 0; }
    size_t Count() const { return params_->cArgs - params_->cNamedArgs; }
    // False when the argument is missing or left out (VT_ERROR with DISP_E_PARAMNOTFOUND).
    bool Given(size_t i) const;

    std::wstring Text(size_t i) const { return CoerceText(RawIndex(i)); }
    long Number(size_t i) const { return CoerceNumber(RawIndex(i)); }
    bool Flag(size_t i) const { return CoerceFlag(RawIndex(i)); }
    std::wstring PutText() const { return CoerceText(0); }
    long PutNumber() const { return CoerceNumber(0); }
    bool PutFlag() const { return CoerceFlag(0); }

    void ReturnText(std::wstring_view text);
    void ReturnNumber(long value);
    void ReturnFlag(bool value);
    void ReturnDate(Ticks localTime);
    void ReturnObject(ComPtr<IDispatch> object);
    void ReturnNothing() { ReturnObject(nullptr); }

private:
    UINT RawIndex(size_t i) const { return static_cast<UINT>(params_->cArgs - 1 - i); }
    void Coerce(UINT raw, VARTYPE type, Variant& out) const;
    std::wstring CoerceText(UINT raw) const;
    long CoerceNumber(UINT raw) const;
    bool CoerceFlag(UINT raw) const;

    WORD flags_;
    DISPPARAMS* params_;
    VARIANT* result_;
    UINT* argErr_;
};

// IExternalConnection: COM tells the object when a client in another process takes or lets go of
// a reference, which is how the local server knows that its last client has gone.
class DispatchObject : public IDispatch, public IExternalConnection {
public:
    DispatchObject(std::shared_ptr<ServerState> server, const KindInfo& kind);
    virtual ~DispatchObject();
    DispatchObject(const DispatchObject&) = delete;
    DispatchObject& operator=(const DispatchObject&) = delete;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override;
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID lcid, ITypeInfo** info) override;
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID lcid, DISPID* ids) override;
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID riid, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
                                     EXCEPINFO* exception, UINT* argErr) override;
    DWORD STDMETHODCALLTYPE AddConnection(DWORD type, DWORD reserved) override;
    DWORD STDMETHODCALLTYPE ReleaseConnection(DWORD type, DWORD reserved, BOOL lastReleaseCloses) override;

    const KindInfo& Kind() const { return kind_; }

protected:
    // Answers member `index` of the kind's table; the call's shape is already checked.
    virtual void Answer(int index, Call& call) = 0;

    ServerState& Server() const { return *server_; }
    const std::shared_ptr<ServerState>& SharedServer() const { return server_; }

    // A new object of the same server. Objects start with no references: the ComPtr takes the
    // first (ComPtr::Attach is not used, as its reference handling differs between SDKs).
    template <class T, class... Args>
    ComPtr<IDispatch> Make(Args&&... args) const {
        return ComPtr<IDispatch>(new T(server_, std::forward<Args>(args)...));
    }

private:
    HRESULT CheckShape(const MemberInfo& member, WORD flags, const DISPPARAMS* params) const;
    bool Disconnected() const;

    std::atomic<ULONG> refs_{0};
    DWORD connections_ = 0;  // strong references held in other processes
    std::shared_ptr<ServerState> server_;
    const KindInfo& kind_;
    unsigned generation_;
};

// Objects and locks of this module alive in the process, for DllCanUnloadNow.
std::atomic<long>& ModuleUsers();

}  // namespace standin
