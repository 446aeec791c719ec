// What the program asks of the desktop that a test needs to replace: the current time, a clock
// for measuring waits, modal message boxes and blocking waits. The application owns one Host and hands it to every
// module; tests hand in a scripted one.
#pragma once
#include <windows.h>

#include <string>

namespace hv::toolkit {

class Host {
public:
    Host() = default;
    Host(const Host&) = delete;
    Host& operator=(const Host&) = delete;
    virtual ~Host() = default;

    // Local date and time.
    virtual SYSTEMTIME Now();
    // Milliseconds of a clock that only goes forward (unlike the local time, which a clock or
    // time-zone change moves): what waits are measured with.
    virtual ULONGLONG TickCount();
    // A modal message box; returns the button pressed (IDOK, IDCANCEL, ...).
    virtual int ShowMessage(HWND owner, const std::wstring& text, UINT style, const std::wstring& title);
    // A blocking wait on the calling thread.
    virtual void Sleep(DWORD milliseconds);
};

}  // namespace hv::toolkit
