#include "standin/DateReading.h"

#include <windows.h>

#include <algorithm>
#include <cwctype>
#include <vector>

#include "standin/LocalZone.h"

namespace standin {
namespace {

std::wstring LocaleText(const wchar_t* localeName, LCTYPE type) {
    wchar_t buffer[128] = {};
    if (::GetLocaleInfoEx(localeName, type, buffer, 128) <= 0) return {};
    return buffer;
}

bool IsDigit(wchar_t c) { return c >= L'0' && c <= L'9'; }

// A cursor over the text with the few reads the date grammar needs.
class Scanner {
public:
    explicit Scanner(std::wstring_view text) : text_(text) {}
    bool AtEnd() const { return pos_ >= text_.size(); }
    wchar_t Peek() const { return AtEnd() ? L'\0' : text_[pos_]; }
    void SkipBlanks() {
        while (!AtEnd() && std::iswspace(text_[pos_])) ++pos_;
    }
    std::optional<int> Number(size_t maxDigits) {
        size_t start = pos_;
        int value = 0;
        while (!AtEnd() && IsDigit(text_[pos_]) && pos_ - start < maxDigits)
            value = value * 10 + (text_[pos_++] - L'0');
        if (pos_ == start || (!AtEnd() && IsDigit(text_[pos_]))) return std::nullopt;
        return value;
    }
    // Separators between the parts of a date: anything but digits and letters.
    void SkipSeparators() {
        while (!AtEnd() && !IsDigit(text_[pos_]) && !std::iswalpha(text_[pos_])) ++pos_;
    }
    std::wstring_view Word() {
        const size_t start = pos_;
        while (!AtEnd() && !std::iswspace(text_[pos_]) && !IsDigit(text_[pos_])) ++pos_;
        return text_.substr(start, pos_ - start);
    }
    bool Take(wchar_t c) {
        if (Peek() != c) return false;
        ++pos_;
        return true;
    }

private:
    std::wstring_view text_;
    size_t pos_ = 0;
};

int FullYear(int year, size_t digits) {
    if (digits > 2) return year;
    return year < 30 ? 2000 + year : 1900 + year;  // the two-digit window Windows uses by default
}

}  // namespace

std::array<DateReading::Field, 3> FieldOrderOfPattern(std::wstring_view pattern) {
    using Field = DateReading::Field;
    std::vector<Field> seen;
    bool quoted = false;
    for (wchar_t c : pattern) {
        if (c == L'\'') quoted = !quoted;
        if (quoted) continue;
        Field f;
        if (c == L'd')
            f = Field::Day;
        else if (c == L'M')
            f = Field::Month;
        else if (c == L'y')
            f = Field::Year;
        else
            continue;
        if (std::find(seen.begin(), seen.end(), f) == seen.end()) seen.push_back(f);
    }
    if (seen.size() != 3) return {Field::Month, Field::Day, Field::Year};
    return {seen[0], seen[1], seen[2]};
}

DateReading DateReading::ForLocale(const wchar_t* localeName) {
    return DateReading(FieldOrderOfPattern(LocaleText(localeName, LOCALE_SSHORTDATE)),
                       LocaleText(localeName, LOCALE_S1159), LocaleText(localeName, LOCALE_S2359));
}

bool DateReading::IsDesignator(std::wstring_view word, bool& pm) const {
    for (const auto& [text, isPm] :
         {std::pair<std::wstring_view, bool>{am_, false}, {pm_, true}, {L"AM", false}, {L"PM", true}}) {
        if (!text.empty() && SameName(word, text)) {
            pm = isPm;
            return true;
        }
    }
    return false;
}

std::optional<Ticks> DateReading::Read(std::wstring_view text) const {
    Scanner in(text);
    in.SkipBlanks();
    CivilDateTime c;
    for (size_t i = 0; i < 3; ++i) {
        if (i > 0) in.SkipSeparators();
        const auto n = in.Number(order_[i] == Field::Year ? 4 : 2);
        if (!n) return std::nullopt;
        switch (order_[i]) {
            case Field::Day: c.day = *n; break;
            case Field::Month: c.month = *n; break;
            case Field::Year: c.year = FullYear(*n, *n >= 100 ? 4 : 2); break;
        }
    }
    if (in.Peek() == L'.') in.Take(L'.');  // "2026." in year-last patterns such as "d. M. yyyy."
    in.SkipBlanks();

    bool pm = false, haveDesignator = false;
    auto readDesignator = [&] {
        const auto word = in.Word();
        if (word.empty()) return true;
        if (!IsDesignator(word, pm)) return false;
        haveDesignator = true;
        return true;
    };
    if (!in.AtEnd() && !IsDigit(in.Peek()) && !readDesignator()) return std::nullopt;
    in.SkipBlanks();
    if (!in.AtEnd() && IsDigit(in.Peek())) {
        const auto hour = in.Number(2);
        if (!hour || !in.Take(L':')) return std::nullopt;
        const auto minute = in.Number(2);
        if (!minute) return std::nullopt;
        c.hour = *hour;
        c.minute = *minute;
        if (in.Take(L':')) {
            const auto second = in.Number(2);
            if (!second) return std::nullopt;
            c.second = *second;
        }
        in.SkipBlanks();
        if (!haveDesignator && !in.AtEnd() && !readDesignator()) return std::nullopt;
        in.SkipBlanks();
    }
    if (!in.AtEnd()) return std::nullopt;
    if (haveDesignator && c.hour <= 12) {
        if (c.hour == 12) c.hour = 0;
        if (pm) c.hour += 12;
    }
    if (!IsValidCivil(c)) return std::nullopt;
    return ToTicks(c);
}

}  // namespace standin
