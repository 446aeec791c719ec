#include "tray/TrayIcon.h"

#include <algorithm>
#include <cstring>

#include "toolkit/AnsiText.h"

namespace hv::tray {

// The version-1 record is the 88-byte one in 32-bit builds.
static_assert(sizeof(void*) != 4 || NOTIFYICONDATAA_V1_SIZE == 88);

ShellNotify TrayIcon::DefaultShell() {
    return [](DWORD message, NOTIFYICONDATAA* data) { return ::Shell_NotifyIconA(message, data); };
}

TrayIcon::TrayIcon(ShellNotify shell) : shell_(std::move(shell)) {}

void TrayIcon::SetTip(const std::wstring& tooltip) {
    // The text in the ANSI code page, then one NUL, then blanks to the end of the 64-byte field.
    // A longer text is cut so that the NUL always fits and no double-byte character is split.
    const std::string ansi = toolkit::ToAnsi(tooltip);
    size_t length = 0;
    while (length < ansi.size()) {
        const size_t step = ::IsDBCSLeadByte(static_cast<BYTE>(ansi[length])) ? 2 : 1;
        if (length + step > kTipBytes - 1) break;
        length += step;
    }
    std::memset(data_.szTip, ' ', kTipBytes);
    std::memcpy(data_.szTip, ansi.data(), std::min(length, ansi.size()));
    data_.szTip[length] = '\0';
}

void TrayIcon::UpdateTray(HWND window, HICON picture, const std::wstring& tooltip) {
    data_.cbSize = NOTIFYICONDATAA_V1_SIZE;
    data_.hWnd = window;
    data_.uID = kIconId;
    data_.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    data_.uCallbackMessage = kCallbackMessage;
    data_.hIcon = picture;
    SetTip(tooltip);
    shown_ = shell_(NIM_ADD, &data_) != FALSE;
}

void TrayIcon::Modify(HICON picture, const std::wstring& tooltip) {
    data_.hIcon = picture;
    SetTip(tooltip);
    Notify();
}

void TrayIcon::Notify() { shell_(NIM_MODIFY, &data_); }

void TrayIcon::Delete() {
    shell_(NIM_DELETE, &data_);
    shown_ = false;
}

void TrayIcon::Readd() {
    if (data_.cbSize != 0) shown_ = shell_(NIM_ADD, &data_) != FALSE;
}

TrayAction DecodeTrayCallback(UINT mouseMessage) {
    switch (mouseMessage) {
        case WM_LBUTTONDBLCLK: return TrayAction::ToggleNotification;
        case WM_RBUTTONDOWN: return TrayAction::ShowMenu;
        default: return TrayAction::None;
    }
}

}  // namespace hv::tray
