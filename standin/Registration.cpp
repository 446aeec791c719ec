#include "standin/Registration.h"

#include <objbase.h>
#include <olectl.h>

#include <cwchar>

#include "standin/Standin.h"

namespace standin {
namespace {

constexpr wchar_t kClasses[] = L"Software\\Classes\\";
constexpr wchar_t kProgId[] = L"Outlook.Application";
constexpr wchar_t kDescription[] = L"Outlook stand-in Application";

class Key {
public:
    Key() = default;
    ~Key() {
        if (h_) ::RegCloseKey(h_);
    }
    Key(const Key&) = delete;
    Key& operator=(const Key&) = delete;
    HKEY* put() { return &h_; }
    HKEY get() const { return h_; }

private:
    HKEY h_ = nullptr;
};

std::wstring ClsidText() {
    wchar_t text[64] = {};
    ::StringFromGUID2(kApplicationClsid, text, 64);
    return text;
}

std::wstring ClsidKey() { return std::wstring(kClasses) + L"CLSID\\" + ClsidText(); }
std::wstring ProgIdKey() { return std::wstring(kClasses) + kProgId; }

LONG SetText(const std::wstring& path, const wchar_t* name, const std::wstring& value) {
    Key key;
    LONG r =
        ::RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, key.put(), nullptr);
    if (r != ERROR_SUCCESS) return r;
    return ::RegSetValueExW(key.get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                            static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
}

// The CLSID the ProgID points at now, or empty.
std::wstring RegisteredClsid() {
    wchar_t text[64] = {};
    DWORD bytes = sizeof text;
    const std::wstring path = ProgIdKey() + L"\\CLSID";
    if (::RegGetValueW(HKEY_LOCAL_MACHINE, path.c_str(), nullptr, RRF_RT_REG_SZ, nullptr, text, &bytes) !=
        ERROR_SUCCESS) {
        return {};
    }
    return std::wstring(text, wcsnlen(text, 64));
}

bool SameClsid(const std::wstring& a, const std::wstring& b) {
    return ::CompareStringOrdinal(a.c_str(), -1, b.c_str(), -1, TRUE) == CSTR_EQUAL;
}

}  // namespace

HRESULT RegisterServer(const std::wstring& exePath) {
    const std::wstring clsid = ClsidText();
    const std::wstring current = RegisteredClsid();
    if (!current.empty() && !SameClsid(current, clsid)) return SELFREG_E_CLASS;
    ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, ClsidKey().c_str());  // an earlier in-process registration goes
    const LONG results[] = {
        SetText(ClsidKey(), nullptr, kDescription),
        // Quoted, as a command line: COM starts it with "-Embedding" after the path.
        SetText(ClsidKey() + L"\\LocalServer32", nullptr, L"\"" + exePath + L"\""),
        SetText(ClsidKey() + L"\\ProgID", nullptr, kProgId),
        SetText(ProgIdKey(), nullptr, kDescription),
        SetText(ProgIdKey() + L"\\CLSID", nullptr, clsid),
    };
    for (LONG r : results) {
        if (r != ERROR_SUCCESS) {
            UnregisterServer();
            return SELFREG_E_CLASS;
        }
    }
    return S_OK;
}

HRESULT UnregisterServer() {
    const std::wstring current = RegisteredClsid();
    if (!current.empty() && !SameClsid(current, ClsidText())) {
        ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, ClsidKey().c_str());
        return S_OK;  // the ProgID belongs to someone else now: leave it
    }
    for (const std::wstring& path : {ProgIdKey(), ClsidKey()}) {
        const LONG r = ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, path.c_str());
        if (r != ERROR_SUCCESS && r != ERROR_FILE_NOT_FOUND) return SELFREG_E_CLASS;
    }
    return S_OK;
}

}  // namespace standin
