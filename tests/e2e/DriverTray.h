// The notification area of the shell's task bar as a user sees it: where an icon is drawn (found
// by its pixels, so a click lands on what is really shown), a fingerprint of its picture, and
// the tooltip texts the shell holds for its icons.
#pragma once
#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace hv::e2e {

struct TrayIconSpot {
    RECT rect{};  // screen coordinates of the drawn picture
    POINT centre{};
    std::uint32_t fingerprint = 0;  // changes when the picture changes
};

// The task bar window of the shell, or null.
HWND TaskBar();
// The icons drawn in the right-hand part of the task bar, rightmost first.
std::vector<TrayIconSpot> TrayIcons();
// The tooltip texts of the tray's icons, as the shell's tooltip control holds them.
std::vector<std::wstring> TrayTooltips();

}  // namespace hv::e2e
