// The notification-area icon: one record, TrayIconData, in the shell's version-1 ANSI layout,
// passed to every add, modify and delete. The pictures belong to their owner; this never creates
// or destroys an icon.
#pragma once
#include <windows.h>
#include <shellapi.h>

#include <functional>
#include <string>

namespace hv::tray {

// The callback message the shell sends for mouse events over the icon, with the mouse message in
// lParam. A message of the program's own: were it WM_MOUSEMOVE, every real mouse move over the
// visible main window would arrive with its coordinates where the mouse message is expected.
inline constexpr UINT kCallbackMessage = WM_APP + 1;
inline constexpr UINT kIconId = 1;
inline constexpr size_t kTipBytes = 64;

// Shell_NotifyIconA, replaceable so a test can see every call and its record.
using ShellNotify = std::function<BOOL(DWORD message, NOTIFYICONDATAA* data)>;

class TrayIcon {
public:
    explicit TrayIcon(ShellNotify shell = DefaultShell());
    TrayIcon(const TrayIcon&) = delete;
    TrayIcon& operator=(const TrayIcon&) = delete;

    // Fills every field and adds the icon (NIM_ADD).
    void UpdateTray(HWND window, HICON picture, const std::wstring& tooltip);
    // Sets the picture and the tooltip and modifies the icon (NIM_MODIFY).
    void Modify(HICON picture, const std::wstring& tooltip);
    // Modifies the icon with the record as it stands (NIM_MODIFY).
    void Notify();
    // Removes the icon (NIM_DELETE); fails quietly when it is gone.
    void Delete();
    // Adds the icon again with the record as it stands: after the task bar was re-created, or
    // after the shell turned the add down.
    void Readd();
    // Shows a balloon notification on the icon (NIF_INFO; Windows 10 and 11 show it as a
    // notification). The texts are cut to the record's fields. Nothing while the icon is not shown.
    void ShowBalloon(const std::wstring& title, const std::wstring& text, bool warning);
    // Whether the shell took the last add (and the icon was not deleted since).
    bool Shown() const { return shown_; }

    const NOTIFYICONDATAA& TrayIconData() const { return data_; }

    static ShellNotify DefaultShell();

private:
    void SetTip(const std::wstring& tooltip);

    ShellNotify shell_;
    NOTIFYICONDATAA data_{};
    bool shown_ = false;
};

// What a tray callback asks for.
enum class TrayAction { None, ToggleNotification, ShowMenu };
// 515 (left double-click) toggles notification, 516 (right button pressed) opens the menu;
// every other mouse message is ignored.
TrayAction DecodeTrayCallback(UINT mouseMessage);

}  // namespace hv::tray
