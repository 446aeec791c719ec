// The pop-up menu that another program has open (the system's "#32768" window), worked with the
// keyboard as a user does: access-key letters, arrow keys, Enter and Esc. (The items themselves
// cannot be read from another process under Wine, so the caller says which keys reach an item.)
#pragma once
#include <windows.h>

#include <string>
#include <string_view>

namespace hv::e2e {

// The open pop-up menu window, waited for; null when none opened in time.
HWND WaitForOpenMenu(DWORD timeoutMs);
// Sends the keys to the menu: plain characters as typed characters, and the names {down}, {up},
// {left}, {right}, {home}, {end}, {enter} and {esc} as those keys. Returns false for a name it
// does not know.
bool SendMenuKeys(HWND menuWindow, std::wstring_view keys);
// True when the menu has closed within the time.
bool WaitMenuClosed(HWND menuWindow, DWORD timeoutMs);

}  // namespace hv::e2e
