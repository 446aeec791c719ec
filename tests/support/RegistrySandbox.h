// Gives one test its own HKEY_CURRENT_USER: a fresh key under HKCU\Software\HoravaneTests that the
// process's HKCU is redirected to (RegOverridePredefKey) for the sandbox's lifetime, then deleted.
// Code under test keeps using its real key paths.
#pragma once
#include <windows.h>

#include <string>

namespace hv::test {

class RegistrySandbox {
public:
    RegistrySandbox();
    RegistrySandbox(const RegistrySandbox&) = delete;
    RegistrySandbox& operator=(const RegistrySandbox&) = delete;
    ~RegistrySandbox();

    // The sandbox as another process sees it, e.g. for "reg query": HKCU\Software\HoravaneTests\<id>.
    std::wstring RealPath() const { return L"HKCU\\" + subKey_; }
    // A path inside the sandbox as another process sees it.
    std::wstring RealPath(const std::wstring& inner) const { return RealPath() + L"\\" + inner; }

private:
    std::wstring subKey_;
    HKEY root_ = nullptr;
};

// Small helpers that go straight to the registry API (never through the code under test).
bool KeyExists(HKEY hive, const std::wstring& path);
// The raw bytes and type of a value, read with RegQueryValueExA; false when it cannot be read.
bool RawValue(HKEY hive, const std::wstring& path, const std::string& name, std::string& bytes, DWORD& type);
void SetRawValue(HKEY hive, const std::wstring& path, const std::string& name, DWORD type, const std::string& bytes);
void DeleteValue(HKEY hive, const std::wstring& path, const std::string& name);

}  // namespace hv::test
