// The calendar reader on calendars written by others (the test calendars of Debian's
// python3-icalendar) and on calendars shaped like Outlook, Google and Thunderbird exports. The
// machine's zone is a fixed UTC-3 here, so that every zone conversion shows in the values.
#include <cwchar>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "standin/Calendar.h"
#include "standin/CivilTime.h"
#include "standin/LocalZone.h"

namespace standin {
namespace {

const FixedOffsetZone kUtcMinus3(-180, {L"Test Standard Time"});
const std::wstring kOwner = L"Test User";

std::string ReadData(const std::string& relative) {
    std::ifstream in(std::string(HV_TEST_DATA_DIR) + "/" + relative, std::ios::binary);
    EXPECT_TRUE(in) << relative;
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::wstring At(Ticks t) {
    const CivilDateTime c = FromTicks(t);
    wchar_t text[32];
    std::swprintf(text, 32, L"%04d-%02d-%02d %02d:%02d", c.year, c.month, c.day, c.hour, c.minute);
    return text;
}

Ticks Day(int y, int m, int d) { return ToTicks(CivilDateTime{y, m, d}); }

const Event* Named(const Calendar& calendar, const std::wstring& subject) {
    for (const auto& e : calendar.events) {
        if (e->master.subject == subject) return e.get();
    }
    return nullptr;
}

// "start - end" of every occurrence starting in [from, to), with its subject when it differs.
std::vector<std::wstring> Occurrences(const Event& e, Ticks from, Ticks to) {
    std::vector<std::wstring> out;
    for (const auto& o : e.OccurrencesIn(from, to - 1, 1000)) {
        std::wstring line = At(o.values->start) + L" - " + At(o.values->end);
        if (o.values->subject != e.master.subject) line += L" " + o.values->subject;
        out.push_back(line);
    }
    return out;
}

std::vector<std::wstring> Subjects(const Calendar& calendar) {
    std::vector<std::wstring> out;
    for (const auto& e : calendar.events) out.push_back(e->master.subject);
    return out;
}

using Lines = std::vector<std::wstring>;

// ---- calendars from python3-icalendar ----

TEST(StandinForeignCalendars, NoneCrashesAndEachGivesTheEventsItCanBeTrustedFor) {
    const struct {
        const char* file;
        Lines subjects;
    } cases[] = {
        {"encoding.ics", {L"Non-ASCII Test: ÄÖÜ äöü €"}},
        {"issue_112_missing_tzinfo_on_exdate.ics", {L"Market East Live!"}},
        {"issue_53_parsing_failure.ics", {L"DevOps DC Meetup", L"DevOps DC Meetup", L"DevOps DC Meetup"}},
        {"multiple.ics", {L"Christmas Day", L"Boxing Day", L"Christmas again!"}},
        {"recurrence.ics",
         {L"A recurring event with exdates", L"A Recurring event with multiple exdates, one per line."}},
        {"time.ics", {}},
        {"timezone_rdate.ics", {L""}},  // its SUMMARY line has no colon
        {"timezone_same_start.ics", {L"Test 4"}},
        {"timezone_same_start_and_offset.ics", {L"this is an event"}},
        {"timezoned.ics", {L"artsprint 2012"}},
        {"x_location.ics", {L"Daily Sync"}},
        // Two different DTSTART lines: which one is meant cannot be known, so the event is left out.
        {"america_new_york.ics", {}},
        {"pacific_fiji.ics", {}},
    };
    for (const auto& c : cases) {
        const auto calendar = ParseCalendar(ReadData(std::string("icalendar/") + c.file), kUtcMinus3, kOwner);
        EXPECT_EQ(Subjects(*calendar), c.subjects) << c.file;
    }
}

TEST(StandinForeignCalendars, TimesAreConvertedThroughTheFilesOwnZones) {
    const struct {
        const char* file;
        const wchar_t* subject;
        const wchar_t* start;
        const wchar_t* end;
    } cases[] = {
        {"encoding.ics", L"Non-ASCII Test: ÄÖÜ äöü €", L"2010-10-10 07:00", L"2010-10-10 09:00"},         // UTC
        {"issue_53_parsing_failure.ics", L"DevOps DC Meetup", L"2012-07-12 19:30", L"2012-07-12 22:30"},  // EDT
        {"timezone_same_start.ics", L"Test 4", L"2017-02-24 17:00", L"2017-02-24 17:30"},                 // PST
        {"timezone_same_start_and_offset.ics", L"this is an event", L"2017-02-24 00:00", L"2017-02-24 00:30"},
        {"timezoned.ics", L"artsprint 2012", L"2012-02-13 06:00", L"2012-02-17 14:00"},  // CET
        {"timezone_rdate.ics", L"", L"2012-02-13 06:00", L"2012-02-13 06:00"},           // no DTEND
    };
    for (const auto& c : cases) {
        const auto calendar = ParseCalendar(ReadData(std::string("icalendar/") + c.file), kUtcMinus3, kOwner);
        const Event* e = Named(*calendar, c.subject);
        ASSERT_NE(e, nullptr) << c.file;
        EXPECT_EQ(At(e->master.start), c.start) << c.file;
        EXPECT_EQ(At(e->master.end), c.end) << c.file;
        EXPECT_FALSE(e->master.allDay) << c.file;
    }
}

TEST(StandinForeignCalendars, TextsAreUnfoldedAndUnescapedExactly) {
    const auto meetup = ParseCalendar(ReadData("icalendar/issue_53_parsing_failure.ics"), kUtcMinus3, kOwner);
    // The fold removes exactly one blank: "Washington" and "D.C." meet.
    EXPECT_EQ(meetup->events.at(0)->master.location,
              L"Fathom Creative, Inc. (1333 14th Street Northwest, WashingtonD.C., DC 20005)");
    EXPECT_EQ(meetup->events.at(0)->master.body.substr(0, 46), L"DevOpsDC\r\nThursday, July 12 at 6:30 PM\r\n\r\nThis");

    const auto encoded = ParseCalendar(ReadData("icalendar/encoding.ics"), kUtcMinus3, kOwner);
    EXPECT_EQ(encoded->events.at(0)->master.location, L"Tribstrül");
    EXPECT_EQ(encoded->events.at(0)->master.body, L"icalendar should be able to handle non-ascii: €äüöÄÜÖ.");

    const auto sync = ParseCalendar(ReadData("icalendar/x_location.ics"), kUtcMinus3, kOwner);
    EXPECT_EQ(sync->events.at(0)->master.location, L"Roadstar 16\r\n12764 Happyville\r\nDenmark");
}

TEST(StandinForeignCalendars, WeeklySeriesWithExdatesGivenOutOfOrder) {
    const auto calendar =
        ParseCalendar(ReadData("icalendar/issue_112_missing_tzinfo_on_exdate.ics"), kUtcMinus3, kOwner);
    const Event& market = *calendar->events.at(0);
    // Fridays and Saturdays at noon New York time (EDT), until the night of 24 October.
    EXPECT_EQ(Occurrences(market, Day(2013, 10, 1), Day(2013, 11, 1)),
              (Lines{L"2013-10-04 13:00 - 2013-10-04 18:00", L"2013-10-05 13:00 - 2013-10-05 18:00",
                     L"2013-10-18 13:00 - 2013-10-18 18:00", L"2013-10-19 13:00 - 2013-10-19 18:00"}));
    ASSERT_EQ(market.exceptions.size(), 2u);  // listed 12th then 11th in the file
    EXPECT_EQ(At(market.exceptions[0].originalStart), L"2013-10-11 13:00");
    EXPECT_EQ(At(market.exceptions[1].originalStart), L"2013-10-12 13:00");
    EXPECT_FALSE(market.exceptions[0].changed);
    EXPECT_EQ(Occurrences(market, Day(2013, 9, 1), Day(2014, 1, 1)).size(), 11u);
}

TEST(StandinForeignCalendars, EachOccurrenceTakesTheOffsetOfItsOwnDay) {
    const auto calendar = ParseCalendar(ReadData("icalendar/x_location.ics"), kUtcMinus3, kOwner);
    // 14:00 in Zurich is 12:00 UTC in summer time (to 30 October 2016) and 13:00 UTC after it.
    EXPECT_EQ(Occurrences(*calendar->events.at(0), Day(2016, 10, 28), Day(2016, 11, 2)),
              (Lines{L"2016-10-28 09:00 - 2016-10-28 09:30", L"2016-10-31 10:00 - 2016-10-31 10:30",
                     L"2016-11-01 10:00 - 2016-11-01 10:30"}));
}

TEST(StandinForeignCalendars, FloatingSeriesWithUtcExdatesAndAZoneNamedLikeTheMachine) {
    const FixedOffsetZone vienna(0, {L"Europe/Vienna"});
    const auto calendar = ParseCalendar(ReadData("icalendar/recurrence.ics"), vienna, kOwner);
    ASSERT_EQ(Subjects(*calendar),
              (Lines{L"A recurring event with exdates", L"A Recurring event with multiple exdates, one per line."}));
    const Event& daily = *calendar->events[0];
    EXPECT_EQ(Occurrences(daily, Day(1996, 4, 1), Day(1996, 4, 6)),
              (Lines{L"1996-04-01 01:00 - 1996-04-01 02:00", L"1996-04-05 01:00 - 1996-04-05 02:00"}));
    EXPECT_EQ(Occurrences(daily, Day(1996, 1, 1), Day(1997, 1, 1)).size(), 97u);  // COUNT=100, three deleted
    const Event& weekly = *calendar->events[1];
    EXPECT_EQ(weekly.exceptions.size(), 5u);
    EXPECT_EQ(Occurrences(weekly, Day(2012, 3, 1), Day(2012, 8, 1)).size(), 14u - 5u);  // Tuesdays to 26 June
}

TEST(StandinForeignCalendars, SeveralCalendarsInOneFileAndFoldsAfterEmptyLines) {
    const auto calendar = ParseCalendar(ReadData("icalendar/multiple.ics"), kUtcMinus3, kOwner);
    const Event* christmas = Named(*calendar, L"Christmas Day");
    ASSERT_NE(christmas, nullptr);
    EXPECT_TRUE(christmas->master.allDay);
    EXPECT_EQ(At(christmas->master.start), L"2003-12-25 00:00");
    EXPECT_EQ(At(christmas->master.end), L"2003-12-26 00:00");
    const Event* boxing = Named(*calendar, L"Boxing Day");  // no DTEND: one day
    ASSERT_NE(boxing, nullptr);
    EXPECT_EQ(At(boxing->master.end), L"2003-05-02 00:00");
}

// ---- calendars shaped like common clients' exports ----

TEST(StandinClientExports, OutlookExport) {
    const auto calendar = ParseCalendar(ReadData("clients/outlook-export.ics"), kUtcMinus3, kOwner);
    const Event* review = Named(*calendar, L"Budget review");
    ASSERT_NE(review, nullptr);
    const ItemValues& v = review->master;
    EXPECT_EQ(At(v.start), L"2026-12-07 05:30");  // 09:30 W. Europe (+01:00)
    EXPECT_EQ(At(v.end), L"2026-12-07 06:30");
    EXPECT_EQ(v.location, L"Room 4, Building B");
    EXPECT_EQ(v.organizer, L"Pat Lee");
    EXPECT_EQ(v.body, L"Agenda:\r\n1. Budget, Q1\r\n2. Hiring\r\n");
    EXPECT_EQ(v.categories, L"Work, Finance");
    EXPECT_TRUE(v.reminderSet);
    EXPECT_EQ(v.reminderMinutes, 15);
    EXPECT_FALSE(v.recurring);

    const Event* sprint = Named(*calendar, L"Sprint planning");
    ASSERT_NE(sprint, nullptr);
    EXPECT_TRUE(sprint->master.recurring);
    EXPECT_FALSE(sprint->master.reminderSet);
    EXPECT_EQ(sprint->master.organizer, kOwner);  // no ORGANIZER: the user's own appointment
    EXPECT_EQ(Occurrences(*sprint, Day(2026, 12, 1), Day(2027, 1, 1)),
              (Lines{L"2026-12-07 10:00 - 2026-12-07 11:00", L"2026-12-09 10:00 - 2026-12-09 11:00",
                     L"2026-12-11 10:00 - 2026-12-11 11:00", L"2026-12-14 10:00 - 2026-12-14 11:00",
                     L"2026-12-16 10:00 - 2026-12-16 11:00", L"2026-12-18 10:00 - 2026-12-18 11:00"}));

    const Event* holiday = Named(*calendar, L"Company holiday");
    ASSERT_NE(holiday, nullptr);
    EXPECT_TRUE(holiday->master.allDay);
    EXPECT_EQ(At(holiday->master.start), L"2026-12-24 00:00");  // all-day: local midnight, not converted
    EXPECT_EQ(At(holiday->master.end), L"2026-12-25 00:00");
    EXPECT_EQ(holiday->master.reminderMinutes, 18 * 60);

    // The zone's rules start in 1601; the clocks go forward on 29 March 2026 at 02:00.
    EXPECT_EQ(At(Named(*calendar, L"Call before the clocks change")->master.start), L"2026-03-28 05:00");
    EXPECT_EQ(At(Named(*calendar, L"Call after the clocks change")->master.start), L"2026-03-28 22:00");
}

TEST(StandinClientExports, GoogleExport) {
    const auto calendar = ParseCalendar(ReadData("clients/google-export.ics"), kUtcMinus3, kOwner);
    EXPECT_EQ(Subjects(*calendar), (Lines{L"Team sync", L"Thanksgiving", L"Call with Tokyo"}));
    const Event& sync = *calendar->events[0];
    EXPECT_EQ(sync.master.reminderMinutes, 10);
    EXPECT_EQ(sync.master.body, L"Weekly sync. Notes: https://docs.example.com/d/abc?x=1,2&y=3");
    // 09:00 New York (EST) is 11:00 here; the 16th is deleted, the 23rd moved to the 24th at
    // 14:00 New York, the 30th cancelled (kept, marked as Outlook marks it).
    EXPECT_EQ(
        Occurrences(sync, Day(2026, 11, 1), Day(2026, 12, 8)),
        (Lines{L"2026-11-02 11:00 - 2026-11-02 11:30", L"2026-11-09 11:00 - 2026-11-09 11:30",
               L"2026-11-24 16:00 - 2026-11-24 16:30 Team sync (moved)",
               L"2026-11-30 11:00 - 2026-11-30 11:30 Canceled: Team sync", L"2026-12-07 11:00 - 2026-12-07 11:30"}));
    ASSERT_EQ(sync.exceptions.size(), 3u);
    EXPECT_EQ(At(sync.exceptions[0].originalStart), L"2026-11-16 11:00");
    EXPECT_FALSE(sync.exceptions[0].changed);
    EXPECT_EQ(At(sync.exceptions[1].originalStart), L"2026-11-23 11:00");
    ASSERT_TRUE(sync.exceptions[1].changed);
    EXPECT_EQ(sync.exceptions[1].changed->location, L"Offsite, Hall 2");
    EXPECT_TRUE(sync.exceptions[1].changed->recurring);
    ASSERT_TRUE(sync.exceptions[2].changed);
    EXPECT_EQ(sync.exceptions[2].changed->subject, L"Canceled: Team sync");

    const Event* tokyo = Named(*calendar, L"Call with Tokyo");
    EXPECT_EQ(At(tokyo->master.start), L"2026-12-07 12:00");  // 15:00 UTC
    EXPECT_EQ(tokyo->master.organizer, L"Kenji Sato");
    EXPECT_TRUE(Named(*calendar, L"Thanksgiving")->master.allDay);
}

TEST(StandinClientExports, ThunderbirdExport) {
    const auto calendar = ParseCalendar(ReadData("clients/thunderbird-export.ics"), kUtcMinus3, kOwner);
    EXPECT_EQ(Subjects(*calendar), (Lines{L"Zahnarzt – Kontrolle", L"Monatsabschluss", L"Geburtstag Anna"}));
    const ItemValues& dentist = calendar->events[0]->master;
    EXPECT_EQ(dentist.location, L"Praxis Dr. Müller, Hauptstraße 5");  // folded inside the "ü"
    EXPECT_EQ(dentist.categories, L"Privat, Gesundheit");
    EXPECT_EQ(dentist.body, L"Bitte Versichertenkarte mitbringen.\r\nTermin bestätigt.");
    EXPECT_EQ(dentist.reminderMinutes, 60);  // the first alarm counts
    EXPECT_EQ(At(dentist.start), L"2026-12-08 04:15");

    EXPECT_EQ(Occurrences(*calendar->events[1], Day(2026, 1, 1), Day(2028, 1, 1)),
              (Lines{L"2026-10-30 12:00 - 2026-10-30 13:00", L"2026-11-27 12:00 - 2026-11-27 13:00",
                     L"2026-12-25 12:00 - 2026-12-25 13:00", L"2027-01-29 12:00 - 2027-01-29 13:00",
                     L"2027-02-26 12:00 - 2027-02-26 13:00", L"2027-03-26 12:00 - 2027-03-26 13:00"}));
    EXPECT_EQ(Occurrences(*calendar->events[2], Day(2026, 12, 1), Day(2027, 1, 1)),
              (Lines{L"2026-12-09 00:00 - 2026-12-10 00:00"}));
}

// ---- what cannot be read is left out, never guessed ----

std::string Wrap(const std::string& body) { return "BEGIN:VCALENDAR\r\nVERSION:2.0\r\n" + body + "END:VCALENDAR\r\n"; }

std::string VEvent(const std::string& lines) { return "BEGIN:VEVENT\r\nUID:x\r\n" + lines + "END:VEVENT\r\n"; }

TEST(StandinUnreadableContent, EventsThatCannotBeReadFaithfullyAreLeftOut) {
    const struct {
        const char* why;
        std::string lines;
    } cases[] = {
        {"hourly rule", "DTSTART:20261207T090000\r\nRRULE:FREQ=HOURLY\r\n"},
        {"COUNT and UNTIL", "DTSTART:20261207T090000\r\nRRULE:FREQ=DAILY;COUNT=2;UNTIL=20261210\r\n"},
        {"ordinal in a weekly rule", "DTSTART:20261207T090000\r\nRRULE:FREQ=WEEKLY;BYDAY=2MO\r\n"},
        {"BYHOUR", "DTSTART:20261207T090000\r\nRRULE:FREQ=DAILY;BYHOUR=9,17\r\n"},
        {"RDATE period without its end", "DTSTART:20261207T090000\r\nRDATE;VALUE=PERIOD:20261209T090000\r\n"},
        {"unreadable date", "DTSTART:2026-12-07 09:00\r\n"},
        {"impossible date", "DTSTART:20260230T090000\r\n"},
        {"end before start", "DTSTART:20261207T090000\r\nDTEND:20261207T080000\r\n"},
        {"date end with time start", "DTSTART:20261207T090000\r\nDTEND;VALUE=DATE:20261208\r\n"},
        {"DTEND and DURATION", "DTSTART:20261207T090000\r\nDTEND:20261207T100000\r\nDURATION:PT1H\r\n"},
        {"two different subjects", "DTSTART:20261207T090000\r\nSUMMARY:A\r\nSUMMARY:B\r\n"},
        {"unreadable EXDATE", "DTSTART:20261207T090000\r\nRRULE:FREQ=DAILY\r\nEXDATE:tomorrow\r\n"},
        {"no DTSTART", "SUMMARY:Nothing to place\r\n"},
        {"broken quoting", "DTSTART;TZID=\"Europe/Berlin:20261207T090000\r\n"},
        {"period value", "DTSTART;VALUE=PERIOD:20261207T090000Z/PT1H\r\n"},
    };
    for (const auto& c : cases) {
        const auto calendar = ParseCalendar(Wrap(VEvent(c.lines)), kUtcMinus3, kOwner);
        EXPECT_TRUE(calendar->events.empty()) << c.why;
    }
}

TEST(StandinUnreadableContent, BrokenPiecesAroundAGoodEventDoNotChangeIt) {
    const std::string good = "DTSTART:20261207T090000\r\nDTEND:20261207T100000\r\nSUMMARY:Kept\r\n";
    const struct {
        const char* why;
        std::string text;
    } cases[] = {
        {"malformed lines", Wrap(VEvent(good + "LOCATION\r\n;X=1:y\r\n:novalue\r\n"))},
        {"unknown component inside", Wrap(VEvent(good + "BEGIN:X-THING\r\nSUMMARY:Not mine\r\nEND:X-THING\r\n"))},
        {"other components",
         Wrap("BEGIN:VTODO\r\nSUMMARY:Todo\r\nDTSTART:20261207T090000\r\nEND:VTODO\r\n" + VEvent(good))},
        {"stray END", Wrap("END:VEVENT\r\n" + VEvent(good) + "END:VTIMEZONE\r\n")},
        {"truncated event after it",
         Wrap(VEvent(good)) + "BEGIN:VCALENDAR\r\nBEGIN:VEVENT\r\nDTSTART:20261208T090000\r\n"},
        {"absolute alarm",
         Wrap(VEvent(good + "BEGIN:VALARM\r\nTRIGGER;VALUE=DATE-TIME:20261207T080000Z\r\nEND:VALARM\r\n"))},
        {"alarm after start", Wrap(VEvent(good + "BEGIN:VALARM\r\nTRIGGER:PT5M\r\nEND:VALARM\r\n"))},
        {"binary noise", Wrap(std::string("\x01\x02\xff\xfe\r\n\r\n", 8) + VEvent(good))},
    };
    for (const auto& c : cases) {
        const auto calendar = ParseCalendar(c.text, kUtcMinus3, kOwner);
        ASSERT_EQ(Subjects(*calendar), Lines{L"Kept"}) << c.why;
        const ItemValues& v = calendar->events[0]->master;
        EXPECT_EQ(At(v.start), L"2026-12-07 09:00") << c.why;
        EXPECT_EQ(At(v.end), L"2026-12-07 10:00") << c.why;
        EXPECT_TRUE(v.location.empty()) << c.why;
        EXPECT_FALSE(v.reminderSet) << c.why;
    }
}

TEST(StandinUnreadableContent, EmptyAndGarbageTextGiveAnEmptyCalendar) {
    for (const std::string& text : {std::string(), std::string("not a calendar"), std::string(5000, '\xff'),
                                    std::string("BEGIN:VCALENDAR"), std::string("\r\n \r\n\t\r\n")}) {
        EXPECT_TRUE(ParseCalendar(text, kUtcMinus3, kOwner)->events.empty());
    }
}

TEST(StandinOverrides, OrphansStandAloneAndOverridesOfNonInstancesAddAnOccurrence) {
    const std::string series =
        "BEGIN:VEVENT\r\nUID:s\r\nSUMMARY:Series\r\nDTSTART:20261207T090000\r\nDTEND:20261207T100000\r\n"
        "RRULE:FREQ=DAILY;COUNT=3\r\nEND:VEVENT\r\n";
    const std::string wrongTime =
        "BEGIN:VEVENT\r\nUID:s\r\nRECURRENCE-ID:20261208T093000\r\nSUMMARY:Bogus\r\nDTSTART:20261208T120000\r\nEND:"
        "VEVENT\r\n";
    const std::string orphan =
        "BEGIN:VEVENT\r\nUID:lost\r\nRECURRENCE-ID:20261208T090000\r\nSUMMARY:Orphan\r\nDTSTART:20261208T120000\r\n"
        "END:VEVENT\r\n";
    const auto calendar = ParseCalendar(Wrap(series + wrongTime + orphan), kUtcMinus3, kOwner);
    EXPECT_EQ(Subjects(*calendar), (Lines{L"Series", L"Orphan"}));
    EXPECT_EQ(Occurrences(*calendar->events[0], Day(2026, 12, 8), Day(2026, 12, 9)),
              (Lines{L"2026-12-08 09:00 - 2026-12-08 10:00", L"2026-12-08 12:00 - 2026-12-08 12:00 Bogus"}));
    EXPECT_FALSE(calendar->events[1]->master.recurring);
}

}  // namespace
}  // namespace standin
