// Reads the date and time values of a search filter as Outlook reads them: the date in the user's
// short date form ("12/7/2026" in en-US, "7.12.2026" in de-DE), then optionally a time in the
// user's time format without seconds ("3:05 PM", "15:05"). A date alone is midnight.
//
// Microsoft's "Filtering Items Using a Date-time Comparison" (Outlook VBA reference,
// learn.microsoft.com/office/vba/outlook/how-to/search-and-filter/filtering-items-using-a-date-time-comparison):
// "Outlook evaluates time according to that specified time format without seconds. If you specify
// seconds in the date-time comparison string, the filter will not operate as expected." The same
// page also names the long date format; the stand-in reads the short date form only, and refuses
// seconds, which is the strictest reading of "will not operate as expected".
//
// AM/PM designators are read only where the time format has one ("tt"): the locale's own or the
// literal AM/PM, any case, after the time, or before it where the format puts it there. With a
// designator the hour is 0 to 12 ("00:00 AM" and "12:00 AM" are midnight, "12:00 PM" is noon);
// without one it is 0 to 23.
#pragma once
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "standin/CivilTime.h"

namespace standin {

class DateReading {
public:
    // The reading of a locale, e.g. L"de-DE", or LOCALE_NAME_USER_DEFAULT for the user's.
    static DateReading ForLocale(const wchar_t* localeName);
    // `shortDate` a short date pattern ("M/d/yyyy", "yyyy'年'M'月'd'日'"), `timeFormat` a time
    // format ("h:mm:ss tt"), `am` and `pm` the locale's designators.
    DateReading(std::wstring_view shortDate, std::wstring_view timeFormat, std::wstring am, std::wstring pm);

    // nullopt when the text is not a date (with optional time) in these formats.
    std::optional<Ticks> Read(std::wstring_view text) const;

private:
    enum class Field { Day, Month, Year, Literal };
    struct DatePart {
        Field field;
        std::wstring literal;  // for Field::Literal
    };
    enum class Designator { None, BeforeTime, AfterTime };
    class Scanner;

    bool ReadDate(Scanner& in, CivilDateTime& c) const;
    bool ReadTime(Scanner& in, CivilDateTime& c) const;
    bool IsDesignator(std::wstring_view word, bool& pm) const;

    std::vector<DatePart> date_;
    bool dateReadable_ = true;  // false for patterns with day or month names
    Designator designator_ = Designator::None;
    std::wstring timeSeparator_ = L":";
    std::wstring am_, pm_;
};

}  // namespace standin
