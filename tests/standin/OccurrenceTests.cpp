// Recurring series through IDispatch: each occurrence an item of its own on its day, a moved
// occurrence at its new time with its own values, a deleted one gone, and the series' exceptions.
// StandinSeries.UserLocale* also runs with the user locales en-US, en-GB, de-DE and ja-JP (see
// CMakeLists.txt): the filter is written in the user's own short date and time forms.
#include <windows.h>

#include <cstdlib>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "standin/Standin.h"
#include "tests/standin/Automation.h"

namespace hv::test {
namespace {

using Lines = std::vector<std::wstring>;

// Tuesdays at 10:00 from 1 December 2026, six times; the 8th moved to Wednesday the 9th at
// 15:00 in another room, the 15th deleted. Other appointments share the 9th.
const char kCalendar[] =
    "BEGIN:VCALENDAR\r\nVERSION:2.0\r\n"
    "BEGIN:VEVENT\r\nUID:weekly@test\r\nSUMMARY:Weekly review\r\nLOCATION:Room 1\r\n"
    "DTSTART:20261201T100000\r\nDTEND:20261201T110000\r\nRRULE:FREQ=WEEKLY;BYDAY=TU;COUNT=6\r\n"
    "EXDATE:20261215T100000\r\n"
    "BEGIN:VALARM\r\nTRIGGER:-PT10M\r\nACTION:DISPLAY\r\nEND:VALARM\r\nEND:VEVENT\r\n"
    "BEGIN:VEVENT\r\nUID:weekly@test\r\nRECURRENCE-ID:20261208T100000\r\nSUMMARY:Weekly review (moved)\r\n"
    "LOCATION:Room 9\r\nDTSTART:20261209T150000\r\nDTEND:20261209T160000\r\nEND:VEVENT\r\n"
    "BEGIN:VEVENT\r\nUID:retro@test\r\nSUMMARY:Retro\r\nDTSTART:20261209T160000\r\nDTEND:20261209T170000\r\nEND:"
    "VEVENT\r\n"
    "BEGIN:VEVENT\r\nUID:standup@test\r\nSUMMARY:Standup\r\nDTSTART:20261209T090000\r\nDTEND:20261209T091500\r\n"
    "END:VEVENT\r\n"
    "BEGIN:VEVENT\r\nUID:closed@test\r\nSUMMARY:Office closed\r\nDTSTART;VALUE=DATE:20261209\r\n"
    "DTEND;VALUE=DATE:20261210\r\nEND:VEVENT\r\n"
    "END:VCALENDAR\r\n";

std::wstring UsDay(int month, int day) {
    return L"[Start] >= \"" + std::to_wstring(month) + L"/" + std::to_wstring(day) +
           L"/2026 00:00 AM\" and [Start] <= \"" + std::to_wstring(month) + L"/" + std::to_wstring(day) +
           L"/2026 11:59 PM\"";
}

std::wstring At(int day, int hour, int minute = 0) { return WhenText(2026, 12, day, hour, minute); }

class StandinSeries : public testing::Test {
protected:
    StandinSeries() {
        standin::Config config;
        config.calendarText = kCalendar;
        server = standin::CreateServer(config);
        app = server->CreateApplication();
        items = Object(Object(Object(app.Get(), L"GetNamespace", {L"MAPI"}).Get(), L"GetDefaultFolder", {9}).Get(),
                       L"Items");
    }
    // Sorted ascending by start, then IncludeRecurrences, as the IncludeRecurrences page says.
    void InTheDocumentedOrder() {
        Perform(items.Get(), L"Sort", {L"[Start]"});
        Put(items.Get(), L"IncludeRecurrences", true);
    }

    std::shared_ptr<standin::Server> server;
    ComPtr<IDispatch> app, items;
};

TEST_F(StandinSeries, EachDayYieldsItsOccurrencesInStartOrder) {
    InTheDocumentedOrder();
    const struct {
        int day;
        Lines expected;
    } days[] = {
        {1, {At(1, 10) + L"|Weekly review"}},
        {8, {}},  // moved away
        {9,
         {At(9, 0) + L"|Office closed", At(9, 9) + L"|Standup", At(9, 15) + L"|Weekly review (moved)",
          At(9, 16) + L"|Retro"}},
        {15, {}},  // deleted
        {22, {At(22, 10) + L"|Weekly review"}},
        {29, {At(29, 10) + L"|Weekly review"}},
    };
    for (const auto& d : days) EXPECT_EQ(Walk(items.Get(), UsDay(12, d.day)), d.expected) << d.day;
    EXPECT_EQ(Walk(items.Get(), L"[Start] >= \"1/5/2027\" and [Start] <= \"1/6/2027\""),
              Lines{WhenText(2027, 1, 5, 10, 0) + L"|Weekly review"});
    EXPECT_TRUE(Walk(items.Get(), L"[Start] >= \"1/12/2027\" and [Start] <= \"12/31/2027\"").empty());  // COUNT=6
}

TEST_F(StandinSeries, OccurrencesCarryTheirOwnDaysValues) {
    InTheDocumentedOrder();
    auto moved = Object(items.Get(), L"Find", {UsDay(12, 9) + L" and [Subject] = 'Weekly review (moved)'"});
    ASSERT_TRUE(moved);
    EXPECT_TRUE(Flag(moved.Get(), L"IsRecurring"));
    EXPECT_EQ(Text(moved.Get(), L"Location"), L"Room 9");
    EXPECT_EQ(When(moved.Get(), L"End"), At(9, 16));

    auto plain = Object(items.Get(), L"Find", {UsDay(12, 22)});
    ASSERT_TRUE(plain);
    EXPECT_TRUE(Flag(plain.Get(), L"IsRecurring"));
    EXPECT_EQ(Text(plain.Get(), L"Location"), L"Room 1");
    EXPECT_EQ(When(plain.Get(), L"Start"), At(22, 10));
    EXPECT_EQ(When(plain.Get(), L"End"), At(22, 11));
    EXPECT_TRUE(Flag(plain.Get(), L"ReminderSet"));
    EXPECT_EQ(Number(plain.Get(), L"ReminderMinutesBeforeStart"), 10);

    auto single = Object(items.Get(), L"Find", {UsDay(12, 9) + L" and [Subject] = 'Retro'"});
    EXPECT_FALSE(Flag(single.Get(), L"IsRecurring"));
    EXPECT_FALSE(Flag(single.Get(), L"ReminderSet"));
}

TEST_F(StandinSeries, ExceptionsListTheMovedAndTheDeletedOccurrenceInDateOrder) {
    InTheDocumentedOrder();
    auto occurrence = Object(items.Get(), L"Find", {UsDay(12, 29)});
    auto pattern = Object(occurrence.Get(), L"GetRecurrencePattern");
    EXPECT_EQ(Number(pattern.Get(), L"RecurrenceType"), 1);  // weekly
    EXPECT_EQ(Number(pattern.Get(), L"Occurrences"), 6);
    EXPECT_FALSE(Flag(pattern.Get(), L"NoEndDate"));
    EXPECT_EQ(When(pattern.Get(), L"PatternStartDate"), At(1, 0));
    EXPECT_EQ(When(pattern.Get(), L"PatternEndDate"), WhenText(2027, 1, 5));

    auto exceptions = Object(pattern.Get(), L"Exceptions");
    ASSERT_EQ(Number(exceptions.Get(), L"Count"), 2);
    auto first = Object(exceptions.Get(), L"Item", {1});
    EXPECT_EQ(When(first.Get(), L"OriginalDate"), At(8, 10));
    EXPECT_FALSE(Flag(first.Get(), L"Deleted"));
    auto changed = Object(first.Get(), L"AppointmentItem");
    EXPECT_EQ(Text(changed.Get(), L"Subject"), L"Weekly review (moved)");
    EXPECT_EQ(When(changed.Get(), L"Start"), At(9, 15));

    auto second = Object(exceptions.Get(), L"Item", {2});
    EXPECT_EQ(When(second.Get(), L"OriginalDate"), At(15, 10));
    EXPECT_TRUE(Flag(second.Get(), L"Deleted"));
    Outcome out;
    EXPECT_EQ(TryInvoke(second.Get(), L"AppointmentItem", DISPATCH_PROPERTYGET, {}, out), DISP_E_EXCEPTION);
    EXPECT_EQ(out.description,
              L"You changed one of the recurrences of this item, and this instance no longer exists. "
              L"Close any open items and try again.");

    for (int bad : {0, 3, -1}) {
        EXPECT_EQ(TryInvoke(exceptions.Get(), L"Item", DISPATCH_METHOD, {bad}, out), DISP_E_EXCEPTION) << bad;
    }
    // Item is the default member, as collections have it.
    VARIANT result;
    ::VariantInit(&result);
    VARIANT index;
    index.vt = VT_I4;
    index.lVal = 2;
    DISPPARAMS params{&index, nullptr, 1, 0};
    ASSERT_EQ(exceptions->Invoke(DISPID_VALUE, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD | DISPATCH_PROPERTYGET,
                                 &params, &result, nullptr, nullptr),
              S_OK);
    ASSERT_EQ(result.vt, VT_DISPATCH);
    EXPECT_TRUE(Flag(result.pdispVal, L"Deleted"));
    ::VariantClear(&result);
}

TEST_F(StandinSeries, OccurrencesOnlyWhenAnAscendingSortOnStartCameBeforeIncludeRecurrences) {
    const std::wstring wholeMonth =
        L"[Start] >= \"12/1/2026\" and [Start] <= \"12/31/2026 11:59 PM\" and "
        L"[Subject] = 'Weekly review'";
    const Lines master{At(1, 10) + L"|Weekly review"};
    EXPECT_EQ(Walk(items.Get(), wholeMonth), master);
    EXPECT_EQ(Number(items.Get(), L"Count"), 4);    // the series and three appointments
    Put(items.Get(), L"IncludeRecurrences", true);  // not sorted yet
    EXPECT_EQ(Walk(items.Get(), wholeMonth), master);
    EXPECT_EQ(Number(items.Get(), L"Count"), 2147483647);
    Perform(items.Get(), L"Sort", {L"[Start]"});  // sorted after IncludeRecurrences
    EXPECT_EQ(Walk(items.Get(), wholeMonth), master);
    Perform(items.Get(), L"Sort", {L"[Start]", true});  // descending
    Put(items.Get(), L"IncludeRecurrences", true);
    EXPECT_EQ(Walk(items.Get(), UsDay(12, 9)),
              (Lines{At(9, 16) + L"|Retro", At(9, 9) + L"|Standup", At(9, 0) + L"|Office closed"}));

    InTheDocumentedOrder();
    EXPECT_EQ(Walk(items.Get(), wholeMonth),
              (Lines{At(1, 10) + L"|Weekly review", At(22, 10) + L"|Weekly review", At(29, 10) + L"|Weekly review"}));
    Perform(items.Get(), L"Sort", {L"[Start]"});  // a sort after it ends the expansion
    EXPECT_EQ(Walk(items.Get(), wholeMonth), master);
    Put(items.Get(), L"IncludeRecurrences", false);
    EXPECT_EQ(Number(items.Get(), L"Count"), 4);
}

TEST_F(StandinSeries, FindNextAfterTheLastItemKeepsAnsweringNothing) {
    InTheDocumentedOrder();
    EXPECT_TRUE(Object(items.Get(), L"Find", {UsDay(12, 1)}));
    EXPECT_FALSE(Object(items.Get(), L"FindNext"));
    EXPECT_FALSE(Object(items.Get(), L"FindNext"));
    EXPECT_FALSE(Object(items.Get(), L"Find", {UsDay(12, 2)}));
}

TEST_F(StandinSeries, ASearchWithoutDatesYieldsEveryOccurrenceOfABoundedSeries) {
    InTheDocumentedOrder();
    const auto all = Walk(items.Get(), L"[Subject] <> 'nothing like this'");
    EXPECT_EQ(all.size(), 5u + 3u);  // six Tuesdays less the deleted one, and three single appointments
}

TEST(StandinEndlessSeries, ASearchWithoutDatesStopsAYearAhead) {
    standin::Config config;
    config.calendarText =
        "BEGIN:VCALENDAR\r\nBEGIN:VEVENT\r\nUID:d\r\nSUMMARY:Daily\r\nDTSTART:20200101T080000\r\n"
        "RRULE:FREQ=DAILY\r\nEND:VEVENT\r\nEND:VCALENDAR\r\n";
    auto server = standin::CreateServer(config);
    auto app = server->CreateApplication();
    auto items =
        Object(Object(Object(app.Get(), L"GetNamespace", {L"MAPI"}).Get(), L"GetDefaultFolder", {9}).Get(), L"Items");
    Perform(items.Get(), L"Sort", {L"[Start]"});
    Put(items.Get(), L"IncludeRecurrences", true);
    std::wstring last;
    size_t count = 0;
    for (auto item = Object(items.Get(), L"Find", {L"[Subject] = 'Daily'"}); item;
         item = Object(items.Get(), L"FindNext")) {
        last = When(item.Get(), L"Start");
        ++count;
    }
    SYSTEMTIME now;
    ::GetLocalTime(&now);
    FILETIME ft;
    ::SystemTimeToFileTime(&now, &ft);
    ULARGE_INTEGER t{{ft.dwLowDateTime, ft.dwHighDateTime}};
    t.QuadPart += 365ull * 24 * 3600 * 10000000ull;
    FILETIME later{t.LowPart, t.HighPart};
    SYSTEMTIME inAYear;
    ::FileTimeToSystemTime(&later, &inAYear);
    EXPECT_GE(last, WhenText(inAYear.wYear, inAYear.wMonth, inAYear.wDay));
    EXPECT_GT(count, 365u * 2);
    EXPECT_LT(count, 366u * 20);
}

TEST(StandinEndlessSeries, ASingleAppointmentIsFoundHoweverFarAhead) {
    standin::Config config;
    config.calendarText =
        "BEGIN:VCALENDAR\r\nBEGIN:VEVENT\r\nUID:far\r\nSUMMARY:Far away\r\nDTSTART:20450101T080000\r\n"
        "END:VEVENT\r\nEND:VCALENDAR\r\n";
    auto server = standin::CreateServer(config);
    auto app = server->CreateApplication();
    auto items =
        Object(Object(Object(app.Get(), L"GetNamespace", {L"MAPI"}).Get(), L"GetDefaultFolder", {9}).Get(), L"Items");
    Perform(items.Get(), L"Sort", {L"[Start]"});
    Put(items.Get(), L"IncludeRecurrences", true);
    EXPECT_EQ(Walk(items.Get(), L"[Subject] = 'Far away'"), Lines{WhenText(2045, 1, 1, 8, 0) + L"|Far away"});
}

// ---- the same day, searched with the user's own date and time forms ----

SYSTEMTIME Moment(int y, int m, int d, int h = 0, int mi = 0, int sec = 0) {
    SYSTEMTIME st{};
    st.wYear = static_cast<WORD>(y);
    st.wMonth = static_cast<WORD>(m);
    st.wDay = static_cast<WORD>(d);
    st.wHour = static_cast<WORD>(h);
    st.wMinute = static_cast<WORD>(mi);
    st.wSecond = static_cast<WORD>(sec);
    return st;
}

std::wstring UserShortDate(int y, int m, int d) {
    const SYSTEMTIME st = Moment(y, m, d);
    wchar_t text[64] = {};
    ::GetDateFormatEx(LOCALE_NAME_USER_DEFAULT, DATE_SHORTDATE, &st, nullptr, text, 64, nullptr);
    return text;
}

// A time as the user's locale writes it: without seconds, or with them (the full time format).
std::wstring UserTime(int h, int mi, bool seconds = false) {
    const SYSTEMTIME st = Moment(2026, 12, 9, h, mi, 30);
    wchar_t text[64] = {};
    ::GetTimeFormatEx(LOCALE_NAME_USER_DEFAULT, seconds ? 0 : TIME_NOSECONDS, &st, nullptr, text, 64);
    return text;
}

std::wstring UserPm() {
    wchar_t text[32] = {};
    ::GetLocaleInfoEx(LOCALE_NAME_USER_DEFAULT, LOCALE_S2359, text, 32);
    return text;
}

std::wstring From(const std::wstring& from, const std::wstring& to) {
    return L"[Start] >= \"" + from + L"\" and [Start] <= \"" + to + L"\"";
}

TEST_F(StandinSeries, UserLocaleFilterIsReadInTheUsersFormsWithoutSeconds) {
    if (const char* expected = std::getenv("HV_EXPECT_LOCALE")) {
        wchar_t name[LOCALE_NAME_MAX_LENGTH] = {};
        ::GetUserDefaultLocaleName(name, LOCALE_NAME_MAX_LENGTH);
        ASSERT_EQ(std::wstring(name), std::wstring(expected, expected + std::char_traits<char>::length(expected)));
    }
    InTheDocumentedOrder();
    // The 9th of December: day and month both read as a month, so a wrong order finds other days.
    const std::wstring day = UserShortDate(2026, 12, 9);
    const Lines ninth{At(9, 0) + L"|Office closed", At(9, 9) + L"|Standup", At(9, 15) + L"|Weekly review (moved)",
                      At(9, 16) + L"|Retro"};
    EXPECT_EQ(Walk(items.Get(), From(day + L" " + UserTime(0, 0), day + L" " + UserTime(23, 59))), ninth);
    // A date alone is midnight.
    EXPECT_EQ(Walk(items.Get(), L"[Start] >= '" + day + L"' and [Start] < '" + UserShortDate(2026, 12, 10) + L"'"),
              ninth);
    const std::wstring first = UserShortDate(2026, 12, 1);
    EXPECT_EQ(Walk(items.Get(), From(first, first + L" " + UserTime(23, 59))), Lines{At(1, 10) + L"|Weekly review"});

    std::vector<std::wstring> refused{day + L" " + UserTime(23, 59, true)};  // with seconds
    const std::wstring pm = UserPm();
    if (!pm.empty() && UserTime(15, 5).find(pm) != std::wstring::npos) {
        // Where the user's time format has designators, the literal ones too.
        EXPECT_EQ(Walk(items.Get(), From(day + L" 00:00 AM", day + L" 11:59 PM")), ninth);
    } else {
        refused.push_back(day + L" 11:59 PM");
        if (!pm.empty()) refused.push_back(day + L" 11:59 " + pm);
    }
    for (const auto& value : refused) {
        Outcome out;
        EXPECT_EQ(TryInvoke(items.Get(), L"Find", DISPATCH_METHOD, {From(day, value)}, out), DISP_E_EXCEPTION) << value;
        EXPECT_EQ(out.scode, DISP_E_EXCEPTION) << value;
        EXPECT_EQ(out.description, L"Cannot parse condition. Error at \"\"" + value + L"\"\".") << value;
    }
}

}  // namespace
}  // namespace hv::test
