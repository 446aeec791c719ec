// One full poll over a day of N appointments: the scan, the due test of every entry, no sends.
// Measured two ways: against the stand-in in this process, and against OutlookStandin.exe in a
// process of its own, as against Outlook, where every call is a round trip to another process.
// Prints per poll: the automation calls (Invoke), the GetIDsOfNames calls, the calls per pending
// entry and the median wall time. Two more rows have a notification sent at the poll before: the
// first with Outlook online (the message has left; the sent log is looked at from now on), the
// second with Outlook working offline, the message still in its Outbox: the difference between
// the two is what watching the Outbox costs (the second's time also holds the stand-in's look at
// its steering values, which only that row switches on).
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "outlook/OutlookAutomation.h"
#include "standin/LocalServer.h"
#include "standin/Standin.h"
#include "tests/support/Calendar.h"
#include "tests/support/FakeSettings.h"
#include "tests/support/RegistrySandbox.h"
#include "tests/support/ScriptedHost.h"

namespace {

using hv::test::Event;

// N appointments spread over the afternoon and evening, every fifth a daily series, every third
// with a reminder; the clock stands at 08:00, so every one of them is pending and none is due.
// `oneDue` adds an appointment at 08:05 with a five-minute reminder: due at once.
std::string DayOf(int n, bool oneDue = false) {
    std::vector<Event> events;
    if (oneDue) {
        Event e;
        e.summary = "Due now";
        e.start = e.end = "20261207T080500";
        e.reminderMinutes = 5;
        events.push_back(e);
    }
    for (int i = 0; i < n; ++i) {
        const int minute = 12 * 60 + (i * 11) % (12 * 60);
        char start[32];
        std::snprintf(start, sizeof start, "20261207T%02d%02d00", minute / 60, minute % 60);
        Event e;
        e.summary = "Appointment " + std::to_string(i);
        e.start = start;
        e.end = start;
        e.location = "Room " + std::to_string(i % 9);
        if (i % 3 == 0) e.reminderMinutes = 10;
        if (i % 5 == 0) e.rrule = "FREQ=DAILY;COUNT=30";
        events.push_back(e);
    }
    return hv::test::Ics(events);
}

struct Counts {
    long calls = 0, lookups = 0;
};

struct Row {
    int n;
    int pending;
    Counts perPoll;
    double median;
};

// Polls once to warm up, once counted, then `runs` times timed.
Row Measure(int n, hv::outlook::OutlookAutomation& engine, const std::function<Counts()>& count, int runs) {
    engine.Poll();
    const Counts before = count();
    engine.Poll();
    const Counts after = count();
    std::vector<double> times;
    for (int r = 0; r < runs; ++r) {
        const auto t0 = std::chrono::steady_clock::now();
        engine.Poll();
        times.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count());
    }
    std::sort(times.begin(), times.end());
    return {n,
            engine.PendingCount(),
            {after.calls - before.calls, after.lookups - before.lookups},
            times[times.size() / 2]};
}

// The settings, pending list and clock a poll needs; no window.
struct Desk {
    hv::test::RegistrySandbox sandbox;
    hv::test::ScriptedHost host;
    hv::test::FakeSettings settings;
    std::wstring list;
    Desk() {
        host.SetNow(2026, 12, 7, 8, 0, 0);
        settings.SetText(hv::settings::kEmailAddress, L"pager@example.com");
    }
    hv::outlook::ListShow ShowList() {
        return [this](const std::wstring& text) { list = text; };
    }
};

enum class OneSent { No, Online, Offline };

Row InProcess(int n, OneSent sent = OneSent::No) {
    Desk desk;
    standin::Config config;
    config.calendarText = DayOf(n, sent != OneSent::No);  // the due one is sent at the warm-up poll
    config.topFolderName = L"Mailbox - Bench";
    if (sent == OneSent::Offline) {  // and stays in the Outbox
        const DWORD offline = 1;
        ::RegSetKeyValueW(HKEY_CURRENT_USER, L"Software\\OutlookStandin", L"Offline", REG_DWORD, &offline,
                          sizeof offline);
        config.followRegistryControls = true;
    }
    auto server = standin::CreateServer(config);
    hv::outlook::OutlookAutomation engine(desk.host, desk.settings, desk.ShowList(),
                                          [&] { return server->CreateApplication(); });
    engine.OpenOutlookSession();
    return Measure(
        n, engine,
        [&] {
            return Counts{server->Count().TotalCalls(), server->Count().NameLookups()};
        },
        n >= 1000 ? 7 : 21);
}

// The running stand-in's counters, published into its registry key.
Counts StandinCounters() {
    HWND window = standin::FindRunningStandin();
    DWORD_PTR answer = 0;
    if (!window || !::SendMessageTimeoutW(window, standin::kPublishCounters, 0, 0, SMTO_NORMAL, 10000, &answer))
        return {};
    // The user's own key, not the sandbox this process's HKEY_CURRENT_USER points at.
    HKEY user = nullptr;
    if (::RegOpenCurrentUser(KEY_READ, &user) != ERROR_SUCCESS) return {};
    auto read = [user](const wchar_t* name) {
        DWORD value = 0, bytes = sizeof value;
        ::RegGetValueW(user, standin::kCountersKey, name, RRF_RT_REG_DWORD, nullptr, &value, &bytes);
        return static_cast<long>(value);
    };
    const Counts counts{read(L"TotalCalls"), read(L"GetIDsOfNames")};
    ::RegCloseKey(user);
    return counts;
}

void SetStandinText(const wchar_t* name, const std::wstring& value) {
    ::RegSetKeyValueW(HKEY_CURRENT_USER, L"Software\\OutlookStandin", name, REG_SZ, value.c_str(),
                      static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
}

Row AcrossProcesses(int n) {
    wchar_t temp[MAX_PATH];
    ::GetTempPathW(MAX_PATH, temp);
    const std::wstring calendar = std::wstring(temp) + L"tick-bench.ics";
    std::ofstream(calendar.c_str(), std::ios::binary | std::ios::trunc) << DayOf(n);
    ::RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\OutlookStandin");
    SetStandinText(L"CalendarFile", calendar);
    SetStandinText(L"TopFolderName", L"Mailbox - Bench");
    Row row{};
    {
        Desk desk;  // its registry sandbox covers Horavane's own settings only, as the stand-in runs elsewhere
        hv::outlook::OutlookAutomation engine(desk.host, desk.settings, desk.ShowList());
        if (engine.OpenOutlookSession() != hv::outlook::OutlookAutomation::kNothing)
            row = Measure(n, engine, StandinCounters, 5);
        engine.CloseOutlookSession();
    }
    ::RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\OutlookStandin");
    ::DeleteFileW(calendar.c_str());
    return row;
}

void Print(const char* where, const Row& r) {
    std::printf("%-16s %6d %8d %12ld %14ld %12.2f %12.2f\n", where, r.n, r.pending, r.perPoll.calls, r.perPoll.lookups,
                r.pending ? static_cast<double>(r.perPoll.calls) / r.pending : 0.0, r.median);
}

}  // namespace

int main() {
    ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    std::printf("%-16s %6s %8s %12s %14s %12s %12s\n", "Outlook", "N", "pending", "calls/poll", "GetIDsOfNames",
                "calls/entry", "median ms");
    for (int n : {10, 100, 1000}) Print("in-process", InProcess(n));
    Print("1 sent", InProcess(100, OneSent::Online));
    Print("1 in Outbox", InProcess(100, OneSent::Offline));
    for (int n : {10, 100}) Print("other process", AcrossProcesses(n));
    ::CoUninitialize();
    return 0;
}
