// The calendar engine against the Outlook stand-in through IDispatch, with the clock set per test:
// the daily scan, the due tests, the messages and the sent log.
#include <windows.h>

#include <cstdlib>

#include <gtest/gtest.h>

#include "tests/outlook/EngineFixture.h"
#include "tests/support/PendingLines.h"
#include "toolkit/AnsiText.h"
#include "toolkit/DateForms.h"

namespace hv::test {
namespace {

Event Budget() {
    Event e;
    e.summary = "Budget review";
    e.start = "20261207T100000";
    e.end = "20261207T110000";
    e.location = "Room 4";
    e.reminderMinutes = 15;
    return e;
}

Event At(const std::string& summary, const std::string& hhmm, int reminder = -1) {
    Event e;
    e.summary = summary;
    e.start = "20261207T" + hhmm + "00";
    e.end = "20261207T" + hhmm + "00";
    e.reminderMinutes = reminder;
    return e;
}

using Engine = EngineTest;

TEST_F(Engine, TheRoadOfOneAppointment) {
    Start({Budget()});
    Tick(9, 44, 57);
    EXPECT_EQ(List(), kBudgetReviewLine);
    EXPECT_TRUE(Sent().empty());

    Tick(9, 45, 2);
    const auto sent = Sent();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].subject, L"Budget review (10:00 AM - 11:00 AM) >Room 4");
    EXPECT_EQ(sent[0].to, L"pager@example.com");
    EXPECT_EQ(engine->SentLog.size(), 1u);

    Tick(9, 45, 7);
    EXPECT_EQ(List(), kNothingPending);
    EXPECT_EQ(engine->PendingCount(), 0);
    EXPECT_EQ(Sent().size(), 1u);
}

struct DueCase {
    const char* name;
    Event event;
    int hour, minute, second;
    bool listed, due;
};

TEST_F(Engine, DueAndPastBoundaries) {
    Event allDay = At("Holiday", "0000");
    allDay.start = "20261207";
    allDay.end = "20261208";
    const DueCase cases[] = {
        {"reminder: a second early", Budget(), 9, 44, 59, true, false},
        {"reminder: first second", Budget(), 9, 45, 0, true, true},
        {"reminder: last second", Budget(), 9, 45, 59, true, true},
        {"reminder: minute after", Budget(), 9, 46, 0, true, false},
        {"reminder: listed at start plus lead", Budget(), 10, 15, 30, true, false},
        {"reminder: past a minute later", Budget(), 10, 16, 0, false, false},
        {"no reminder: due at start", At("Call", "1000"), 10, 0, 0, true, true},
        {"no reminder: end of due minute", At("Call", "1000"), 10, 0, 59, true, true},
        {"no reminder: past after", At("Call", "1000"), 10, 1, 0, false, false},
        {"all day: due at any poll", allDay, 14, 3, 0, true, true},
        {"all day: never past", allDay, 23, 59, 0, true, true},
        {"lead past midnight: due in the first minute", At("Early", "0010", 15), 0, 0, 30, true, true},
        {"lead past midnight: listed until start plus lead", At("Early", "0010", 15), 0, 25, 0, true, false},
        {"lead past midnight: past afterwards", At("Early", "0010", 15), 0, 26, 0, false, false},
        {"half past midnight: due then", At("Night", "0030"), 0, 30, 0, true, true},
        {"half past noon: not due half a day early", At("Lunch", "1230"), 0, 30, 0, true, false},
        {"half past noon: due then", At("Lunch", "1230"), 12, 30, 59, true, true},
    };
    for (const DueCase& c : cases) {
        WriteCalendar({c.event});
        if (!engine) Start({c.event});
        host.SetTime(c.hour, c.minute, c.second);
        engine->ScanTodaysAppointments();
        EXPECT_EQ(engine->PendingCount(), c.listed ? 1 : 0) << c.name;
        if (c.listed) { EXPECT_EQ(engine->IsAppointmentDue(1), c.due) << c.name; }
    }
}

TEST_F(Engine, ReminderAndCategoryFilters) {
    Event travel = At("Travel", "1300", 10), office = At("Office", "1400"), lower = At("lower", "1500", 5),
          none = At("None", "1600", 5);
    travel.categories = "Home,Travel";
    office.categories = "HomeOffice";
    lower.categories = "home";
    Start({travel, office, lower, none});
    Tick(12, 0);
    EXPECT_EQ(engine->PendingCount(), 4);

    settings.SetValue(settings::kReminder, 1);
    Tick(12, 0);
    EXPECT_EQ(List(), L"01:00 PM - Travel\r\n03:00 PM - lower\r\n04:00 PM - None\r\n");

    settings.SetValue(settings::kReminder, 0);
    settings.SetText(settings::kCategoryText, L"Home");
    Tick(12, 0);
    EXPECT_EQ(List(), L"01:00 PM - Travel\r\n02:00 PM - Office\r\n");
    settings.SetText(settings::kCategoryText, L"");
    Tick(12, 0);
    EXPECT_EQ(engine->PendingCount(), 4);
}

struct SubjectCase {
    const char* ticked;  // S T L O
    const wchar_t* subject;
};

TEST_F(Engine, SubjectLineFromTheTickedOptions) {
    Event e = At("Budget review", "0900");
    e.end = "20261207T100000";
    e.location = "Room 4";
    e.organizer = "Pat Lee";
    e.description = "Bring the figures";
    Start({e});
    const SubjectCase cases[] = {
        {"....", L"Appointment"},
        {"S...", L"Budget review"},
        {"ST..", L"Budget review (09:00 AM - 10:00 AM)"},
        {"STLO", L"Budget review (09:00 AM - 10:00 AM) >Room 4 / Pat Lee"},
        {".TL.", L" (09:00 AM - 10:00 AM) >Room 4"},
        {"...O", L" / Pat Lee"},
    };
    const settings::Setting* boxes[] = {&settings::kSubject, &settings::kStartEndTime, &settings::kLocation,
                                        &settings::kOrganizer};
    size_t expected = 0;
    for (const SubjectCase& c : cases) {
        for (int i = 0; i < 4; ++i) settings.SetValue(*boxes[i], c.ticked[i] != '.');
        Tick(8, 30);
        ASSERT_EQ(engine->PendingCount(), 1);
        EXPECT_EQ(engine->SendNotification(1), outlook::SendResult::Sent);
        const auto sent = Sent();
        ASSERT_EQ(sent.size(), ++expected);
        EXPECT_EQ(sent.back().subject, c.subject) << c.ticked;
        EXPECT_EQ(sent.back().body, L"") << "no body without the option";
        engine->SentLog.clear();
    }
    settings.SetValue(settings::kComments, 1);
    Tick(8, 30);
    engine->SendNotification(1);
    EXPECT_EQ(Sent().back().body, L"Bring the figures");
}

TEST_F(Engine, SubjectLineSpecialCases) {
    Event allDay = At("Holiday", "0000");
    allDay.start = "20261207";
    allDay.end = "20261208";
    allDay.location = "Home";
    Event mine = At("My meeting", "1100");
    mine.organizer = "Test User";  // the stand-in's current user
    Event nowhere = At("Nowhere", "1200");
    Start({allDay, mine, nowhere});
    settings.SetValue(settings::kOrganizer, 1);
    host.SetTime(8, 0, 0);
    engine->ScanTodaysAppointments();
    ASSERT_EQ(engine->PendingCount(), 3);
    engine->SendNotification(1);
    engine->SendNotification(2);
    settings.SetValue(settings::kSubject, 0);
    settings.SetValue(settings::kStartEndTime, 0);
    settings.SetValue(settings::kOrganizer, 0);
    engine->SendNotification(3);  // only the location, which is empty
    EXPECT_EQ(SentSubjects(),
              (std::vector<std::wstring>{L"Holiday (All Day) >Home", L"My meeting (11:00 AM - 11:00 AM)", L""}));
    // Without the organizer the user's name (a security prompt) could change nothing: not asked.
    settings.SetValue(settings::kOrganizer, 1);
    server->Faults().Fail(L"AppointmentItem", L"Organizer", L"Injected failure");
    const long userReads = server->Count().Calls(L"NameSpace", L"CurrentUser");
    EXPECT_EQ(engine->SendNotification(3), outlook::SendResult::Sent);
    EXPECT_EQ(server->Count().Calls(L"NameSpace", L"CurrentUser"), userReads);
    EXPECT_EQ(SentSubjects().back(), L"");
}

TEST_F(Engine, TestMessageIgnoresTheOptionsAndTheLog) {
    Start({Budget()});
    settings.SetValue(settings::kSubject, 0);
    settings.SetValue(settings::kComments, 1);
    Tick(9, 0);
    const std::wstring list = List();
    EXPECT_EQ(engine->SendNotification(0), outlook::SendResult::Sent);
    const auto sent = Sent();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].subject, L"Test Appointment");
    EXPECT_EQ(sent[0].body, L"Sent from Quil - Horavane");
    EXPECT_TRUE(engine->SentLog.empty());
    EXPECT_EQ(engine->PendingCount(), 1);
    EXPECT_EQ(List(), list);
}

TEST_F(Engine, UnresolvedAddressShowsTheAddressAndSendsNothing) {
    Start({Budget()}, L"not an address");
    Tick(9, 45, 1);
    Tick(9, 45, 6);
    EXPECT_TRUE(Sent().empty());
    EXPECT_TRUE(engine->SentLog.empty());
    ASSERT_EQ(host.boxes.size(), 2u) << "tried again at the next poll in the minute";
    EXPECT_EQ(host.boxes[0].text, L"Unable to resolve address.\r\nnot an address");
    EXPECT_EQ(host.boxes[0].style, static_cast<UINT>(MB_OK | MB_ICONINFORMATION));
    EXPECT_EQ(host.boxes[0].title, L"Horavane");
}

TEST_F(Engine, SentLogLivesForOneDay) {
    Event daily = At("Stand-up", "0930");
    daily.rrule = "FREQ=DAILY;COUNT=5";
    Start({daily});
    Tick(9, 30, 3);
    EXPECT_EQ(Sent().size(), 1u);
    Tick(9, 30, 8);
    EXPECT_EQ(Sent().size(), 1u);
    host.SetNow(2026, 12, 8, 0, 0, 5);
    engine->ScanTodaysAppointments();
    EXPECT_TRUE(engine->SentLog.empty()) << "the first scan of a new day empties the log";
    EXPECT_EQ(engine->LastScanDate, toolkit::ShortDate(host.Now()));
    Tick(9, 30, 2);
    EXPECT_EQ(Sent().size(), 2u);
}

TEST_F(Engine, AChangedAppointmentIsNotifiedAgain) {
    Start({At("Call Pat", "1000")});
    Tick(10, 0, 1);
    ASSERT_EQ(Sent().size(), 1u);
    WriteCalendar({At("Call Pat and Sam", "1000")});
    Tick(10, 0, 6);
    EXPECT_EQ(SentSubjects(), (std::vector<std::wstring>{L"Call Pat (10:00 AM - 10:00 AM)",
                                                         L"Call Pat and Sam (10:00 AM - 10:00 AM)"}));
}

TEST_F(Engine, TwinsDueInOneTickAreBothSent) {
    Start({At("Twin", "1000"), At("Twin", "1000"), At("Other", "1000")});
    Tick(10, 0, 2);
    EXPECT_EQ(Sent().size(), 3u);
    Tick(10, 0, 7);
    EXPECT_EQ(Sent().size(), 3u);
}

TEST_F(Engine, HundredsOfAppointmentsInADayAreEachNotifiedOnceInTheirMinute) {
    std::vector<Event> events;
    for (int i = 0; i < 150; ++i) {
        const int minute = 6 * 60 + i * 5;  // 06:00 to 18:25
        char hhmm[8];
        std::snprintf(hhmm, sizeof hhmm, "%02d%02d", minute / 60, minute % 60);
        events.push_back(At(std::string("Appt ") + hhmm, hhmm));
    }
    Start(events);
    settings.SetValue(settings::kStartEndTime, 0);
    settings.SetValue(settings::kLocation, 0);
    std::vector<std::wstring> expected;
    for (int minute = 5 * 60; minute < 19 * 60; ++minute) {
        Tick(minute / 60, minute % 60, 3);
        if (minute >= 6 * 60 && (minute - 6 * 60) % 5 == 0 && (minute - 6 * 60) / 5 < 150) {
            wchar_t s[16];
            ::wsprintfW(s, L"Appt %02d%02d", minute / 60, minute % 60);
            expected.push_back(s);
        }
        ASSERT_EQ(Sent().size(), expected.size()) << "at " << minute / 60 << ":" << minute % 60;
    }
    EXPECT_EQ(SentSubjects(), expected);
}

TEST_F(Engine, AMovedOccurrenceIsNotifiedAtItsOwnTime) {
    Event weekly = At("Team sync", "1000");
    weekly.uid = "sync@tests";
    weekly.start = "20261130T100000";
    weekly.end = "20261130T110000";
    weekly.rrule = "FREQ=WEEKLY;BYDAY=MO;COUNT=6";
    Event movedElsewhere = weekly;  // the 14th moved to a Tuesday
    movedElsewhere.rrule.clear();
    movedElsewhere.recurrenceId = "20261214T100000";
    movedElsewhere.start = "20261215T080000";
    movedElsewhere.end = "20261215T090000";
    movedElsewhere.summary = "Team sync (moved)";
    Event movedToday = weekly;  // today's moved to the afternoon
    movedToday.rrule.clear();
    movedToday.recurrenceId = "20261207T100000";
    movedToday.start = "20261207T143000";
    movedToday.end = "20261207T153000";
    movedToday.summary = "Team sync, afternoon";
    Start({weekly, movedElsewhere, movedToday});
    Tick(9, 0);
    EXPECT_EQ(List(), L"02:30 PM - Team sync, afternoon\r\n");
    Tick(10, 0, 2);
    EXPECT_TRUE(Sent().empty());
    Tick(14, 30, 2);
    EXPECT_EQ(SentSubjects(), (std::vector<std::wstring>{L"Team sync, afternoon (02:30 PM - 03:30 PM)"}));
}

TEST_F(Engine, ListTextExactly) {
    Start({});
    Tick(9, 0);
    EXPECT_EQ(List(), kNothingPending);
    EXPECT_EQ(engine->PendingCount(), 0);

    WriteCalendar({At("", "0930"), At("Two\\nlines", "1000"), At("Last", "2300")});
    Tick(9, 0);
    EXPECT_EQ(List(),
              L"09:30 AM - \r\n"
              L"10:00 AM - Two\r\nlines\r\n"
              L"11:00 PM - Last\r\n");
}

struct FaultCase {
    const wchar_t* kind;
    const wchar_t* member;
    const char* outcome;  // what one poll at the due minute leaves behind
    std::vector<std::wstring> subjects;
    const wchar_t* box;  // the one message box shown, if any
};

TEST_F(Engine, AFailingOutlookCallNeverStopsTheProgram) {
    const wchar_t* const kScanBox = L"Injected failure";
    const wchar_t* const kUnresolved = L"Unable to resolve address.\r\npager@example.com";
    const FaultCase cases[] = {
        {L"Items", L"Find", "scan box, nothing sent", {}, kScanBox},
        {L"Items",
         L"FindNext",
         "scan box, the entry accepted before it still sent",
         {L"Budget review (10:00 AM - 11:00 AM) >Room 4"},
         kScanBox},
        {L"AppointmentItem", L"Subject", "scan box", {}, kScanBox},
        {L"AppointmentItem", L"AllDayEvent", "sent, all day assumed", {L"Budget review (All Day) >Room 4"}, nullptr},
        {L"AppointmentItem", L"ReminderSet", "no lead: not due yet", {}, nullptr},
        {L"AppointmentItem", L"Location", "sent without location", {L"Budget review (10:00 AM - 11:00 AM)"}, nullptr},
        {L"AppointmentItem", L"End", "sent without times", {L"Budget review >Room 4"}, nullptr},
        {L"Recipient", L"Type", "type skipped, still sent", {L"Budget review (10:00 AM - 11:00 AM) >Room 4"}, nullptr},
        {L"MailItem", L"Subject", "sent with an empty subject", {L""}, nullptr},
        {L"Application", L"CreateItem", "unresolved box, nothing sent", {}, kUnresolved},
        {L"Recipients", L"Add", "unresolved box, nothing sent", {}, kUnresolved},
        {L"Recipient", L"Resolve", "unresolved box, nothing sent", {}, kUnresolved},
        {L"MailItem", L"Send", "not sent, not logged", {}, nullptr},
    };
    for (const FaultCase& c : cases) {
        SCOPED_TRACE(c.outcome);
        engine.reset();
        RemoveFolder(outbox);
        host.boxes.clear();
        Start({Budget()});
        server->Faults().Fail(c.kind, c.member, L"Injected failure", 0);
        Tick(9, 45, 3);
        EXPECT_EQ(SentSubjects(), c.subjects);
        EXPECT_EQ(engine->SentLog.size(), c.subjects.size());
        EXPECT_EQ(host.boxes.size(), c.box ? 1u : 0u);
        if (c.box && !host.boxes.empty()) { EXPECT_EQ(host.boxes[0].text, c.box); }
        server->Faults().Reset();
    }
}

TEST_F(Engine, AFailedSendIsRetriedInTheMinuteAndLoggedOnce) {
    Start({Budget()});
    server->Faults().Fail(L"MailItem", L"Send", L"Declined by the user", 1);
    Tick(9, 45, 1);
    EXPECT_TRUE(Sent().empty());
    EXPECT_TRUE(engine->SentLog.empty());
    Tick(9, 45, 6);
    EXPECT_EQ(Sent().size(), 1u);
    EXPECT_EQ(engine->SentLog.size(), 1u);
    Tick(9, 45, 11);
    EXPECT_EQ(Sent().size(), 1u);
}

constexpr wchar_t kNotRunning[] = L"-- Outlook is not running --";

// Outlook's process must be seen on two polls in a row, both after Outlook went away: until then
// no attach is tried, since COM would start an Outlook that is still closing again.
TEST_F(Engine, AGoneOutlookIsAttachedToOnceItsProcessRunsOnTwoPollsAndNothingIsSentTwice) {
    Start({Budget(), At("While closed", "1030"), At("Later", "1100")});
    Tick(9, 45, 2);
    ASSERT_EQ(Sent().size(), 1u);
    server->Faults().GoAway();  // the user closes Outlook, whose process takes a while to end
    Tick(10, 29, 57);
    Tick(10, 30, 2);
    EXPECT_GT(server->Count().LiveObjects(), 0) << "an Outlook that COM started for the program would end";
    outlookRunning = false;
    Tick(10, 30, 7);
    outlookRunning = true;  // seen once, between two polls that saw none
    Tick(10, 30, 12);
    outlookRunning = false;
    Tick(10, 30, 17);
    EXPECT_EQ(attaches, 0);
    EXPECT_TRUE(host.boxes.empty()) << (host.boxes.empty() ? L"" : host.boxes[0].text);
    EXPECT_EQ(List(), kNotRunning);
    EXPECT_EQ(Sent().size(), 1u);
    outlookRunning = true;  // started again, first as administrator: out of this program's reach
    outlookReachable = false;
    Tick(10, 59, 47);
    Tick(10, 59, 52);
    EXPECT_EQ(attaches, 1);
    EXPECT_TRUE(host.boxes.empty()) << (host.boxes.empty() ? L"" : host.boxes[0].text);
    // Its minute went by while Outlook was closed, and it has started: lost, and the user is told.
    const std::wstring lost = L"-- 10:30 AM - While closed: not sent, Outlook is not running --\r\n";
    EXPECT_EQ(List(), kNotRunning + std::wstring(L"\r\n") + lost);
    ASSERT_EQ(balloons.size(), 1u);
    EXPECT_NE(balloons[0].find(L"10:30 AM - While closed"), std::wstring::npos) << balloons[0];
    outlookReachable = true;
    Tick(10, 59, 57);
    EXPECT_EQ(List(), L"11:00 AM - Later\r\n" + lost);
    Tick(11, 0, 2);
    EXPECT_EQ(SentSubjects().back(), L"Later (11:00 AM - 11:00 AM)");
    Tick(11, 0, 7);
    EXPECT_EQ(Sent().size(), 2u) << "the sent log survived the reconnection";
    server->Faults().GoAway();  // closed again: what was seen before does not count
    Tick(11, 0, 12);
    Tick(11, 0, 17);
    EXPECT_EQ(attaches, 2);
    EXPECT_TRUE(host.boxes.empty());
}

// Only a failure that means Outlook's process has gone reads "not running"; any other is reported.
TEST_F(Engine, OnlyAGoneOutlookIsNotRunningOtherFailuresAreReported) {
    const struct {
        HRESULT code;
        bool gone;
    } cases[] = {
        {RPC_E_SERVERFAULT, false},
        {RPC_E_DISCONNECTED, true},
        {HRESULT_FROM_WIN32(RPC_S_SERVER_UNAVAILABLE), true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(static_cast<unsigned long>(c.code)));
        engine.reset();
        host.boxes.clear();
        Start({Budget()});
        server->Faults().Fail(L"Items", L"Find", L"Injected failure", 1, c.code);
        Tick(9, 44, 57);
        EXPECT_EQ(host.boxes.size(), c.gone ? 0u : 1u);
        EXPECT_EQ(List() == kNotRunning, c.gone);
    }
}

// Outlook gone after the scan: no "Unable to resolve address.", and the entry is sent in its
// minute once Outlook is attached again.
TEST_F(Engine, OutlookGoneBeforeTheSendIsWaitedForNotReported) {
    Start({Budget()});
    server->Faults().Fail(L"Application", L"CreateItem", L"Gone", 1, RPC_E_DISCONNECTED);
    Tick(9, 45, 1);
    EXPECT_TRUE(host.boxes.empty()) << (host.boxes.empty() ? L"" : host.boxes[0].text);
    EXPECT_TRUE(Sent().empty());
    EXPECT_EQ(List(), kNotRunning);
    Tick(9, 45, 6);
    Tick(9, 45, 11);
    Tick(9, 45, 16);
    EXPECT_EQ(SentSubjects(), std::vector<std::wstring>{L"Budget review (10:00 AM - 11:00 AM) >Room 4"});
    EXPECT_TRUE(host.boxes.empty());
}

TEST_F(Engine, ABusyOutlookIsWaitedForWhileTheSessionOpensAndLessAfterwards) {
    WriteCalendar({Budget()});
    server = standin::CreateServer(config);
    settings.store.LoadSettings();
    settings.SetText(settings::kEmailAddress, L"pager@example.com");
    engine = MakeEngine([this] { return server->CreateApplication(); });
    server->Faults().RejectCalls(6);
    ASSERT_NE(engine->OpenOutlookSession(), L"Nothing");
    EXPECT_EQ(server->Count().RejectedCalls(), 6);
    EXPECT_FALSE(host.sleeps.empty());

    host.sleeps.clear();
    server->Faults().RejectCalls(1000000);  // busy for good: ten seconds of waiting, then the failure
    Tick(9, 45, 2);
    DWORD waited = 0;
    for (DWORD ms : host.sleeps) waited += ms;
    EXPECT_EQ(waited, outlook::AutomationClient::kPatienceAfterOpening);
    ASSERT_EQ(host.boxes.size(), 1u);
    EXPECT_TRUE(Sent().empty());

    host.sleeps.clear();
    EXPECT_EQ(engine->OpenOutlookSession(), L"Nothing");
    waited = 0;
    for (DWORD ms : host.sleeps) waited += ms;
    EXPECT_EQ(waited, outlook::AutomationClient::kPatienceWhileOpening);
}

TEST_F(Engine, EachMemberIsLookedUpOncePerInterfaceAndReadOncePerPoll) {
    Start({Budget(), At("Second", "1100", 0)});
    Tick(9, 45, 2);  // sends Budget review: every member used once
    ASSERT_EQ(Sent().size(), 1u);
    const long lookups = server->Count().NameLookups(), starts = server->Count().Calls(L"AppointmentItem", L"Start");
    Tick(11, 0, 2);  // another poll that sends
    EXPECT_EQ(server->Count().NameLookups(), lookups);
    // MailItem.Subject and AppointmentItem.Subject have different DISPIDs here: the message
    // carries the right subject only when each interface keeps its own.
    EXPECT_EQ(SentSubjects().back(), L"Second (11:00 AM - 11:00 AM)");
    EXPECT_EQ(server->Count().Calls(L"AppointmentItem", L"Start") - starts, 2) << "once for each appointment found";
    // A session opened again (Outlook may be another process now) learns every member afresh.
    ASSERT_NE(engine->OpenOutlookSession(), L"Nothing");
    EXPECT_GT(server->Count().NameLookups(), lookups);
}

// Late rather than never: a notification whose minute went by while the program could not poll or
// send is sent once, at the first poll that can, while its appointment has not started; not for
// minutes the program's own box held; once only when the clocks go back; and a minute the clock
// skipped is due in the first minute after the gap, not late.
TEST_F(Engine, AMissedMinuteIsSentLateOnceWhileItsAppointmentHasNotStarted) {
    const Event next = At("Next", "1000", 14);  // due at 09:46, a minute after the budget review
    const auto restart = [&](const std::vector<Event>& events) {
        engine.reset();
        RemoveFolder(outbox);
        balloons.clear();
        host.boxes.clear();
        host.onBox = nullptr;
        Start(events);
    };
    const auto asleep = [&](int seconds) {  // the clock and the tick count go on, no poll comes
        host.Advance(seconds);
        host.ticks += seconds * 1000ULL;
        engine->Poll();
    };
    {
        SCOPED_TRACE("asleep across the minute, awake before the start");
        restart({Budget(), next});
        Tick(9, 44, 40);
        asleep(90);  // 09:46:10
        EXPECT_EQ(Sent().size(), 2u) << "the missed one late, the next one in its minute";
        EXPECT_NE(List().find(L"-- 10:00 AM - Budget review: sent late at 09:46 AM --"), std::wstring::npos) << List();
        EXPECT_EQ(balloons.size(), 1u);
        asleep(5);
        EXPECT_EQ(Sent().size(), 2u);
    }
    {
        SCOPED_TRACE("asleep until the start");
        restart({Budget()});
        Tick(9, 44, 40);
        asleep(15 * 60 + 20);  // 10:00:00
        EXPECT_TRUE(Sent().empty());
        ASSERT_EQ(balloons.size(), 1u);
        EXPECT_NE(balloons[0].find(L"has started"), std::wstring::npos) << balloons[0];
    }
    {
        SCOPED_TRACE("the program's own box holds the poll");
        restart({Budget(), next});
        server->Faults().Fail(L"Items", L"Find", L"The operation failed.", 1);
        host.onBox = [&] {
            host.Advance(150);
            host.ticks += 150000;
        };
        Tick(9, 45, 2);  // the box stays up until 09:47:32
        host.onBox = nullptr;
        asleep(3);
        EXPECT_EQ(host.boxes.size(), 1u);
        EXPECT_TRUE(Sent().empty());
        EXPECT_TRUE(balloons.empty());
    }
    {
        SCOPED_TRACE("Outlook's prompt holds the first send across the next one's minute");
        restart({Budget(), next});
        server->Faults().During(L"MailItem", L"Send", [&] {
            if (!Sent().empty() || host.Now().wMinute != 45) return;
            host.ticks += 9000;  // the call watch's ticks: told once, after ten seconds
            engine->WatchWaitingSend();
            EXPECT_TRUE(balloons.empty());
            host.Advance(120);
            host.ticks += 111000;
            engine->WatchWaitingSend();
            engine->WatchWaitingSend();
        });
        Tick(9, 45, 2);
        ASSERT_EQ(balloons.size(), 1u);
        EXPECT_NE(balloons[0].find(L"security prompt"), std::wstring::npos) << balloons[0];
        asleep(5);  // 09:47:07
        EXPECT_EQ(SentSubjects(), (std::vector<std::wstring>{L"Budget review (10:00 AM - 11:00 AM) >Room 4",
                                                             L"Next (10:00 AM - 10:00 AM)"}));
        EXPECT_EQ(balloons.size(), 2u) << "and one for the late one";
        asleep(5);
        EXPECT_EQ(Sent().size(), 2u);
        engine->WatchWaitingSend();  // nothing is waiting any more
        EXPECT_EQ(balloons.size(), 2u);
    }
    {
        SCOPED_TRACE("the clocks go back an hour");
        restart({Budget()});
        Tick(9, 45, 2);
        Tick(9, 44, 58);
        Tick(9, 45, 3);
        EXPECT_EQ(Sent().size(), 1u);
    }
    {
        SCOPED_TRACE("the clocks go forward over the due minute");
        restart({At("Early", "0315", 45)});  // due at 02:30, a minute that does not come
        Tick(1, 59, 58);
        host.ticks += 5000;
        Tick(3, 0, 3);
        EXPECT_EQ(Sent().size(), 1u);
        EXPECT_TRUE(balloons.empty()) << "not late: due now";
        EXPECT_EQ(List(), L"03:15 AM - Early\r\n") << "no status line";
    }
}

TEST_F(Engine, OnePollReadsTheClockOnceSoASlowFirstSendLosesNoOtherEntry) {
    Start({Budget(), At("Same minute", "0945")});
    host.SetTime(9, 45, 50);
    host.secondsPerReading = 30;  // every reading of the clock comes half a minute later
    engine->Poll();
    EXPECT_EQ(Sent().size(), 2u);
}

TEST_F(Engine, ASendDeniedAtTheSecurityPromptIsFinalAndAFailedAllDaySendEndsWithItsMinute) {
    Event holiday;
    holiday.summary = "Holiday";
    holiday.start = "20261207";
    holiday.end = "20261208";
    Start({Budget(), holiday});
    server->Faults().Fail(L"MailItem", L"Send", L"Operation aborted", 0, E_ABORT);
    Tick(9, 45, 2);
    Tick(9, 45, 7);
    EXPECT_EQ(server->Count().Calls(L"MailItem", L"Send"), 2) << "one try each, never asked again";
    EXPECT_EQ(List(),
              L"-- No Appointments Pending --\r\n-- 12:00 AM - Holiday: refused by Outlook --\r\n"
              L"-- 10:00 AM - Budget review: refused by Outlook --\r\n");
    EXPECT_EQ(balloons.size(), 2u) << "one balloon for each refused appointment";
    EXPECT_TRUE(host.boxes.empty());

    server->Faults().Reset();
    Start({holiday});
    server->Faults().Fail(L"MailItem", L"Send", L"The operation failed.");
    Tick(9, 0, 2);
    Tick(9, 0, 7);  // tried again inside the minute of the first try
    Tick(9, 1, 2);  // not after it
    Tick(9, 2, 2);
    EXPECT_EQ(server->Count().Calls(L"MailItem", L"Send"), 2);
    EXPECT_EQ(List(), kNothingPending);
}

TEST_F(Engine, NoObjectIsLeakedOverManyScans) {
    Event weekly = At("Weekly", "1000");
    weekly.rrule = "FREQ=DAILY";
    Start({Budget(), weekly, At("Other", "1500")});
    Tick(8, 0);
    const long afterFirst = server->Count().LiveObjects();
    for (int i = 0; i < 1000; ++i) engine->ScanTodaysAppointments();
    EXPECT_EQ(server->Count().LiveObjects(), afterFirst);
    engine->CloseOutlookSession();
    EXPECT_EQ(server->Count().LiveObjects(), 0);
}

// Run a second and third time under other user locales (see CMakeLists.txt): the day filter, the
// list and the sent-log keys must work in each.
TEST_F(EngineTest, LocaleDayFilterAndKeys) {
    if (const char* expected = std::getenv("HV_EXPECT_LOCALE")) {
        wchar_t name[LOCALE_NAME_MAX_LENGTH] = L"";
        ::GetUserDefaultLocaleName(name, LOCALE_NAME_MAX_LENGTH);
        ASSERT_EQ(toolkit::ToUtf8(name), expected) << "the user locale was not switched";
    }
    // The day's bounds in the user's own time format without seconds, as the system writes it;
    // where that format has AM/PM designators, the literal forms.
    const std::wstring day = toolkit::ShortDate(host.Now());
    wchar_t first[80] = L"", last[80] = L"", format[80] = L"";
    SYSTEMTIME midnight = host.Now(), lastMinute = host.Now();
    midnight.wHour = midnight.wMinute = midnight.wSecond = 0;
    lastMinute.wHour = 23;
    lastMinute.wMinute = 59;
    ::GetTimeFormatEx(LOCALE_NAME_USER_DEFAULT, TIME_NOSECONDS, &midnight, nullptr, first, 80);
    ::GetTimeFormatEx(LOCALE_NAME_USER_DEFAULT, TIME_NOSECONDS, &lastMinute, nullptr, last, 80);
    ::GetLocaleInfoEx(LOCALE_NAME_USER_DEFAULT, LOCALE_STIMEFORMAT, format, 80);
    const bool designators = std::wstring(format).find(L't') != std::wstring::npos;
    EXPECT_EQ(outlook::DayFilter(day), L"[Start] >= \"" + day + L" " + (designators ? L"00:00 AM" : first) +
                                           L"\" and [Start] <= \"" + day + L" " + (designators ? L"11:59 PM" : last) +
                                           L"\"");

    Event allDay;
    allDay.summary = "Holiday";
    allDay.start = "20261207";
    allDay.end = "20261208";
    Event tomorrow;
    tomorrow.summary = "Tomorrow";
    tomorrow.start = "20261208T100000";
    tomorrow.end = "20261208T110000";
    Start({Budget(), allDay, tomorrow, At("Afternoon", "1500"), At("Late", "2330")});
    Tick(9, 45, 2);
    EXPECT_EQ(engine->PendingCount(), 4) << "today's four, afternoon and evening included, not tomorrow's";
    EXPECT_EQ(Sent().size(), 2u) << "the all-day event at the first poll and the meeting in its minute";
    Tick(9, 45, 7);
    EXPECT_EQ(engine->PendingCount(), 2);
    EXPECT_EQ(Sent().size(), 2u);
    Tick(23, 30, 1);
    EXPECT_EQ(Sent().size(), 3u) << "the evening appointment in its minute";
    Tick(23, 30, 6);
    EXPECT_EQ(List(), kNothingPending);
}

}  // namespace
}  // namespace hv::test
