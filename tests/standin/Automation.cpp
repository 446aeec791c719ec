#include "tests/standin/Automation.h"

#include <oleauto.h>

#include <cstdio>
#include <cwchar>

namespace hv::test {
namespace {

std::string Narrow(const std::wstring& text) {
    std::string out;
    for (wchar_t c : text) out += c < 128 ? static_cast<char>(c) : '?';
    return out;
}

std::wstring Take(BSTR& b) {
    std::wstring out = b ? std::wstring(b, ::SysStringLen(b)) : std::wstring();
    ::SysFreeString(b);
    b = nullptr;
    return out;
}

void Coerce(VARIANT& v, VARTYPE type) {
    if (v.vt == type) return;
    throw AutomationError(DISP_E_TYPEMISMATCH, L"unexpected result type " + std::to_wstring(v.vt), L"test");
}

}  // namespace

AutomationError::AutomationError(HRESULT h, std::wstring desc, std::wstring src)
    : std::runtime_error("automation call failed: hr=" + std::to_string(static_cast<unsigned long>(h)) + " " +
                         Narrow(desc)),
      hr(h),
      description(std::move(desc)),
      source(std::move(src)) {}

Arg::Arg(const wchar_t* text) {
    ::VariantInit(&v_);
    v_.vt = VT_BSTR;
    v_.bstrVal = ::SysAllocString(text);
}

Arg::Arg(long number) {
    ::VariantInit(&v_);
    v_.vt = VT_I4;
    v_.lVal = number;
}

Arg::Arg(bool flag) {
    ::VariantInit(&v_);
    v_.vt = VT_BOOL;
    v_.boolVal = flag ? VARIANT_TRUE : VARIANT_FALSE;
}

Arg Arg::Missing() {
    Arg a;
    a.v_.vt = VT_ERROR;
    a.v_.scode = DISP_E_PARAMNOTFOUND;
    return a;
}

Arg::Arg(const Arg& other) {
    ::VariantInit(&v_);
    ::VariantCopy(&v_, const_cast<VARIANT*>(&other.v_));
}

Arg::~Arg() { ::VariantClear(&v_); }

HRESULT TryInvoke(IDispatch* object, const std::wstring& name, WORD flags, const std::vector<Arg>& args, Outcome& out) {
    DISPID id = DISPID_UNKNOWN;
    LPOLESTR names[] = {const_cast<LPOLESTR>(name.c_str())};
    out.hr = object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
    if (FAILED(out.hr)) return out.hr;
    std::vector<VARIANT> reversed(args.size());
    for (size_t i = 0; i < args.size(); ++i) reversed[args.size() - 1 - i] = args[i].get();  // shallow: args own them
    DISPID putId = DISPID_PROPERTYPUT;
    DISPPARAMS params{reversed.data(), nullptr, static_cast<UINT>(reversed.size()), 0};
    if (flags & DISPATCH_PROPERTYPUT) {
        params.rgdispidNamedArgs = &putId;
        params.cNamedArgs = 1;
    }
    EXCEPINFO info{};
    ::VariantClear(&out.value);
    out.hr = object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params, &out.value, &info, &out.argErr);
    out.description = Take(info.bstrDescription);
    out.source = Take(info.bstrSource);
    out.scode = info.scode;
    ::SysFreeString(info.bstrHelpFile);
    return out.hr;
}

void Call(IDispatch* object, const std::wstring& name, const std::vector<Arg>& args, VARIANT& result) {
    if (!object) throw AutomationError(E_POINTER, L"call of " + name + L" on Nothing", L"test");
    Outcome out;
    if (FAILED(TryInvoke(object, name, DISPATCH_METHOD | DISPATCH_PROPERTYGET, args, out))) {
        throw AutomationError(out.hr, out.description, out.source);
    }
    ::VariantClear(&result);
    result = out.value;
    ::VariantInit(&out.value);
}

void Perform(IDispatch* object, const std::wstring& name, const std::vector<Arg>& args) {
    VARIANT v;
    ::VariantInit(&v);
    Call(object, name, args, v);
    ::VariantClear(&v);
}

ComPtr<IDispatch> Object(IDispatch* object, const std::wstring& name, const std::vector<Arg>& args) {
    VARIANT v;
    ::VariantInit(&v);
    Call(object, name, args, v);
    Coerce(v, VT_DISPATCH);
    ComPtr<IDispatch> out = v.pdispVal;  // takes its own reference
    ::VariantClear(&v);
    return out;
}

std::wstring Text(IDispatch* object, const std::wstring& name, const std::vector<Arg>& args) {
    VARIANT v;
    ::VariantInit(&v);
    Call(object, name, args, v);
    Coerce(v, VT_BSTR);
    return Take(v.bstrVal);
}

long Number(IDispatch* object, const std::wstring& name, const std::vector<Arg>& args) {
    VARIANT v;
    ::VariantInit(&v);
    Call(object, name, args, v);
    Coerce(v, VT_I4);
    return v.lVal;
}

bool Flag(IDispatch* object, const std::wstring& name, const std::vector<Arg>& args) {
    VARIANT v;
    ::VariantInit(&v);
    Call(object, name, args, v);
    Coerce(v, VT_BOOL);
    if (v.boolVal != VARIANT_TRUE && v.boolVal != VARIANT_FALSE) {
        throw AutomationError(E_FAIL, L"a VARIANT_BOOL that is neither -1 nor 0", L"test");
    }
    return v.boolVal == VARIANT_TRUE;
}

std::wstring WhenText(int year, int month, int day, int hour, int minute) {
    wchar_t text[32];
    std::swprintf(text, 32, L"%04d-%02d-%02d %02d:%02d", year, month, day, hour, minute);
    return text;
}

std::wstring When(IDispatch* object, const std::wstring& name) {
    VARIANT v;
    ::VariantInit(&v);
    Call(object, name, {}, v);
    Coerce(v, VT_DATE);
    SYSTEMTIME st{};
    if (!::VariantTimeToSystemTime(v.date, &st)) throw AutomationError(E_FAIL, L"not a date", L"test");
    std::wstring text = WhenText(st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute);
    if (st.wSecond != 0) text += L":" + std::to_wstring(st.wSecond);
    return text;
}

void Put(IDispatch* object, const std::wstring& name, const Arg& value) {
    Outcome out;
    if (FAILED(TryInvoke(object, name, DISPATCH_PROPERTYPUT, {value}, out))) {
        throw AutomationError(out.hr, out.description, out.source);
    }
}

std::vector<std::wstring> Walk(IDispatch* items, const std::wstring& filter) {
    std::vector<std::wstring> lines;
    ComPtr<IDispatch> item = Object(items, L"Find", {filter});
    while (item) {
        lines.push_back(When(item.Get(), L"Start") + L"|" + Text(item.Get(), L"Subject"));
        item = Object(items, L"FindNext");
        if (lines.size() > 10000) throw AutomationError(E_FAIL, L"FindNext never ends", L"test");
    }
    return lines;
}

}  // namespace hv::test
