// A host for tests: a clock that the test sets and advances, message boxes that are recorded and
// answered from a script instead of shown, and waits that only record their length and move the
// tick count on by it (no real time passes).
#pragma once
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "toolkit/Host.h"

namespace hv::test {

struct ShownBox {
    std::wstring text;
    UINT style;
    std::wstring title;
};

class ScriptedHost : public toolkit::Host {
public:
    ScriptedHost();

    // The clock; with secondsPerReading set, each reading moves it on by that much (a slow poll).
    SYSTEMTIME Now() override {
        const SYSTEMTIME now = now_;
        if (secondsPerReading) Advance(secondsPerReading);
        return now;
    }
    int ShowMessage(HWND owner, const std::wstring& text, UINT style, const std::wstring& title) override;
    ULONGLONG TickCount() override { return ticks; }
    void Sleep(DWORD milliseconds) override {
        sleeps.push_back(milliseconds);
        ticks += milliseconds;
    }

    void SetNow(int year, int month, int day, int hour, int minute, int second = 0);
    void SetTime(int hour, int minute, int second = 0);
    void Advance(int seconds);

    // Answers for the next boxes, in order; IDOK when the script has run out (OK and OK/Cancel
    // boxes only: any other box fails the test).
    std::deque<int> answers;
    std::function<void()> onBox;  // runs while a box is up (the user away from it, say)
    std::vector<ShownBox> boxes;
    std::vector<DWORD> sleeps;
    ULONGLONG ticks = 1000000;  // the tick count; the waits move it on
    int secondsPerReading = 0;

private:
    SYSTEMTIME now_{};
};

}  // namespace hv::test
