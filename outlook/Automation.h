// Late-bound automation on IDispatch: properties and methods called by name, arguments and results
// as VARIANTs, every failure turned into one exception type that carries the HRESULT and the
// server's own description.
#pragma once
#include <windows.h>
#include <oleauto.h>
#include <wrl/client.h>

#include <exception>
#include <functional>
#include <initializer_list>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "toolkit/ComOwners.h"

namespace hv::outlook {

using Microsoft::WRL::ComPtr;
using Dispatch = ComPtr<IDispatch>;
using toolkit::Bstr;

// A failed automation call: the HRESULT and the description the server gave (or the system's
// text for the HRESULT when it gave none).
class AutomationError : public std::exception {
public:
    AutomationError(HRESULT hr, std::wstring description);
    HRESULT Result() const { return hr_; }
    const std::wstring& Description() const { return description_; }
    const char* what() const noexcept override { return what_.c_str(); }
    // The server has gone away (the process ended or the connection broke).
    bool ServerGone() const;

private:
    HRESULT hr_;
    std::wstring description_;
    std::string what_;
};

// An owned VARIANT, copyable (VariantCopy), with typed constructors and checked conversions.
class Variant {
public:
    Variant() { ::VariantInit(&v_); }
    Variant(const wchar_t* text);
    Variant(const std::wstring& text);
    Variant(bool value);
    Variant(int value);
    Variant(IDispatch* object);
    static Variant FromDate(DATE date);
    Variant(const Variant& other);
    Variant& operator=(const Variant& other);
    ~Variant() { ::VariantClear(&v_); }

    VARIANT* get() { return &v_; }
    const VARIANT* get() const { return &v_; }
    VARTYPE Type() const { return v_.vt; }

    // An empty reference: Empty, Null, or an object variant without an object.
    bool IsNothing() const;
    // Conversions as automation does them (VariantChangeType); a failure throws AutomationError.
    std::wstring AsString() const;
    bool AsBool() const;
    long AsLong() const;
    DATE AsDate() const;
    Dispatch AsDispatch() const;

private:
    VARIANT Converted(VARTYPE type) const;
    VARIANT v_;
};

// Reads the object's default member (DISPID_VALUE).
Variant DefaultValue(IDispatch* object);
// The object's type name as its type information gives it, or "Object" when it has none.
std::wstring TypeName(IDispatch* object);

// How a call that a busy server turns down (RPC_E_CALL_REJECTED, RPC_E_SERVERCALL_RETRYLATER) is
// made again: after a wait, for as long as the call's patience lasts.
struct RetryPolicy {
    static constexpr DWORD kWaitMs = 250;
    std::function<DWORD()> patienceLeftMs;
    std::function<void(DWORD)> wait;
};

// The automation client of a session with Outlook: calls as Get/Put/Call above, with the DISPID of
// each member looked up once per interface (the object's type information tells the interface;
// no DISPID is shared between objects of different interfaces), and calls that a busy Outlook
// turns down made again until the patience is spent. The patience of a call is measured on the
// client's clock from its first try, time spent inside the call included, whoever tries again:
// the client itself, or COM through the thread's message filter (PatienceLeftMs). Once closed,
// every call fails.
class AutomationClient {
public:
    static constexpr DWORD kPatienceWhileOpening = 60000;
    static constexpr DWORD kPatienceAfterOpening = 10000;

    // `wait` blocks for that many milliseconds; `clockMs` is a clock that only goes forward.
    AutomationClient(std::function<void(DWORD)> wait, std::function<ULONGLONG()> clockMs);
    AutomationClient(const AutomationClient&) = delete;
    AutomationClient& operator=(const AutomationClient&) = delete;

    Variant Get(IDispatch* object, const wchar_t* name, std::initializer_list<Variant> args = {});
    void Put(IDispatch* object, const wchar_t* name, const Variant& value);
    Variant Call(IDispatch* object, const wchar_t* name, std::initializer_list<Variant> args = {});
    Variant DefaultValue(IDispatch* object);

    // The patience for as long as the object lives (the session's opening waits longest).
    class Patience {
    public:
        Patience(AutomationClient& client, DWORD ms);
        ~Patience();
        Patience(const Patience&) = delete;
        Patience& operator=(const Patience&) = delete;

    private:
        AutomationClient& client_;
        DWORD saved_;
    };
    DWORD PatienceMs() const { return patienceMs_; }
    // What is left of the patience of the call in progress (the innermost one, when a call is
    // made while another waits), at least `elapsedInTryMs` (COM's count since its own try began)
    // having passed; without a call in progress, the patience less that count. 0 once closed.
    DWORD PatienceLeftMs(DWORD elapsedInTryMs = 0) const;

    // Lets go of the objects met so far (each poll meets new ones); the DISPIDs stay.
    void ForgetObjects();
    // Ends the session: every later call fails, and nothing is remembered.
    void Close();
    // A new session (Outlook may be another process now): nothing of the last one is remembered.
    void Reopen();
    bool Closed() const { return closed_; }

private:
    class CallInProgress;
    template <class F>
    auto Run(IDispatch* object, F&& call);
    void Forget();
    IUnknown* InterfaceOf(IDispatch* object);
    DISPID IdOf(IDispatch* object, const wchar_t* name);

    DWORD patienceMs_ = kPatienceAfterOpening;
    std::function<ULONGLONG()> clockMs_;
    RetryPolicy policy_;
    std::optional<ULONGLONG> callStart_;  // the first try of the call in progress
    bool closed_ = false;
    std::map<IDispatch*, std::pair<Dispatch, ComPtr<IUnknown>>> interfaces_;
    std::map<IUnknown*, ComPtr<IUnknown>> typeInfos_;
    std::map<std::pair<IUnknown*, std::wstring>, DISPID> ids_;
};

}  // namespace hv::outlook
