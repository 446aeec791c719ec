#include "tests/e2e/DriverMenu.h"

#include "tests/e2e/DriverWindows.h"

namespace hv::e2e {
namespace {

struct NamedKey {
    const wchar_t* name;
    UINT key;
};
constexpr NamedKey kKeys[] = {{L"{down}", VK_DOWN}, {L"{up}", VK_UP},   {L"{left}", VK_LEFT},    {L"{right}", VK_RIGHT},
                              {L"{home}", VK_HOME}, {L"{end}", VK_END}, {L"{enter}", VK_RETURN}, {L"{esc}", VK_ESCAPE}};

// Pause after each key, so the menu's own loop sees them one at a time as it would from a user.
constexpr DWORD kKeyGap = 80;

void PressKey(HWND window, UINT key) {
    const LPARAM scan = static_cast<LPARAM>(::MapVirtualKeyW(key, MAPVK_VK_TO_VSC)) << 16;
    ::PostMessageW(window, WM_KEYDOWN, key, 1 | scan);
    ::PostMessageW(window, WM_KEYUP, key, 1 | scan | 0xC0000000);
}

void TypeCharacter(HWND window, wchar_t c) { ::PostMessageW(window, WM_CHAR, c, 1); }

}  // namespace

HWND WaitForOpenMenu(DWORD timeoutMs) {
    Selector menus;
    menus.className = L"#32768";
    return WaitVisible(menus, timeoutMs);
}

bool SendMenuKeys(HWND menuWindow, std::wstring_view keys) {
    while (!keys.empty()) {
        bool named = false;
        for (const NamedKey& k : kKeys) {
            const std::wstring_view name(k.name);
            if (keys.substr(0, name.size()) == name) {
                PressKey(menuWindow, k.key);
                keys.remove_prefix(name.size());
                named = true;
                break;
            }
        }
        if (!named) {
            if (keys.front() == L'{') return false;
            TypeCharacter(menuWindow, keys.front());
            keys.remove_prefix(1);
        }
        ::Sleep(kKeyGap);
    }
    return true;
}

bool WaitMenuClosed(HWND menuWindow, DWORD timeoutMs) {
    const ULONGLONG end = ::GetTickCount64() + timeoutMs;
    for (;;) {
        if (!::IsWindow(menuWindow) || !::IsWindowVisible(menuWindow)) return true;
        if (::GetTickCount64() >= end) return false;
        ::Sleep(50);
    }
}

}  // namespace hv::e2e
