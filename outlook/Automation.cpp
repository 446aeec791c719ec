#include "outlook/Automation.h"

#include <algorithm>
#include <utility>
#include <vector>

#include "toolkit/AnsiText.h"
#include "toolkit/UniqueHandle.h"

namespace hv::outlook {
namespace {

std::wstring SystemText(HRESULT hr) {
    toolkit::UniqueLocal<wchar_t*> buffer;
    // With FORMAT_MESSAGE_ALLOCATE_BUFFER the buffer argument is where the allocated text's address goes.
    const DWORD n =
        ::FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                         nullptr, static_cast<DWORD>(hr), 0, reinterpret_cast<wchar_t*>(buffer.put()), 0, nullptr);
    std::wstring text = n && buffer ? std::wstring(buffer.get(), n) : std::wstring();
    while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r' || text.back() == L' ')) text.pop_back();
    if (text.empty()) {
        wchar_t code[32];
        ::wsprintfW(code, L"Automation error 0x%08lX", static_cast<unsigned long>(hr));
        text = code;
    }
    return text;
}

// Takes the server's error out of an EXCEPINFO and frees its strings.
AutomationError FromException(HRESULT hr, EXCEPINFO& info) {
    if (info.pfnDeferredFillIn) info.pfnDeferredFillIn(&info);
    std::wstring description = info.bstrDescription ? std::wstring(info.bstrDescription) : std::wstring();
    HRESULT effective = hr;
    if (hr == DISP_E_EXCEPTION) {
        if (FAILED(info.scode))
            effective = info.scode;
        else if (info.wCode)
            effective = MAKE_HRESULT(SEVERITY_ERROR, FACILITY_CONTROL, info.wCode);
    }
    ::SysFreeString(info.bstrSource);
    ::SysFreeString(info.bstrDescription);
    ::SysFreeString(info.bstrHelpFile);
    info = EXCEPINFO{};
    if (description.empty()) description = SystemText(effective);
    return AutomationError(effective, description);
}

bool TurnedDown(HRESULT hr) { return hr == RPC_E_CALL_REJECTED || hr == RPC_E_SERVERCALL_RETRYLATER; }

// Makes the call, and again after a wait while a busy server turns it down (Wine hands the
// rejection back from the call itself rather than through the message filter), until the
// patience of the call is spent. Without a policy the call is made once.
template <class F>
HRESULT Attempt(const RetryPolicy* policy, F&& call) {
    for (;;) {
        const HRESULT hr = call();
        if (!policy || !TurnedDown(hr)) return hr;
        const DWORD left = policy->patienceLeftMs();
        if (left == 0) return hr;
        policy->wait(std::min(RetryPolicy::kWaitMs, left));
    }
}

DISPID IdOf(IDispatch* object, const wchar_t* name, const RetryPolicy* policy = nullptr) {
    if (!object) throw AutomationError(E_POINTER, L"Object variable not set.");
    DISPID id = DISPID_UNKNOWN;
    LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
    const HRESULT hr =
        Attempt(policy, [&] { return object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id); });
    if (FAILED(hr)) {
        if (hr == DISP_E_UNKNOWNNAME)
            throw AutomationError(hr, L"Object doesn't support this property or method: " + std::wstring(name));
        throw AutomationError(hr, SystemText(hr));
    }
    return id;
}

Variant InvokeId(IDispatch* object, DISPID id, WORD flags, std::initializer_list<Variant> args,
                 const RetryPolicy* policy = nullptr) {
    // DISPPARAMS takes the arguments last to first.
    std::vector<VARIANT> reversed(args.size());
    size_t i = args.size();
    for (const Variant& a : args) reversed[--i] = *a.get();  // shallow: `args` owns the contents
    DISPPARAMS params{reversed.data(), nullptr, static_cast<UINT>(reversed.size()), 0};
    DISPID putId = DISPID_PROPERTYPUT;
    if (flags == DISPATCH_PROPERTYPUT) {
        params.rgdispidNamedArgs = &putId;
        params.cNamedArgs = 1;
    }
    Variant result;
    EXCEPINFO info{};
    UINT argError = 0;
    const HRESULT hr = Attempt(policy, [&] {
        ::VariantClear(result.get());
        return object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params,
                              flags == DISPATCH_PROPERTYPUT ? nullptr : result.get(), &info, &argError);
    });
    if (hr == DISP_E_EXCEPTION) throw FromException(hr, info);
    if (FAILED(hr)) throw AutomationError(hr, SystemText(hr));
    return result;
}

}  // namespace

AutomationError::AutomationError(HRESULT hr, std::wstring description)
    : hr_(hr), description_(std::move(description)), what_(toolkit::ToUtf8(description_)) {}

bool AutomationError::ServerGone() const {
    // Only what a call into a server process that has ended, or is cutting its clients off, gives;
    // which one depends on when in the call it went. Outlook 2007 SP2 and later no longer wait for
    // external references before they close ("Application Shutdown Changes in Outlook 2007 SP2",
    // learn.microsoft.com/previous-versions/office/developer/office-2007/dd239276(v=office.12)). A
    // server closed by its user "calls CoDisconnectObject to forcibly disconnect an object's
    // clients", which makes new calls return CO_E_OBJNOTCONNECTED while earlier ones are still
    // under way ("CoDisconnectObject function", learn.microsoft.com/windows/win32/api/combaseapi/
    // nf-combaseapi-codisconnectobject); afterwards they fail with RPC_E_DISCONNECTED, and once
    // the process has ended with RPC_S_SERVER_UNAVAILABLE. Every other failure, a busy Outlook's
    // or a fault inside Outlook (RPC_E_SERVERFAULT) included, is Outlook's answer, not its absence.
    switch (static_cast<unsigned long>(hr_)) {
        case 0x80010108UL:  // RPC_E_DISCONNECTED
        case 0x80010007UL:  // RPC_E_SERVER_DIED
        case 0x80010012UL:  // RPC_E_SERVER_DIED_DNE
        case 0x800706BAUL:  // RPC_S_SERVER_UNAVAILABLE
        case 0x800706BEUL:  // RPC_S_CALL_FAILED
        case 0x800706BFUL:  // RPC_S_CALL_FAILED_DNE
        case 0x800401FDUL:  // CO_E_OBJNOTCONNECTED
            return true;
        default: return false;
    }
}

Variant::Variant(const wchar_t* text) : Variant(std::wstring(text)) {}

Variant::Variant(const std::wstring& text) {
    ::VariantInit(&v_);
    v_.vt = VT_BSTR;
    v_.bstrVal = ::SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
}

Variant::Variant(bool value) {
    ::VariantInit(&v_);
    v_.vt = VT_BOOL;
    v_.boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
}

Variant::Variant(int value) {
    ::VariantInit(&v_);
    v_.vt = VT_I4;
    v_.lVal = value;
}

Variant::Variant(IDispatch* object) {
    ::VariantInit(&v_);
    v_.vt = VT_DISPATCH;
    v_.pdispVal = object;
    if (object) object->AddRef();
}

Variant Variant::FromDate(DATE date) {
    Variant v;
    v.v_.vt = VT_DATE;
    v.v_.date = date;
    return v;
}

Variant::Variant(const Variant& other) {
    ::VariantInit(&v_);
    ::VariantCopy(&v_, const_cast<VARIANT*>(&other.v_));
}

Variant& Variant::operator=(const Variant& other) {
    if (this != &other) ::VariantCopy(&v_, const_cast<VARIANT*>(&other.v_));
    return *this;
}

bool Variant::IsNothing() const {
    if (v_.vt == VT_EMPTY || v_.vt == VT_NULL) return true;
    if (v_.vt == VT_DISPATCH) return v_.pdispVal == nullptr;
    if (v_.vt == VT_UNKNOWN) return v_.punkVal == nullptr;
    return false;
}

VARIANT Variant::Converted(VARTYPE type) const {
    VARIANT out;
    ::VariantInit(&out);
    const HRESULT hr = ::VariantChangeTypeEx(&out, const_cast<VARIANT*>(&v_), LOCALE_USER_DEFAULT, 0, type);
    if (FAILED(hr)) throw AutomationError(hr, L"Type mismatch");
    return out;
}

std::wstring Variant::AsString() const {
    VARIANT v = Converted(VT_BSTR);
    std::wstring text = v.bstrVal ? std::wstring(v.bstrVal, ::SysStringLen(v.bstrVal)) : std::wstring();
    ::VariantClear(&v);
    return text;
}

bool Variant::AsBool() const { return Converted(VT_BOOL).boolVal != VARIANT_FALSE; }

long Variant::AsLong() const { return Converted(VT_I4).lVal; }

DATE Variant::AsDate() const { return Converted(VT_DATE).date; }

Dispatch Variant::AsDispatch() const {
    if (IsNothing()) throw AutomationError(E_POINTER, L"Object variable not set.");
    Dispatch d;
    if (v_.vt == VT_DISPATCH)
        d = v_.pdispVal;
    else if (v_.vt == VT_UNKNOWN)
        v_.punkVal->QueryInterface(IID_PPV_ARGS(&d));
    if (!d) throw AutomationError(DISP_E_TYPEMISMATCH, L"Type mismatch");
    return d;
}

Variant DefaultValue(IDispatch* object) {
    if (!object) throw AutomationError(E_POINTER, L"Object variable not set.");
    return InvokeId(object, DISPID_VALUE, DISPATCH_PROPERTYGET | DISPATCH_METHOD, {});
}

std::wstring TypeName(IDispatch* object) {
    ComPtr<ITypeInfo> info;
    UINT count = 0;
    if (object && SUCCEEDED(object->GetTypeInfoCount(&count)) && count > 0 &&
        SUCCEEDED(object->GetTypeInfo(0, LOCALE_USER_DEFAULT, &info)) && info) {
        Bstr name;
        if (SUCCEEDED(info->GetDocumentation(MEMBERID_NIL, name.put(), nullptr, nullptr, nullptr)) && name.get()) {
            std::wstring text = name.str();
            if (!text.empty() && text[0] == L'_') text.erase(0, 1);  // "_Application" reads "Application"
            if (!text.empty()) return text;
        }
    }
    return L"Object";
}

// ---- AutomationClient ----

// Marks the first try of a call for as long as the call lasts (restoring the call it was made
// inside, if any), and holds the object called: a message handled while the call waits (Exit)
// may let go of every other reference to it.
class AutomationClient::CallInProgress {
public:
    CallInProgress(AutomationClient& client, IDispatch* object)
        : client_(client), object_(object), outer_(client.callStart_) {
        client_.callStart_ = client_.clockMs_();
    }
    ~CallInProgress() { client_.callStart_ = outer_; }
    CallInProgress(const CallInProgress&) = delete;
    CallInProgress& operator=(const CallInProgress&) = delete;

private:
    AutomationClient& client_;
    Dispatch object_;
    std::optional<ULONGLONG> outer_;
};

AutomationClient::AutomationClient(std::function<void(DWORD)> wait, std::function<ULONGLONG()> clockMs)
    : clockMs_(std::move(clockMs)), policy_{[this] { return PatienceLeftMs(); }, std::move(wait)} {}

AutomationClient::Patience::Patience(AutomationClient& client, DWORD ms) : client_(client), saved_(client.patienceMs_) {
    client_.patienceMs_ = ms;
}

AutomationClient::Patience::~Patience() { client_.patienceMs_ = saved_; }

DWORD AutomationClient::PatienceLeftMs(DWORD elapsedInTryMs) const {
    if (closed_) return 0;  // the program is ending: a waiting call gives up at once
    ULONGLONG elapsed = elapsedInTryMs;
    if (callStart_) elapsed = std::max(elapsed, clockMs_() - *callStart_);
    return elapsed >= patienceMs_ ? 0 : static_cast<DWORD>(patienceMs_ - elapsed);
}

void AutomationClient::Close() {
    closed_ = true;
    Forget();
}

void AutomationClient::Reopen() {
    closed_ = false;
    Forget();
}

void AutomationClient::Forget() {
    interfaces_.clear();
    typeInfos_.clear();
    ids_.clear();
}

void AutomationClient::ForgetObjects() { interfaces_.clear(); }

template <class F>
auto AutomationClient::Run(IDispatch* object, F&& call) {
    if (closed_) throw AutomationError(CO_E_OBJNOTCONNECTED, L"The connection to Outlook is closed.");
    if (!object) throw AutomationError(E_POINTER, L"Object variable not set.");
    const CallInProgress inProgress(*this, object);
    return call();
}

IUnknown* AutomationClient::InterfaceOf(IDispatch* object) {
    const auto known = interfaces_.find(object);
    if (known != interfaces_.end()) return known->second.second.Get();
    // The object's type information names its interface. COM hands out one proxy per server
    // object, so objects of one interface answer with the same type information object, whose
    // identity is the key of the cached DISPIDs. Objects without type information get none.
    ComPtr<IUnknown> identity;
    UINT count = 0;
    ComPtr<ITypeInfo> info;
    HRESULT hr = object->GetTypeInfoCount(&count);
    if (SUCCEEDED(hr) && count > 0) hr = object->GetTypeInfo(0, LOCALE_USER_DEFAULT, &info);
    if (TurnedDown(hr)) return nullptr;  // busy: asked again at the next call, after the waiting call
    if (closed_) return nullptr;         // closed while these calls waited: nothing is held after it
    if (SUCCEEDED(hr) && info) {
        info.As(&identity);
        typeInfos_.emplace(identity.Get(), identity);  // held, so that its address names no other interface
    }
    // The object is held too, for as long as the poll may meet it again.
    interfaces_[object] = {Dispatch(object), identity};
    return identity.Get();
}

DISPID AutomationClient::IdOf(IDispatch* object, const wchar_t* name) {
    IUnknown* type = InterfaceOf(object);
    if (!type) return outlook::IdOf(object, name, &policy_);
    const auto key = std::make_pair(type, std::wstring(name));
    const auto cached = ids_.find(key);
    if (cached != ids_.end()) return cached->second;
    const DISPID id = outlook::IdOf(object, name, &policy_);
    ids_.emplace(key, id);
    return id;
}

Variant AutomationClient::Get(IDispatch* object, const wchar_t* name, std::initializer_list<Variant> args) {
    return Run(object, [&] {
        return InvokeId(object, IdOf(object, name), DISPATCH_PROPERTYGET | DISPATCH_METHOD, args, &policy_);
    });
}

void AutomationClient::Put(IDispatch* object, const wchar_t* name, const Variant& value) {
    Run(object, [&] { InvokeId(object, IdOf(object, name), DISPATCH_PROPERTYPUT, {value}, &policy_); });
}

Variant AutomationClient::Call(IDispatch* object, const wchar_t* name, std::initializer_list<Variant> args) {
    return Run(object, [&] {
        return InvokeId(object, IdOf(object, name), DISPATCH_METHOD | DISPATCH_PROPERTYGET, args, &policy_);
    });
}

Variant AutomationClient::DefaultValue(IDispatch* object) {
    return Run(object,
               [&] { return InvokeId(object, DISPID_VALUE, DISPATCH_PROPERTYGET | DISPATCH_METHOD, {}, &policy_); });
}

}  // namespace hv::outlook
