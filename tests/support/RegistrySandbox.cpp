#include "tests/support/RegistrySandbox.h"

#include <atomic>

#include "toolkit/AnsiText.h"

namespace hv::test {

RegistrySandbox::RegistrySandbox() {
    static std::atomic<unsigned> counter{0};
    subKey_ = L"Software\\HoravaneTests\\" + std::to_wstring(::GetCurrentProcessId()) + L"_" +
              std::to_wstring(::GetTickCount()) + L"_" + std::to_wstring(counter++);
    ::RegCreateKeyExW(HKEY_CURRENT_USER, subKey_.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &root_, nullptr);
    ::RegOverridePredefKey(HKEY_CURRENT_USER, root_);
}

RegistrySandbox::~RegistrySandbox() {
    ::RegOverridePredefKey(HKEY_CURRENT_USER, nullptr);
    ::RegCloseKey(root_);
    ::RegDeleteTreeW(HKEY_CURRENT_USER, subKey_.c_str());
}

bool KeyExists(HKEY hive, const std::wstring& path) {
    HKEY key = nullptr;
    if (::RegOpenKeyExW(hive, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    ::RegCloseKey(key);
    return true;
}

bool RawValue(HKEY hive, const std::wstring& path, const std::string& name, std::string& bytes, DWORD& type) {
    HKEY key = nullptr;
    if (::RegOpenKeyExA(hive, toolkit::ToAnsi(path).c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    DWORD size = 0;
    LONG status = ::RegQueryValueExA(key, name.c_str(), nullptr, &type, nullptr, &size);
    if (status == ERROR_SUCCESS) {
        bytes.assign(size, '\0');
        status = ::RegQueryValueExA(key, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(bytes.data()), &size);
        bytes.resize(size);
    }
    ::RegCloseKey(key);
    return status == ERROR_SUCCESS;
}

void SetRawValue(HKEY hive, const std::wstring& path, const std::string& name, DWORD type, const std::string& bytes) {
    HKEY key = nullptr;
    if (::RegCreateKeyExA(hive, toolkit::ToAnsi(path).c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) !=
        ERROR_SUCCESS)
        return;
    ::RegSetValueExA(key, name.c_str(), 0, type, reinterpret_cast<const BYTE*>(bytes.data()),
                     static_cast<DWORD>(bytes.size()));
    ::RegCloseKey(key);
}

void DeleteValue(HKEY hive, const std::wstring& path, const std::string& name) {
    HKEY key = nullptr;
    if (::RegOpenKeyExA(hive, toolkit::ToAnsi(path).c_str(), 0, KEY_SET_VALUE, &key) != ERROR_SUCCESS) return;
    ::RegDeleteValueA(key, name.c_str());
    ::RegCloseKey(key);
}

}  // namespace hv::test
