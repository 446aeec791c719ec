// Small owners for the automation types the server hands out and takes in: BSTR and VARIANT.
#pragma once
#include <windows.h>
#include <oleauto.h>

#include <new>
#include <string>
#include <string_view>
#include <utility>

namespace standin {

class Bstr {
public:
    Bstr() = default;
    explicit Bstr(std::wstring_view text) : b_(::SysAllocStringLen(text.data(), static_cast<UINT>(text.size()))) {
        if (!b_) throw std::bad_alloc();
    }
    ~Bstr() { ::SysFreeString(b_); }
    Bstr(const Bstr&) = delete;
    Bstr& operator=(const Bstr&) = delete;
    Bstr(Bstr&& other) noexcept : b_(std::exchange(other.b_, nullptr)) {}
    Bstr& operator=(Bstr&& other) noexcept {
        std::swap(b_, other.b_);
        return *this;
    }

    BSTR get() const { return b_; }
    BSTR release() { return std::exchange(b_, nullptr); }
    std::wstring str() const { return b_ ? std::wstring(b_, ::SysStringLen(b_)) : std::wstring(); }

private:
    BSTR b_ = nullptr;
};

class Variant {
public:
    Variant() { ::VariantInit(&v_); }
    ~Variant() { ::VariantClear(&v_); }
    Variant(const Variant&) = delete;
    Variant& operator=(const Variant&) = delete;

    VARIANT* get() { return &v_; }
    const VARIANT* get() const { return &v_; }
    VARIANT* operator->() { return &v_; }
    const VARIANT* operator->() const { return &v_; }
    // Hands the value over to a caller-owned VARIANT and leaves this one empty.
    void MoveTo(VARIANT* target) {
        *target = v_;
        ::VariantInit(&v_);
    }

private:
    VARIANT v_;
};

}  // namespace standin
