// Search filters: dates as the user's locale writes them, the restriction grammar and its
// evaluation, the messages for filters that cannot be read, and the start span that bounds the
// expansion of series.
#include <windows.h>

#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "standin/DateReading.h"
#include "standin/Restriction.h"

namespace standin {
namespace {

std::wstring ShortDate(const wchar_t* locale, int y, int m, int d) {
    SYSTEMTIME st{};
    st.wYear = static_cast<WORD>(y);
    st.wMonth = static_cast<WORD>(m);
    st.wDay = static_cast<WORD>(d);
    wchar_t text[64] = {};
    EXPECT_GT(::GetDateFormatEx(locale, DATE_SHORTDATE, &st, nullptr, text, 64, nullptr), 0) << locale;
    return text;
}

// A time as the locale writes it: without seconds (TIME_NOSECONDS) or in its full time format.
std::wstring TimeOfDay(const wchar_t* locale, int h, int m, DWORD flags) {
    SYSTEMTIME st{};
    st.wYear = 2026;
    st.wMonth = 12;
    st.wDay = 7;
    st.wHour = static_cast<WORD>(h);
    st.wMinute = static_cast<WORD>(m);
    st.wSecond = 30;
    wchar_t text[64] = {};
    EXPECT_GT(::GetTimeFormatEx(locale, flags, &st, nullptr, text, 64), 0) << locale;
    return text;
}

std::wstring Designator(const wchar_t* locale, LCTYPE which) {
    wchar_t text[32] = {};
    ::GetLocaleInfoEx(locale, which, text, 32);
    return text;
}

Ticks At(int y, int mo, int d, int h = 0, int mi = 0) { return ToTicks(CivilDateTime{y, mo, d, h, mi}); }

TEST(StandinDateReading, ReadsTheLocalesShortDateAndItsTimeWithoutSeconds) {
    for (const wchar_t* locale : {L"en-US", L"en-GB", L"de-DE", L"fr-FR", L"ja-JP", L"nl-NL", L"ko-KR"}) {
        const DateReading reading = DateReading::ForLocale(locale);
        const std::wstring day = ShortDate(locale, 2026, 12, 7);
        EXPECT_EQ(reading.Read(day), At(2026, 12, 7)) << locale;  // a date alone is midnight
        // Day and month are not swapped: the 12th of July is another day.
        EXPECT_EQ(reading.Read(ShortDate(locale, 2026, 7, 12)), At(2026, 7, 12)) << locale;
        for (const auto& [h, m] : {std::pair{0, 0}, {9, 5}, {12, 30}, {15, 5}, {23, 59}}) {
            const std::wstring time = day + L" " + TimeOfDay(locale, h, m, TIME_NOSECONDS);
            EXPECT_EQ(reading.Read(time), At(2026, 12, 7, h, m)) << locale << L" [" << time << L"]";
            const std::wstring seconds = day + L" " + TimeOfDay(locale, h, m, 0);
            EXPECT_FALSE(reading.Read(seconds)) << locale << L" [" << seconds << L"]";
        }
        const std::wstring pm = Designator(locale, LOCALE_S2359);
        const bool writesDesignator =
            !pm.empty() && TimeOfDay(locale, 15, 5, TIME_NOSECONDS).find(pm) != std::wstring::npos;
        if (writesDesignator) {
            // The literal designators, after the time, wherever the locale puts its own.
            EXPECT_EQ(reading.Read(day + L" 00:00 AM"), At(2026, 12, 7)) << locale;
            EXPECT_EQ(reading.Read(day + L" 11:59 PM"), At(2026, 12, 7, 23, 59)) << locale;
            EXPECT_EQ(reading.Read(day + L" 12:30 pm"), At(2026, 12, 7, 12, 30)) << locale;
            EXPECT_FALSE(reading.Read(day + L" 13:05 PM")) << locale;
        } else {
            for (const std::wstring& designator : {std::wstring(L"AM"), std::wstring(L"PM"), pm}) {
                if (designator.empty()) continue;
                EXPECT_FALSE(reading.Read(day + L" 11:59 " + designator)) << locale << L" " << designator;
            }
        }
    }
}

TEST(StandinDateReading, PatternsLiteralsMustBeThereAndQuotedTextIsLiteral) {
    const struct {
        const wchar_t* pattern;
        const wchar_t* text;
        std::optional<Ticks> expected;
    } cases[] = {
        {L"yyyy'年'M'月'd'日'", L"2026年12月7日", At(2026, 12, 7)},
        {L"'day' d 'of' M 'year' yy", L"day 7 of 12 year 26", At(2026, 12, 7)},
        {L"dd/MM/yyyy", L"07/12/2026", At(2026, 12, 7)},
        {L"dd/MM/yyyy", L"07-12-2026", std::nullopt},
        {L"yyyy. M. d.", L"2026. 12. 7.", At(2026, 12, 7)},
        {L"yyyy. M. d.", L"2026. 12. 7", std::nullopt},
        {L"dd-MMM-yy", L"07-12-26", std::nullopt},  // month names are not read
    };
    for (const auto& c : cases) {
        EXPECT_EQ(DateReading(c.pattern, L"HH:mm:ss", L"", L"").Read(c.text), c.expected)
            << c.pattern << L" " << c.text;
    }
    const DateReading dots(L"d.M.yyyy", L"H.mm.ss", L"", L"");  // the time separator is the format's
    EXPECT_EQ(dots.Read(L"7.12.2026 15.05"), At(2026, 12, 7, 15, 5));
    EXPECT_FALSE(dots.Read(L"7.12.2026 15:05"));
}

const DateReading kUs(L"M/d/yyyy", L"h:mm:ss tt", L"AM", L"PM");

TEST(StandinDateReading, RefusesWhatIsNotADateInTheseFormats) {
    for (const wchar_t* text : {L"", L"12/7", L"13/7/2026", L"2/30/2026", L"12/7/2026 24:00", L"12/7/2026 10:60",
                                L"12/7/2026 10", L"12/7/2026 10:00 XM", L"12/7/2026 10:00 AM extra", L"2026-12-07",
                                L"today", L"12/7/20261", L"12.7.2026", L"12/7/2026 10:00:30", L"12/7/2026 10:00:30 AM",
                                L"12/7/2026 13:05 PM", L"12/7/2026 PM", L"12/7/2026 AM 10:00", L"12/7/202610:00"}) {
        EXPECT_FALSE(kUs.Read(text)) << text;
    }
    EXPECT_EQ(kUs.Read(L"12/7/26"), At(2026, 12, 7));  // two-digit years as Windows reads them
    EXPECT_EQ(kUs.Read(L"12/7/95"), At(1995, 12, 7));
    EXPECT_EQ(kUs.Read(L"  12/7/2026   9:00   am "), At(2026, 12, 7, 9));
    EXPECT_EQ(kUs.Read(L"12/7/2026 13:05"), At(2026, 12, 7, 13, 5));

    // A 24-hour format has no designators, whatever designators the locale names.
    const DateReading de(L"d.M.yyyy", L"HH:mm:ss", L"AM", L"PM");
    EXPECT_EQ(de.Read(L"7.12.2026 23:59"), At(2026, 12, 7, 23, 59));
    for (const wchar_t* text : {L"7.12.2026 11:59 PM", L"7.12.2026 00:00 AM", L"7/12/2026"}) {
        EXPECT_FALSE(de.Read(text)) << text;
    }
    // A designator before the time where the format puts it there, or after it.
    const DateReading ko(L"yyyy. M. d.", L"tt h:mm:ss", L"AM", L"PM");
    EXPECT_EQ(ko.Read(L"2026. 12. 7. PM 3:05"), At(2026, 12, 7, 15, 5));
    EXPECT_EQ(ko.Read(L"2026. 12. 7. 11:59 PM"), At(2026, 12, 7, 23, 59));
    EXPECT_FALSE(ko.Read(L"2026. 12. 7. PM 3:05 PM"));
}

// ---- restrictions ----

ItemValues Item(const wchar_t* subject, Ticks start, Ticks end) {
    ItemValues v;
    v.subject = subject;
    v.start = start;
    v.end = end;
    return v;
}

std::vector<ItemValues> Items() {
    std::vector<ItemValues> items{
        Item(L"Budget review", At(2026, 12, 7, 9), At(2026, 12, 7, 10)),
        Item(L"Holiday", At(2026, 12, 7), At(2026, 12, 8)),
        Item(L"Late call", At(2026, 12, 7, 23, 59), At(2026, 12, 8, 0, 30)),
        Item(L"Next day", At(2026, 12, 8, 0, 0), At(2026, 12, 8, 1)),
    };
    items[0].location = L"Room 4";
    items[0].categories = L"Work, Finance";
    items[0].organizer = L"Pat Lee";
    items[0].reminderSet = true;
    items[1].allDay = true;
    items[1].categories = L"Home";
    items[2].recurring = true;
    return items;
}

std::set<std::wstring> Matching(const std::wstring& filter) {
    const Restriction r = Restriction::Parse(filter, kUs);
    std::set<std::wstring> out;
    for (const auto& item : Items()) {
        if (r.Matches(item)) out.insert(item.subject);
    }
    return out;
}

TEST(StandinRestrictions, SelectTheRightItems) {
    using S = std::set<std::wstring>;
    const struct {
        const wchar_t* filter;
        S expected;
    } cases[] = {
        {L"[Start] >= \"12/7/2026 00:00 AM\" and [Start] <= \"12/7/2026 11:59 PM\"",
         {L"Budget review", L"Holiday", L"Late call"}},
        {L"[Start] > '12/7/2026 00:00 AM' AND [Start] < '12/8/2026 00:00 AM'", {L"Budget review", L"Late call"}},
        {L"[start]='12/8/2026'", {L"Next day"}},
        {L"[Start] <> '12/8/2026'", {L"Budget review", L"Holiday", L"Late call"}},
        {L"[End] <= \"12/8/2026 00:00\"", {L"Budget review", L"Holiday"}},
        {L"[Subject] = \"budget REVIEW\"", {L"Budget review"}},
        {L"[Subject] < \"I\"", {L"Budget review", L"Holiday"}},
        {L"[Location] <> \"\"", {L"Budget review"}},
        {L"[Categories] = \"finance\"", {L"Budget review"}},
        {L"[Categories] = \"Work, Finance\"", {L"Budget review"}},
        {L"[Categories] <> \"Home\"", {L"Budget review", L"Late call", L"Next day"}},
        {L"[Organizer] = 'Pat Lee'", {L"Budget review"}},
        {L"[AllDayEvent] = True", {L"Holiday"}},
        {L"[ReminderSet] = \"False\" and [IsRecurring] = false", {L"Holiday", L"Next day"}},
        // "and" binds tighter than "or"; parentheses change that.
        {L"[Subject] = 'Holiday' or [Subject] = 'Late call' and [AllDayEvent] = true", {L"Holiday"}},
        {L"([Subject] = 'Holiday' or [Subject] = 'Late call') and [AllDayEvent] = false", {L"Late call"}},
        {L"not [Start] < '12/8/2026'", {L"Next day"}},
        {L"[Subject] = 'It''s' or [Subject] = \"Say \"\"hi\"\"\"", {}},
    };
    for (const auto& c : cases) EXPECT_EQ(Matching(c.filter), c.expected) << c.filter;
}

TEST(StandinRestrictions, QuotesInsideValuesAreDoubled) {
    ItemValues item = Item(L"Say \"hi\" it's", 0, 0);
    EXPECT_TRUE(Restriction::Parse(L"[Subject] = \"Say \"\"hi\"\" it's\"", kUs).Matches(item));
    EXPECT_TRUE(Restriction::Parse(L"[Subject] = 'Say \"hi\" it''s'", kUs).Matches(item));
}

TEST(StandinRestrictions, UnreadableFiltersFailWithOutlooksMessage) {
    const struct {
        const wchar_t* filter;
        const wchar_t* message;
    } cases[] = {
        {L"", L"Cannot parse condition. Error at \"\"."},
        {L"[Start] >= ", L"Cannot parse condition. Error at \"\"."},
        {L"[Start] => \"12/7/2026\"", L"Cannot parse condition. Error at \"> \"12/7/2026\"\"."},
        {L"[Start] >= \"12/7/2026 00:00 AM\" and", L"Cannot parse condition. Error at \"\"."},
        {L"[Start] >= \"12/7/2026 00:00 AM\" [Start]", L"Cannot parse condition. Error at \"[Start]\"."},
        {L"[Start] >= \"tomorrow\"", L"Cannot parse condition. Error at \"\"tomorrow\"\"."},
        {L"[Start] >= \"31/12/2026\"", L"Cannot parse condition. Error at \"\"31/12/2026\"\"."},
        {L"[Start] <= \"12/7/2026 11:59:59 PM\"", L"Cannot parse condition. Error at \"\"12/7/2026 11:59:59 PM\"\"."},
        {L"[Subject] = \"open", L"Cannot parse condition. Error at \"\"open\"."},
        {L"([Subject] = 'a'", L"Cannot parse condition. Error at \"\"."},
        {L"[AllDayEvent] > true", L"Cannot parse condition. Error at \"> true\"."},
        {L"[AllDayEvent] = maybe", L"Cannot parse condition. Error at \"maybe\"."},
        {L"Start >= '12/7/2026'", L"Cannot parse condition. Error at \"Start >= '12/7/2026'\"."},
        {L"[Start >= '12/7/2026'", L"Cannot parse condition. Error at \"[Start >= '12/7/2026'\"."},
        {L"[Colour] = 'red'", L"The property \"Colour\" is unknown."},
        {L"[Subject] = 'a' andnot [Subject] = 'b'", L"Cannot parse condition. Error at \"andnot [Subject] = 'b'\"."},
    };
    for (const auto& c : cases) {
        try {
            Restriction::Parse(c.filter, kUs);
            ADD_FAILURE() << "accepted: " << c.filter;
        } catch (const FilterError& e) { EXPECT_EQ(e.Description(), c.message) << c.filter; }
    }
}

TEST(StandinRestrictions, StartSpanBoundsWhatASeriesMustYield) {
    const struct {
        const wchar_t* filter;
        std::optional<Ticks> from, to;
    } cases[] = {
        {L"[Start] >= '12/7/2026' and [Start] <= '12/7/2026 11:59 PM'", At(2026, 12, 7), At(2026, 12, 7, 23, 59)},
        {L"[Start] > '12/7/2026' and [Start] < '12/8/2026'", At(2026, 12, 7) + 1, At(2026, 12, 8) - 1},
        {L"[Start] = '12/7/2026 10:00'", At(2026, 12, 7, 10), At(2026, 12, 7, 10)},
        {L"[Start] >= '12/1/2026' and [Start] >= '12/5/2026' and [Start] <= '12/9/2026'", At(2026, 12, 5),
         At(2026, 12, 9)},
        {L"[Start] <= '12/1/2026' or [Start] >= '12/5/2026'", std::nullopt, std::nullopt},
        {L"([Start] >= '12/1/2026' and [Start] <= '12/2/2026') or ([Start] >= '12/5/2026' and [Start] <= '12/6/2026')",
         At(2026, 12, 1), At(2026, 12, 6)},
        {L"[End] <= '12/9/2026'", std::nullopt, At(2026, 12, 9)},
        {L"[End] >= '12/9/2026'", std::nullopt, std::nullopt},
        {L"not [Start] < '12/9/2026'", std::nullopt, std::nullopt},
        {L"[Subject] = 'x' and [Start] >= '12/9/2026'", At(2026, 12, 9), std::nullopt},
    };
    for (const auto& c : cases) {
        const StartSpan span = Restriction::Parse(c.filter, kUs).Span();
        EXPECT_EQ(span.from, c.from) << c.filter;
        EXPECT_EQ(span.to, c.to) << c.filter;
    }
}

}  // namespace
}  // namespace standin
