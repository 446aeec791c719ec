// Reads a date and time typed in a locale's short date order, as Outlook reads the values of a
// search filter: "12/7/2026 00:00 AM" (en-US), "07/12/2026 11:59 pm" (en-GB), "7.12.2026 13:05"
// (de-DE). The time is h:mm or h:mm:ss, with an optional AM/PM designator (the locale's or the
// literal AM/PM, any case): 12 AM and 00 AM are midnight, 12 PM is noon.
#pragma once
#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "standin/CivilTime.h"

namespace standin {

class DateReading {
public:
    enum class Field { Day, Month, Year };

    // The reading of a locale, e.g. L"de-DE", or LOCALE_NAME_USER_DEFAULT for the user's.
    static DateReading ForLocale(const wchar_t* localeName);
    DateReading(std::array<Field, 3> order, std::wstring am, std::wstring pm)
        : order_(order), am_(std::move(am)), pm_(std::move(pm)) {}

    // nullopt when the text is not a date (with optional time) in this order.
    std::optional<Ticks> Read(std::wstring_view text) const;
    const std::array<Field, 3>& Order() const { return order_; }

private:
    bool IsDesignator(std::wstring_view word, bool& pm) const;

    std::array<Field, 3> order_;
    std::wstring am_, pm_;
};

// The order of day, month and year in a short date pattern such as "dd/MM/yyyy" or "yyyy-MM-dd".
std::array<DateReading::Field, 3> FieldOrderOfPattern(std::wstring_view pattern);

}  // namespace standin
