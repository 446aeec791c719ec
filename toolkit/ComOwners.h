// Owners of COM resources: the calling thread's apartment and a BSTR.
#pragma once
#include <windows.h>
#include <objbase.h>
#include <oleauto.h>

#include <string>

namespace hv::toolkit {

// Joins the calling thread to a COM apartment for the owner's lifetime. CoInitializeEx returns
// S_FALSE when the thread has joined already; that call too must be balanced by CoUninitialize.
class ComApartment {
public:
    explicit ComApartment(DWORD model = COINIT_APARTMENTTHREADED) : hr_(::CoInitializeEx(nullptr, model)) {}
    ~ComApartment() {
        if (SUCCEEDED(hr_)) ::CoUninitialize();
    }
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;
    bool Joined() const { return SUCCEEDED(hr_); }

private:
    HRESULT hr_;
};

// An owned BSTR.
class Bstr {
public:
    Bstr() = default;
    explicit Bstr(const std::wstring& text) : b_(::SysAllocStringLen(text.data(), static_cast<UINT>(text.size()))) {}
    Bstr(const Bstr&) = delete;
    Bstr& operator=(const Bstr&) = delete;
    ~Bstr() { ::SysFreeString(b_); }
    BSTR get() const { return b_; }
    // For out-parameters of API calls: frees what is held and hands out the slot.
    BSTR* put() {
        ::SysFreeString(b_);
        b_ = nullptr;
        return &b_;
    }
    std::wstring str() const { return b_ ? std::wstring(b_, ::SysStringLen(b_)) : std::wstring(); }

private:
    BSTR b_ = nullptr;
};

}  // namespace hv::toolkit
