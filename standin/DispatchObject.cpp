#include "standin/DispatchObject.h"

#include "standin/ServerState.h"

namespace standin {
namespace {

constexpr wchar_t kSource[] = L"Outlook stand-in";

bool IsRequested(WORD flags, WORD what) { return (flags & what) != 0; }

}  // namespace

std::atomic<long>& ModuleUsers() {
    // The one process-wide count that COM's unload protocol needs.
    static std::atomic<long> users{0};
    return users;
}

void FailCall(std::wstring description) { throw CallFailure{DISP_E_EXCEPTION, std::move(description)}; }

// ---- Call ----

bool Call::Given(size_t i) const {
    if (i >= Count()) return false;
    const VARIANT& v = params_->rgvarg[RawIndex(i)];
    return !(v.vt == VT_ERROR && v.scode == DISP_E_PARAMNOTFOUND);
}

void Call::Coerce(UINT raw, VARTYPE type, Variant& out) const {
    if (FAILED(::VariantChangeType(out.get(), &params_->rgvarg[raw], 0, type))) {
        if (argErr_) *argErr_ = raw;
        throw CallFailure{DISP_E_TYPEMISMATCH, {}};
    }
}

std::wstring Call::CoerceText(UINT raw) const {
    Variant v;
    Coerce(raw, VT_BSTR, v);
    return v->bstrVal ? std::wstring(v->bstrVal, ::SysStringLen(v->bstrVal)) : std::wstring();
}

long Call::CoerceNumber(UINT raw) const {
    Variant v;
    Coerce(raw, VT_I4, v);
    return v->lVal;
}

bool Call::CoerceFlag(UINT raw) const {
    Variant v;
    Coerce(raw, VT_BOOL, v);
    return v->boolVal != VARIANT_FALSE;
}

void Call::ReturnText(std::wstring_view text) {
    if (!result_) return;
    Bstr b(text);
    result_->vt = VT_BSTR;
    result_->bstrVal = b.release();
}

void Call::ReturnNumber(long value) {
    if (!result_) return;
    result_->vt = VT_I4;
    result_->lVal = value;
}

void Call::ReturnFlag(bool value) {
    if (!result_) return;
    result_->vt = VT_BOOL;
    result_->boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
}

void Call::ReturnDate(Ticks localTime) {
    if (!result_) return;
    result_->vt = VT_DATE;
    result_->date = ToOleDate(localTime);
}

void Call::ReturnObject(ComPtr<IDispatch> object) {
    if (!result_) return;
    result_->vt = VT_DISPATCH;
    result_->pdispVal = object.Detach();
}

// ---- DispatchObject ----

DispatchObject::DispatchObject(std::shared_ptr<ServerState> server, const KindInfo& kind)
    : server_(std::move(server)), kind_(kind), generation_(server_->Faults().Generation()) {
    server_->ObjectCreated(this);
    ++ModuleUsers();
}

DispatchObject::~DispatchObject() {
    server_->ObjectDestroyed(this);
    --ModuleUsers();
}

HRESULT DispatchObject::QueryInterface(REFIID riid, void** out) {
    if (!out) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IDispatch) {
        *out = static_cast<IDispatch*>(this);
        AddRef();
        return S_OK;
    }
    if (riid == IID_IExternalConnection) {
        *out = static_cast<IExternalConnection*>(this);
        AddRef();
        return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
}

ULONG DispatchObject::AddRef() { return ++refs_; }

ULONG DispatchObject::Release() {
    const ULONG left = --refs_;
    if (left == 0) delete this;
    return left;
}

HRESULT DispatchObject::GetTypeInfoCount(UINT* count) {
    if (!count) return E_POINTER;
    *count = 0;
    if (const HRESULT hr = server_->BeforeCall(); FAILED(hr)) return hr;
    *count = 1;
    return S_OK;
}

HRESULT DispatchObject::GetTypeInfo(UINT index, LCID, ITypeInfo** info) {
    if (!info) return E_POINTER;
    *info = nullptr;
    if (const HRESULT hr = server_->BeforeCall(); FAILED(hr)) return hr;
    if (index != 0) return DISP_E_BADINDEX;
    try {
        ComPtr<ITypeInfo> type = server_->TypeInfoFor(kind_);
        if (!type) return E_UNEXPECTED;
        *info = type.Detach();
        return S_OK;
    } catch (const std::bad_alloc&) { return E_OUTOFMEMORY; }
}

DWORD DispatchObject::AddConnection(DWORD type, DWORD) {
    if (type & EXTCONN_STRONG) {
        if (connections_++ == 0) server_->ClientTookHold();
    }
    return connections_;
}

DWORD DispatchObject::ReleaseConnection(DWORD type, DWORD, BOOL) {
    if ((type & EXTCONN_STRONG) && connections_ > 0) {
        if (--connections_ == 0) server_->ClientLetGo();
    }
    return connections_;
}

bool DispatchObject::Disconnected() const { return generation_ != server_->Faults().Generation(); }

HRESULT DispatchObject::GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID, DISPID* ids) {
    if (riid != IID_NULL) return DISP_E_UNKNOWNINTERFACE;
    if (!names || !ids || count == 0) return E_INVALIDARG;
    if (const HRESULT hr = server_->BeforeCall(); FAILED(hr)) return hr;
    if (Disconnected()) return RPC_E_DISCONNECTED;
    server_->Counting().CountNameLookup();
    for (UINT i = 0; i < count; ++i) ids[i] = DISPID_UNKNOWN;
    const int index = names[0] ? kinds::MemberIndex(kind_, names[0]) : -1;
    if (index < 0) return DISP_E_UNKNOWNNAME;
    ids[0] = index + 1;
    return count == 1 ? S_OK : DISP_E_UNKNOWNNAME;  // no member takes named arguments
}

HRESULT DispatchObject::CheckShape(const MemberInfo& member, WORD flags, const DISPPARAMS* params) const {
    if ((params->cArgs > 0 && !params->rgvarg) || params->cNamedArgs > params->cArgs) return E_INVALIDARG;
    const bool put = IsRequested(flags, DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF);
    switch (member.access) {
        case Access::Method:
            if (put || !IsRequested(flags, DISPATCH_METHOD | DISPATCH_PROPERTYGET)) return DISP_E_MEMBERNOTFOUND;
            break;
        case Access::Get:
            if (put || !IsRequested(flags, DISPATCH_PROPERTYGET)) return DISP_E_MEMBERNOTFOUND;
            break;
        case Access::GetPut:
            if (!put && !IsRequested(flags, DISPATCH_PROPERTYGET)) return DISP_E_MEMBERNOTFOUND;
            break;
    }
    if (put) {
        if (params->cNamedArgs != 1 || !params->rgdispidNamedArgs ||
            params->rgdispidNamedArgs[0] != DISPID_PROPERTYPUT) {
            return DISP_E_PARAMNOTFOUND;
        }
        if (params->cArgs != 1) return DISP_E_BADPARAMCOUNT;
        return S_OK;
    }
    if (params->cNamedArgs != 0) return DISP_E_NONAMEDARGS;
    const int positional = static_cast<int>(params->cArgs);
    if (positional < member.minArgs || positional > member.maxArgs) return DISP_E_BADPARAMCOUNT;
    return S_OK;
}

HRESULT DispatchObject::Invoke(DISPID id, REFIID riid, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                               EXCEPINFO* exception, UINT* argErr) {
    if (riid != IID_NULL) return DISP_E_UNKNOWNINTERFACE;
    if (const HRESULT hr = server_->BeforeCall(); FAILED(hr)) return hr;
    if (Disconnected()) return RPC_E_DISCONNECTED;
    const int index = id == DISPID_VALUE ? kind_.defaultMember : static_cast<int>(id) - 1;
    if (index < 0 || index >= static_cast<int>(kind_.members.size())) return DISP_E_MEMBERNOTFOUND;
    const MemberInfo& member = kind_.members[static_cast<size_t>(index)];
    server_->Counting().CountCall(kind_.name, member.name);
    server_->Faults().RunHooks(kind_.name, member.name);

    DISPPARAMS none{nullptr, nullptr, 0, 0};
    if (!params) params = &none;
    if (const HRESULT shape = CheckShape(member, flags, params); FAILED(shape)) return shape;
    if (result) ::VariantInit(result);

    CallFailure failure;
    if (auto planned = server_->Faults().FailureFor(kind_.name, member.name)) {
        failure.description = std::move(planned->description);
        failure.scode = planned->scode;
    } else {
        try {
            Call call(flags, params, result, argErr);
            server_->Guarded(kind_.name, member.name, call.IsPut());
            Answer(index, call);
            return S_OK;
        } catch (const CallFailure& f) { failure = f; } catch (const std::bad_alloc&) {
            failure = {E_OUTOFMEMORY, {}};
        } catch (...) { failure = {E_UNEXPECTED, {}}; }
    }
    if (result) ::VariantClear(result);
    if (failure.hr == DISP_E_EXCEPTION && exception) {
        *exception = EXCEPINFO{};
        exception->bstrSource = ::SysAllocString(kSource);
        exception->bstrDescription = ::SysAllocString(failure.description.c_str());
        exception->scode = failure.scode;
    }
    return failure.hr;
}

}  // namespace standin
