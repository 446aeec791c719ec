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

namespace {

// The text in the ANSI code page, cut so that a NUL fits in `bytes` and no double-byte character
// is split; returns the length written before the NUL.
size_t CopyAnsi(char* field, size_t bytes, const std::wstring& text) {
    const std::string ansi = toolkit::ToAnsi(text);
    size_t length = 0;
    while (length < ansi.size()) {
        const size_t step = ::IsDBCSLeadByte(static_cast<BYTE>(ansi[length])) ? 2 : 1;
        if (length + step > bytes - 1) break;
        length += step;
    }
    std::memcpy(field, ansi.data(), std::min(length, ansi.size()));
    field[length] = '\0';
    return length;
}

}  // namespace

void TrayIcon::SetTip(const std::wstring& tooltip) {
    // The text, then one NUL, then blanks to the end of the 64-byte field.
    std::memset(data_.szTip, ' ', kTipBytes);
    CopyAnsi(data_.szTip, kTipBytes, tooltip);
}

void TrayIcon::ShowBalloon(const std::wstring& title, const std::wstring& text, bool warning) {
    if (!shown_) return;
    // A record of its own, of the version that has the balloon fields; the icon's own record keeps
    // its version-1 layout. Only NIF_INFO is set, so picture and tooltip stay as they are.
    NOTIFYICONDATAA balloon{};
    balloon.cbSize = NOTIFYICONDATAA_V2_SIZE;
    balloon.hWnd = data_.hWnd;
    balloon.uID = kIconId;
    balloon.uFlags = NIF_INFO;
    CopyAnsi(balloon.szInfo, sizeof balloon.szInfo, text);
    CopyAnsi(balloon.szInfoTitle, sizeof balloon.szInfoTitle, title);
    balloon.dwInfoFlags = warning ? NIIF_WARNING : NIIF_INFO;
    shell_(NIM_MODIFY, &balloon);
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
