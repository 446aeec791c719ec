// One full poll over a day of N appointments: the scan, the due test of every entry, no sends.
// Prints a table: automation calls per tick, calls per pending entry, and the median wall time.
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <vector>

#include "outlook/OutlookAutomation.h"
#include "standin/Standin.h"
#include "tests/support/Calendar.h"
#include "tests/support/FakeCommands.h"
#include "tests/support/RegistrySandbox.h"
#include "tests/support/ScriptedHost.h"
#include "ui/ConfigureForm.h"
#include "ui/QForm.h"

namespace {

using hv::test::Event;

// N appointments spread over the afternoon and evening, every fifth a daily series, every third
// with a reminder; the clock stands at 08:00, so every one of them is pending and none is due.
std::string DayOf(int n) {
    std::vector<Event> events;
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

struct Row {
    int n;
    int pending;
    long callsPerTick;
    double median;
};

Row Measure(int n) {
    hv::test::RegistrySandbox sandbox;
    hv::test::ScriptedHost host;
    host.SetNow(2026, 12, 7, 8, 0, 0);
    hv::test::FakeCommands commands;
    hv::ui::ConfigureForm form(host, commands);
    hv::ui::QForm viewer(host);
    form.txtEmailAddress.SetText(L"pager@example.com");
    standin::Config config;
    config.calendarText = DayOf(n);
    config.topFolderName = L"Mailbox - Bench";
    auto server = standin::CreateServer(config);
    hv::outlook::OutlookAutomation engine(host, form.Settings(), viewer.txtQ,
                                          [&] { return server->CreateApplication(); });
    engine.OpenOutlookSession();

    auto tick = [&] {
        engine.ScanTodaysAppointments();
        for (int i = 1; i <= engine.PendingCount(); ++i)
            if (engine.IsAppointmentDue(i)) engine.SendNotification(i);
    };
    tick();  // warm up
    const long before = server->Count().TotalCalls();
    tick();
    const long calls = server->Count().TotalCalls() - before;

    std::vector<double> times;
    const int runs = n >= 1000 ? 7 : 21;
    for (int r = 0; r < runs; ++r) {
        const auto t0 = std::chrono::steady_clock::now();
        tick();
        times.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count());
    }
    std::sort(times.begin(), times.end());
    return {n, engine.PendingCount(), calls, times[times.size() / 2]};
}

}  // namespace

int main() {
    ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    std::printf("%8s %8s %14s %16s %14s\n", "N", "pending", "calls/tick", "calls/entry", "median ms");
    for (int n : {10, 100, 1000}) {
        const Row r = Measure(n);
        std::printf("%8d %8d %14ld %16.2f %14.2f\n", r.n, r.pending, r.callsPerTick,
                    r.pending ? static_cast<double>(r.callsPerTick) / r.pending : 0.0, r.median);
    }
    ::CoUninitialize();
    return 0;
}
