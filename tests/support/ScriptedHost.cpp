#include "tests/support/ScriptedHost.h"

#include <gtest/gtest.h>

namespace hv::test {

ScriptedHost::ScriptedHost() { SetNow(2026, 12, 7, 9, 0, 0); }

int ScriptedHost::ShowMessage(HWND, const std::wstring& text, UINT style, const std::wstring& title) {
    boxes.push_back({text, style, title});
    if (onBox) onBox();
    if (answers.empty()) {
        // OK is the first button of the only boxes the program shows; a box with other buttons
        // needs its answer scripted.
        const UINT buttons = style & MB_TYPEMASK;
        EXPECT_TRUE(buttons == MB_OK || buttons == MB_OKCANCEL) << "no scripted answer to: " << text;
        return IDOK;
    }
    const int answer = answers.front();
    answers.pop_front();
    return answer;
}

void ScriptedHost::SetNow(int year, int month, int day, int hour, int minute, int second) {
    now_ = SYSTEMTIME{};
    now_.wYear = static_cast<WORD>(year);
    now_.wMonth = static_cast<WORD>(month);
    now_.wDay = static_cast<WORD>(day);
    SetTime(hour, minute, second);
}

void ScriptedHost::SetTime(int hour, int minute, int second) {
    now_.wHour = static_cast<WORD>(hour);
    now_.wMinute = static_cast<WORD>(minute);
    now_.wSecond = static_cast<WORD>(second);
    now_.wMilliseconds = 0;
    FILETIME ft;  // recompute the day of the week
    ::SystemTimeToFileTime(&now_, &ft);
    ::FileTimeToSystemTime(&ft, &now_);
}

void ScriptedHost::Advance(int seconds) {
    FILETIME ft;
    ::SystemTimeToFileTime(&now_, &ft);
    ULARGE_INTEGER t{{ft.dwLowDateTime, ft.dwHighDateTime}};
    t.QuadPart += static_cast<ULONGLONG>(seconds) * 10000000ULL;
    ft.dwLowDateTime = t.LowPart;
    ft.dwHighDateTime = t.HighPart;
    ::FileTimeToSystemTime(&ft, &now_);
}

}  // namespace hv::test
