// A plain late-bound automation client for the tests: every call goes through GetIDsOfNames and
// Invoke, exactly as a program that knows only IDispatch calls a server. Failures come back as
// AutomationError with the HRESULT and the server's EXCEPINFO.
#pragma once
#include <windows.h>
#include <oaidl.h>
#include <wrl/client.h>

#include <stdexcept>
#include <string>
#include <vector>

namespace hv::test {

using Microsoft::WRL::ComPtr;

struct AutomationError : std::runtime_error {
    AutomationError(HRESULT h, std::wstring desc, std::wstring src);
    HRESULT hr;
    std::wstring description;
    std::wstring source;
};

// One argument as the client passes it.
class Arg {
public:
    Arg(const wchar_t* text);
    Arg(const std::wstring& text) : Arg(text.c_str()) {}
    Arg(long number);
    Arg(int number) : Arg(static_cast<long>(number)) {}
    Arg(bool flag);
    static Arg Missing();  // an optional argument left out
    Arg(const Arg& other);
    Arg& operator=(const Arg&) = delete;
    ~Arg();
    const VARIANT& get() const { return v_; }

private:
    Arg() { ::VariantInit(&v_); }
    VARIANT v_;
};

// The raw result of one Invoke.
struct Outcome {
    HRESULT hr = S_OK;
    VARIANT value{};
    std::wstring description, source;
    HRESULT scode = S_OK;  // the EXCEPINFO's code of a DISP_E_EXCEPTION
    UINT argErr = ~0u;
    Outcome() { ::VariantInit(&value); }
    ~Outcome() { ::VariantClear(&value); }
    Outcome(const Outcome&) = delete;
    Outcome& operator=(const Outcome&) = delete;
};

// Resolves the name (HRESULT of GetIDsOfNames on failure) and invokes it with `flags`.
HRESULT TryInvoke(IDispatch* object, const std::wstring& name, WORD flags, const std::vector<Arg>& args, Outcome& out);

// Property get or method call; throws AutomationError.
void Call(IDispatch* object, const std::wstring& name, const std::vector<Arg>& args, VARIANT& result);
// A call whose result does not matter.
void Perform(IDispatch* object, const std::wstring& name, const std::vector<Arg>& args = {});
ComPtr<IDispatch> Object(IDispatch* object, const std::wstring& name, const std::vector<Arg>& args = {});
std::wstring Text(IDispatch* object, const std::wstring& name, const std::vector<Arg>& args = {});
long Number(IDispatch* object, const std::wstring& name, const std::vector<Arg>& args = {});
bool Flag(IDispatch* object, const std::wstring& name, const std::vector<Arg>& args = {});
// A VT_DATE result as "2026-12-07 09:30", converted with the system's own VariantTimeToSystemTime.
std::wstring When(IDispatch* object, const std::wstring& name);
void Put(IDispatch* object, const std::wstring& name, const Arg& value);

// The text of a date and time as When() writes it.
std::wstring WhenText(int year, int month, int day, int hour = 0, int minute = 0);

// The calendar items a Find/FindNext walk yields, as "start|subject" lines.
std::vector<std::wstring> Walk(IDispatch* items, const std::wstring& filter);

}  // namespace hv::test
