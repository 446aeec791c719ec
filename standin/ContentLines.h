// The lexical layer of iCalendar (RFC 5545): lines unfolded and split into name, parameters and
// value, then grouped into components (BEGIN/END). Lenient: a line it cannot read is left out,
// never guessed at.
#pragma once
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace standin::ical {

struct ContentLine {
    std::string name;                                                      // upper case
    std::vector<std::pair<std::string, std::vector<std::string>>> params;  // names upper case, values unquoted
    std::string value;                                                     // as written (still escaped), UTF-8

    // The first value of a parameter, or nullptr when the line has none.
    const std::string* Param(std::string_view paramName) const;
};

struct Component {
    std::string name;  // upper case, e.g. "VEVENT"
    std::vector<ContentLine> properties;
    std::vector<Component> children;

    std::vector<const ContentLine*> All(std::string_view propertyName) const;
    const ContentLine* First(std::string_view propertyName) const;
};

// Unfolds the text (CRLF or LF line ends; a line starting with a blank or tab continues the line
// before; empty lines are ignored) and reads each content line. Unreadable lines are dropped.
std::vector<ContentLine> ReadContentLines(std::string_view text);

// Groups lines into components. Only components that are closed by their END line are kept,
// except an outermost VCALENDAR left open at the end of the text, whose closed children count.
std::vector<Component> ReadComponents(const std::vector<ContentLine>& lines);

// A TEXT value unescaped (\\ \; \, \n \N) and turned from UTF-8 into UTF-16. Line breaks become
// CR LF, as Windows programs show them.
std::wstring UnescapeText(std::string_view raw);

// Splits a value at the separators that are not escaped with a backslash.
std::vector<std::string_view> SplitUnescaped(std::string_view raw, char separator);

std::wstring Utf8ToWide(std::string_view utf8);
std::string Upper(std::string_view ascii);

}  // namespace standin::ical
