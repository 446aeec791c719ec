#include "standin/DateReading.h"

#include <windows.h>

#include <algorithm>
#include <cwctype>
#include <utility>

#include "standin/LocalZone.h"

namespace standin {
namespace {

std::wstring LocaleText(const wchar_t* localeName, LCTYPE type) {
    wchar_t buffer[128] = {};
    if (::GetLocaleInfoEx(localeName, type, buffer, 128) <= 0) return {};
    return buffer;
}

bool IsDigit(wchar_t c) { return c >= L'0' && c <= L'9'; }

int FullYear(int year) {
    if (year >= 100) return year;
    return year < 30 ? 2000 + year : 1900 + year;  // the two-digit window Windows uses by default
}

// One piece of a date or time pattern: a run of one pattern letter ("yyyy", "tt"), or literal
// text (letter 0).
struct PatternToken {
    wchar_t letter = 0;
    size_t count = 0;
    std::wstring literal;
};

bool IsPatternLetter(wchar_t c) { return std::wstring_view(L"dMyghHmst").find(c) != std::wstring_view::npos; }

// The tokens of a pattern; quoted text ('...') and a doubled quote ('') are literal.
std::vector<PatternToken> Tokens(std::wstring_view pattern) {
    std::vector<PatternToken> out;
    auto addLiteral = [&](wchar_t c) {
        if (out.empty() || out.back().letter != 0) out.push_back({});
        out.back().literal += c;
    };
    bool quoted = false;
    for (size_t i = 0; i < pattern.size(); ++i) {
        const wchar_t c = pattern[i];
        if (c == L'\'') {
            if (i + 1 < pattern.size() && pattern[i + 1] == L'\'') {
                addLiteral(c);
                ++i;
            } else {
                quoted = !quoted;
            }
        } else if (quoted || !IsPatternLetter(c)) {
            addLiteral(c);
        } else if (!out.empty() && out.back().letter == c) {
            ++out.back().count;
        } else {
            out.push_back({c, 1, {}});
        }
    }
    return out;
}

}  // namespace

// A cursor over the text with the few reads the date grammar needs.
class DateReading::Scanner {
public:
    explicit Scanner(std::wstring_view text) : text_(text) {}
    bool AtEnd() const { return pos_ >= text_.size(); }
    wchar_t Peek() const { return AtEnd() ? L'\0' : text_[pos_]; }
    size_t SkipBlanks() {
        const size_t start = pos_;
        while (!AtEnd() && std::iswspace(text_[pos_])) ++pos_;
        return pos_ - start;
    }
    // Up to `maxDigits` digits, and no digit after them.
    std::optional<int> Number(size_t maxDigits) {
        const size_t start = pos_;
        int value = 0;
        while (!AtEnd() && IsDigit(text_[pos_]) && pos_ - start < maxDigits)
            value = value * 10 + (text_[pos_++] - L'0');
        if (pos_ == start || (!AtEnd() && IsDigit(text_[pos_]))) return std::nullopt;
        return value;
    }
    // A pattern's literal text; a blank in it stands for any one blank.
    bool Take(std::wstring_view literal) {
        if (text_.size() - pos_ < literal.size()) return false;
        for (size_t i = 0; i < literal.size(); ++i) {
            const wchar_t want = literal[i], have = text_[pos_ + i];
            if (std::iswspace(want) ? !std::iswspace(have) : want != have) return false;
        }
        pos_ += literal.size();
        return true;
    }
    // A run of characters that are neither blanks nor digits ("PM", "a.m.", "午後").
    std::wstring_view Word() {
        const size_t start = pos_;
        while (!AtEnd() && !std::iswspace(text_[pos_]) && !IsDigit(text_[pos_])) ++pos_;
        return text_.substr(start, pos_ - start);
    }

private:
    std::wstring_view text_;
    size_t pos_ = 0;
};

DateReading DateReading::ForLocale(const wchar_t* localeName) {
    return DateReading(LocaleText(localeName, LOCALE_SSHORTDATE), LocaleText(localeName, LOCALE_STIMEFORMAT),
                       LocaleText(localeName, LOCALE_S1159), LocaleText(localeName, LOCALE_S2359));
}

DateReading::DateReading(std::wstring_view shortDate, std::wstring_view timeFormat, std::wstring am, std::wstring pm)
    : am_(std::move(am)), pm_(std::move(pm)) {
    for (const PatternToken& t : Tokens(shortDate)) {
        if (t.letter == 0) date_.push_back({Field::Literal, t.literal});
        if (t.letter == L'd') date_.push_back({Field::Day, {}});
        if (t.letter == L'M') date_.push_back({Field::Month, {}});
        if (t.letter == L'y') date_.push_back({Field::Year, {}});
        // "ddd" and "MMM" are names of days and months, which a short date of numbers lacks.
        if ((t.letter == L'd' || t.letter == L'M') && t.count > 2) dateReadable_ = false;
    }
    for (const Field f : {Field::Day, Field::Month, Field::Year}) {
        if (std::count_if(date_.begin(), date_.end(), [f](const DatePart& p) { return p.field == f; }) != 1)
            dateReadable_ = false;
    }

    const std::vector<PatternToken> time = Tokens(timeFormat);
    size_t hourAt = time.size(), designatorAt = time.size();
    for (size_t i = 0; i < time.size(); ++i) {
        if ((time[i].letter == L'h' || time[i].letter == L'H') && hourAt == time.size()) hourAt = i;
        if (time[i].letter == L't' && designatorAt == time.size()) designatorAt = i;
    }
    if (designatorAt < time.size())
        designator_ = designatorAt < hourAt ? Designator::BeforeTime : Designator::AfterTime;
    if (hourAt + 2 < time.size() && time[hourAt + 1].letter == 0 && time[hourAt + 2].letter == L'm')
        timeSeparator_ = time[hourAt + 1].literal;
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

bool DateReading::ReadDate(Scanner& in, CivilDateTime& c) const {
    if (!dateReadable_) return false;
    for (const DatePart& part : date_) {
        if (part.field == Field::Literal) {
            if (!in.Take(part.literal)) return false;
            continue;
        }
        const auto n = in.Number(part.field == Field::Year ? 4 : 2);
        if (!n) return false;
        if (part.field == Field::Day) c.day = *n;
        if (part.field == Field::Month) c.month = *n;
        if (part.field == Field::Year) c.year = FullYear(*n);
    }
    return true;
}

// hour, separator, minutes: seconds are not read, so a text with them is refused.
bool DateReading::ReadTime(Scanner& in, CivilDateTime& c) const {
    bool pm = false, designated = false;
    if (designator_ == Designator::BeforeTime && !IsDigit(in.Peek())) {
        if (!IsDesignator(in.Word(), pm)) return false;
        designated = true;
        in.SkipBlanks();
    }
    const auto hour = in.Number(2);
    if (!hour || !in.Take(timeSeparator_)) return false;
    const auto minute = in.Number(2);
    if (!minute) return false;
    in.SkipBlanks();
    if (!designated && designator_ != Designator::None && !in.AtEnd()) {
        if (!IsDesignator(in.Word(), pm)) return false;
        designated = true;
    }
    if (designated && *hour > 12) return false;
    c.hour = designated ? *hour % 12 + (pm ? 12 : 0) : *hour;
    c.minute = *minute;
    return true;
}

std::optional<Ticks> DateReading::Read(std::wstring_view text) const {
    Scanner in(text);
    in.SkipBlanks();
    CivilDateTime c;
    if (!ReadDate(in, c)) return std::nullopt;
    const bool blank = in.SkipBlanks() > 0;
    if (!in.AtEnd() && (!blank || !ReadTime(in, c))) return std::nullopt;
    in.SkipBlanks();
    if (!in.AtEnd() || !IsValidCivil(c)) return std::nullopt;
    return ToTicks(c);
}

}  // namespace standin
