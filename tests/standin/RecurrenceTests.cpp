// Date arithmetic against Windows' own conversions, recurrence rules against hand-checked dates
// (among them the examples of RFC 5545), and calendar-defined zones at their switch dates.
#include <windows.h>
#include <oleauto.h>

#include <cstdio>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "standin/CivilTime.h"
#include "standin/ContentLines.h"
#include "standin/RecurrenceRule.h"
#include "standin/ZoneDefinition.h"

namespace standin {
namespace {

std::string Date(Ticks t) {
    const CivilDateTime c = FromTicks(t);
    char text[16];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d", c.year, c.month, c.day);
    return text;
}

Ticks At(int y, int m, int d, int h = 9) { return ToTicks(CivilDateTime{y, m, d, h}); }

TEST(StandinCivilTime, AgreesWithWindowsOverFourCenturies) {
    for (std::int64_t day = 0; day < 292000; day += 37) {
        const Ticks t = day * kSecondsPerDay + 3723;  // 01:02:03
        ULARGE_INTEGER ticks100ns;
        ticks100ns.QuadPart = static_cast<ULONGLONG>(t) * 10000000ull;
        FILETIME ft{ticks100ns.LowPart, ticks100ns.HighPart};
        SYSTEMTIME st{};
        ASSERT_TRUE(::FileTimeToSystemTime(&ft, &st));
        const CivilDateTime c = FromTicks(t);
        ASSERT_EQ(c.year, st.wYear) << day;
        ASSERT_EQ(c.month, st.wMonth) << day;
        ASSERT_EQ(c.day, st.wDay) << day;
        ASSERT_EQ(c.hour * 3600 + c.minute * 60 + c.second, 3723) << day;
        ASSERT_EQ(Weekday(t), st.wDayOfWeek) << day;
        ASSERT_EQ(ToTicks(c), t) << day;
        if (st.wYear < 9999) {
            double variant = 0;
            ASSERT_TRUE(::SystemTimeToVariantTime(&st, &variant)) << day;
            ASSERT_NEAR(ToOleDate(t), variant, 1e-6) << day;
            ASSERT_EQ(FromOleDate(variant), t) << day;
        }
    }
}

TEST(StandinRecurrenceRules, ExpandToTheExpectedDays) {
    const struct {
        const char* rule;
        Ticks start;
        Ticks to;
        std::vector<std::string> days;
    } cases[] = {
        {"FREQ=DAILY;COUNT=3", At(2026, 12, 30), At(2030, 1, 1), {"2026-12-30", "2026-12-31", "2027-01-01"}},
        {"FREQ=DAILY;INTERVAL=2;UNTIL=20261207",
         At(2026, 12, 1),
         At(2030, 1, 1),
         {"2026-12-01", "2026-12-03", "2026-12-05", "2026-12-07"}},
        {"FREQ=DAILY;BYDAY=MO,WE", At(2026, 12, 7), At(2026, 12, 15), {"2026-12-07", "2026-12-09", "2026-12-14"}},
        {"FREQ=WEEKLY;BYDAY=TU,TH;COUNT=4",
         At(2026, 12, 1),
         At(2030, 1, 1),
         {"2026-12-01", "2026-12-03", "2026-12-08", "2026-12-10"}},
        {"FREQ=WEEKLY;INTERVAL=2;BYDAY=MO,FR",
         At(2026, 12, 7),
         At(2027, 1, 5),
         {"2026-12-07", "2026-12-11", "2026-12-21", "2026-12-25", "2027-01-04"}},
        // RFC 5545: the week start decides which days share a week.
        {"FREQ=WEEKLY;INTERVAL=2;COUNT=4;BYDAY=TU,SU;WKST=MO",
         At(1997, 8, 5),
         At(1998, 1, 1),
         {"1997-08-05", "1997-08-10", "1997-08-19", "1997-08-24"}},
        {"FREQ=WEEKLY;INTERVAL=2;COUNT=4;BYDAY=TU,SU;WKST=SU",
         At(1997, 8, 5),
         At(1998, 1, 1),
         {"1997-08-05", "1997-08-17", "1997-08-19", "1997-08-31"}},
        {"FREQ=MONTHLY;COUNT=3", At(2026, 1, 15), At(2030, 1, 1), {"2026-01-15", "2026-02-15", "2026-03-15"}},
        {"FREQ=MONTHLY;BYMONTHDAY=31",
         At(2026, 1, 31),
         At(2026, 8, 1),
         {"2026-01-31", "2026-03-31", "2026-05-31", "2026-07-31"}},
        {"FREQ=MONTHLY;BYMONTHDAY=-1;COUNT=4",
         At(2026, 1, 31),
         At(2030, 1, 1),
         {"2026-01-31", "2026-02-28", "2026-03-31", "2026-04-30"}},
        {"FREQ=MONTHLY;BYDAY=2TU;COUNT=3", At(2026, 12, 8), At(2030, 1, 1), {"2026-12-08", "2027-01-12", "2027-02-09"}},
        {"FREQ=MONTHLY;INTERVAL=3;BYDAY=-1FR;COUNT=3",
         At(2026, 1, 30),
         At(2030, 1, 1),
         {"2026-01-30", "2026-04-24", "2026-07-31"}},
        {"FREQ=YEARLY;COUNT=2", At(2024, 2, 29), At(2040, 1, 1), {"2024-02-29", "2028-02-29"}},
        {"FREQ=YEARLY;BYMONTH=2;BYMONTHDAY=29;COUNT=3",
         At(2024, 2, 29),
         At(2040, 1, 1),
         {"2024-02-29", "2028-02-29", "2032-02-29"}},
        {"FREQ=YEARLY;BYMONTH=3,10;BYDAY=-1SU;COUNT=4",
         At(2026, 3, 29),
         At(2030, 1, 1),
         {"2026-03-29", "2026-10-25", "2027-03-28", "2027-10-31"}},
        {"FREQ=YEARLY;BYMONTHDAY=1;COUNT=3",
         At(2026, 1, 1),
         At(2030, 1, 1),
         {"2026-01-01", "2026-02-01", "2026-03-01"}},
    };
    for (const auto& c : cases) {
        const auto rule = ParseRecurrenceRule(c.rule);
        ASSERT_TRUE(rule) << c.rule;
        auto resolved = *rule;
        if (!resolved.untilText.empty()) {
            bool dateOnly = false, utc = false;
            resolved.until = *ParseDateTimeValue(resolved.untilText, dateOnly, utc) + kSecondsPerDay - 1;
        }
        std::vector<std::string> days;
        ExpandRule(resolved, c.start, c.start, c.to, [&](Ticks t) {
            days.push_back(Date(t));
            EXPECT_EQ(t - StartOfDay(t), 9 * kSecondsPerHour) << c.rule;
            return days.size() < 50;
        });
        EXPECT_EQ(days, c.days) << c.rule;
    }
}

TEST(StandinRecurrenceRules, LongSeriesAreEnteredNearTheAskedSpan) {
    // Started decades ago, without an end: only the asked week is visited, aligned to the interval.
    const auto everyThirdDay = ParseRecurrenceRule("FREQ=DAILY;INTERVAL=3");
    std::vector<std::string> days;
    ExpandRule(*everyThirdDay, At(2000, 1, 1), At(2026, 12, 7, 0), At(2026, 12, 13, 23), [&](Ticks t) {
        days.push_back(Date(t));
        return true;
    });
    EXPECT_EQ(days, (std::vector<std::string>{"2026-12-07", "2026-12-10", "2026-12-13"}));

    const auto fortnightly = ParseRecurrenceRule("FREQ=WEEKLY;INTERVAL=2;BYDAY=MO");
    days.clear();
    ExpandRule(*fortnightly, At(2020, 1, 6), At(2026, 12, 1, 0), At(2026, 12, 31, 23), [&](Ticks t) {
        days.push_back(Date(t));
        return true;
    });
    EXPECT_EQ(days, (std::vector<std::string>{"2026-12-14", "2026-12-28"}));
    EXPECT_TRUE(IsInstance(*fortnightly, At(2020, 1, 6), At(2026, 12, 14)));
    EXPECT_FALSE(IsInstance(*fortnightly, At(2020, 1, 6), At(2026, 12, 7)));
    EXPECT_FALSE(IsInstance(*fortnightly, At(2020, 1, 6), At(2026, 12, 14, 10)));
}

TEST(StandinRecurrenceRules, RulesThatWouldBeMisreadAreRefused) {
    for (const char* text :
         {"", "FREQ=HOURLY", "FREQ=SECONDLY", "INTERVAL=2", "FREQ=DAILY;INTERVAL=0", "FREQ=DAILY;COUNT=-1",
          "FREQ=MONTHLY;BYSETPOS=0;BYDAY=MO", "FREQ=WEEKLY;BYWEEKNO=20", "FREQ=MONTHLY;BYYEARDAY=100",
          "FREQ=DAILY;BYHOUR=9,17", "FREQ=YEARLY;BYMONTH=1;BYDAY=6MO", "FREQ=WEEKLY;BYMONTHDAY=3",
          "FREQ=MONTHLY;BYDAY=6MO", "FREQ=MONTHLY;BYMONTHDAY=32", "FREQ=DAILY;FREQ=WEEKLY",
          "FREQ=DAILY;COUNT=3;UNTIL=20270101", "FREQ=WEEKLY;BYDAY=XX", "FREQ=DAILY;WHATEVER=1", "FREQ=DAILY;COUNT"}) {
        EXPECT_FALSE(ParseRecurrenceRule(text)) << text;
    }
    // Extensions and any case are fine.
    EXPECT_TRUE(ParseRecurrenceRule("freq=weekly;byday=mo;X-NAME=1"));
}

// ---- zones defined in the calendar ----

std::optional<ZoneDefinition> ZoneFrom(const std::string& body) {
    const auto components =
        ical::ReadComponents(ical::ReadContentLines("BEGIN:VTIMEZONE\nTZID:z\n" + body + "END:VTIMEZONE\n"));
    return ZoneDefinition::FromComponent(components.at(0));
}

const std::string kNewYork =
    "BEGIN:DAYLIGHT\nTZOFFSETFROM:-0500\nTZOFFSETTO:-0400\nDTSTART:19700308T020000\n"
    "RRULE:FREQ=YEARLY;BYMONTH=3;BYDAY=2SU\nEND:DAYLIGHT\n"
    "BEGIN:STANDARD\nTZOFFSETFROM:-0400\nTZOFFSETTO:-0500\nDTSTART:19701101T020000\n"
    "RRULE:FREQ=YEARLY;BYMONTH=11;BYDAY=1SU\nEND:STANDARD\n";

TEST(StandinCalendarZones, OffsetsChangeAtTheRuleDates) {
    const auto zone = ZoneFrom(kNewYork);
    ASSERT_TRUE(zone);
    const ZoneDefinition& ny = *zone;
    const struct {
        Ticks wall;
        int offsetHours;
    } cases[] = {
        {At(2026, 3, 8, 1), -5},
        {At(2026, 3, 8, 3), -4},
        {At(2026, 7, 1, 12), -4},
        {At(2026, 11, 1, 1), -4},
        {At(2026, 11, 1, 3), -5},
        {At(2026, 12, 31, 23), -5},
        // before every onset the yearly rules still hold
        {At(1960, 6, 1, 12), -4},
        {At(1960, 12, 1, 12), -5},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ny.OffsetAt(c.wall), c.offsetHours * kSecondsPerHour) << Date(c.wall);
        EXPECT_EQ(ny.FromUtc(ny.ToUtc(c.wall)), c.wall) << Date(c.wall);
    }
}

TEST(StandinCalendarZones, RdateOnsetsAndOffsetsWithSeconds) {
    const auto zone = ZoneFrom(
        "BEGIN:STANDARD\nTZOFFSETFROM:+115544\nTZOFFSETTO:+1200\nDTSTART:19151026T000000\nRDATE:19151026T000000\nEND:"
        "STANDARD\n"
        "BEGIN:DAYLIGHT\nTZOFFSETFROM:+1200\nTZOFFSETTO:+1300\nDTSTART:19981101T020000\n"
        "RDATE:19981101T020000\nRDATE:19991107T020000,20091129T020000\nEND:DAYLIGHT\n"
        "BEGIN:STANDARD\nTZOFFSETFROM:+1300\nTZOFFSETTO:+1200\nDTSTART:19990228T030000\n"
        "RDATE:19990228T030000,20000227T030000,20100328T030000\nEND:STANDARD\n");
    ASSERT_TRUE(zone);
    const ZoneDefinition& lmt = *zone;
    EXPECT_EQ(lmt.OffsetAt(At(1910, 1, 1)), 11 * 3600 + 55 * 60 + 44);
    EXPECT_EQ(lmt.OffsetAt(At(1998, 12, 1)), 13 * 3600);
    EXPECT_EQ(lmt.OffsetAt(At(1999, 3, 1)), 12 * 3600);
    EXPECT_EQ(lmt.OffsetAt(At(2009, 12, 24)), 13 * 3600);  // from the second line's list
    EXPECT_EQ(lmt.OffsetAt(At(2010, 6, 1)), 12 * 3600);
}

TEST(StandinCalendarZones, UnreadableObservancesMakeTheZoneUnusable) {
    for (const std::string& body : {
             std::string("BEGIN:STANDARD\nTZOFFSETFROM:+0100\nTZOFFSETTO:+0100\nEND:STANDARD\n"),  // no DTSTART
             std::string("BEGIN:STANDARD\nDTSTART:19700101T000000\nTZOFFSETFROM:1\nTZOFFSETTO:+0100\nEND:STANDARD\n"),
             std::string("BEGIN:STANDARD\nDTSTART:19700101T000000\nTZOFFSETFROM:+0100\nTZOFFSETTO:+0100\n"
                         "RRULE:FREQ=HOURLY\nEND:STANDARD\n"),
             std::string("BEGIN:STANDARD\nDTSTART:19700101T000000\nTZOFFSETFROM:+0100\nTZOFFSETTO:+0100\n"
                         "RDATE;VALUE=PERIOD:19700101T000000/PT1H\nEND:STANDARD\n"),
             std::string(""),  // no observance at all
         }) {
        EXPECT_FALSE(ZoneFrom(body)) << body;
    }
}

TEST(StandinContentLines, ParametersQuotedValuesAndEscapes) {
    const auto lines = ical::ReadContentLines(
        "ATTENDEE;CN=\"Lee, Pat\";ROLE=CHAIR;MEMBER=\"mailto:a@x\",\"mailto:b@x\":mailto:pat@x\r\n"
        "DESCRIPTION:a\\,b\\;c\\\\d\\ne\\Nf\r\n"
        "X-EMPTY:\r\n");
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(*lines[0].Param("CN"), "Lee, Pat");
    EXPECT_EQ(lines[0].params.at(2).second, (std::vector<std::string>{"mailto:a@x", "mailto:b@x"}));
    EXPECT_EQ(lines[0].value, "mailto:pat@x");
    EXPECT_EQ(ical::UnescapeText(lines[1].value), L"a,b;c\\d\r\ne\r\nf");
    EXPECT_EQ(lines[2].value, "");
    EXPECT_EQ(ical::SplitUnescaped("a\\,b,c,,d", ','), (std::vector<std::string_view>{"a\\,b", "c", "", "d"}));
}

}  // namespace
}  // namespace standin
