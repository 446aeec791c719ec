// The DLL's COM entry points: the class object for "Outlook.Application" (each instance is a
// fresh server configured from HKCU\Software\OutlookStandin, steerable through that key), the
// unload test and self-registration.
#include <windows.h>
#include <objbase.h>

#include <atomic>
#include <new>
#include <string>

#include "standin/DispatchObject.h"
#include "standin/Registration.h"
#include "standin/Standin.h"

namespace {

using standin::ModuleUsers;

class ClassFactory final : public IClassFactory {
public:
    ClassFactory() { ++ModuleUsers(); }
    ~ClassFactory() { --ModuleUsers(); }
    ClassFactory(const ClassFactory&) = delete;
    ClassFactory& operator=(const ClassFactory&) = delete;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
        if (!out) return E_POINTER;
        if (riid == IID_IUnknown || riid == IID_IClassFactory) {
            *out = static_cast<IClassFactory*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG left = --refs_;
        if (left == 0) delete this;
        return left;
    }

    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (outer) return CLASS_E_NOAGGREGATION;
        try {
            standin::Config config = standin::ReadConfigFromRegistry();
            config.followRegistryControls = true;
            const auto app = standin::CreateServer(std::move(config))->CreateApplication();
            return app->QueryInterface(riid, out);
        } catch (const std::bad_alloc&) {
            return E_OUTOFMEMORY;
        } catch (...) {
            return E_UNEXPECTED;
        }
    }

    HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override {
        if (lock) ++ModuleUsers();
        else --ModuleUsers();
        return S_OK;
    }

private:
    std::atomic<ULONG> refs_{1};
};

std::wstring OwnPath() {
    HMODULE self = nullptr;
    ::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                         reinterpret_cast<LPCWSTR>(&OwnPath), &self);
    wchar_t path[MAX_PATH * 4] = {};
    const DWORD n = ::GetModuleFileNameW(self, path, MAX_PATH * 4);
    return std::wstring(path, n);
}

}  // namespace

STDAPI DllGetClassObject(REFCLSID clsid, REFIID riid, LPVOID* out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (clsid != standin::kApplicationClsid) return CLASS_E_CLASSNOTAVAILABLE;
    auto* factory = new (std::nothrow) ClassFactory();
    if (!factory) return E_OUTOFMEMORY;
    const HRESULT hr = factory->QueryInterface(riid, out);
    factory->Release();
    return hr;
}

STDAPI DllCanUnloadNow() { return ModuleUsers() == 0 ? S_OK : S_FALSE; }

STDAPI DllRegisterServer() { return standin::RegisterServer(OwnPath()); }

STDAPI DllUnregisterServer() { return standin::UnregisterServer(); }
