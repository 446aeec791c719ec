#include "toolkit/DateForms.h"

#include <stdexcept>

#include "toolkit/ComOwners.h"

namespace hv::toolkit {
namespace {

std::wstring LocaleText(LCTYPE type, const wchar_t* fallback) {
    wchar_t buffer[32] = {};
    const int n = ::GetLocaleInfoEx(LOCALE_NAME_USER_DEFAULT, type, buffer, 32);
    return n > 1 ? std::wstring(buffer) : std::wstring(fallback);
}

// The locale's designators; a locale without them (a 24-hour locale) gets AM and PM, so that
// the form always says which half of the day it means.
std::wstring AmDesignator() { return LocaleText(LOCALE_S1159, L"AM"); }
std::wstring PmDesignator() { return LocaleText(LOCALE_S2359, L"PM"); }

}  // namespace

std::wstring ShortDate(const SYSTEMTIME& day) {
    wchar_t buffer[80] = {};
    const int n = ::GetDateFormatEx(LOCALE_NAME_USER_DEFAULT, DATE_SHORTDATE, &day, nullptr, buffer, 80, nullptr);
    return n > 0 ? std::wstring(buffer) : std::wstring();
}

std::wstring MediumTime(int hour, int minute) {
    const int twelve = hour % 12 == 0 ? 12 : hour % 12;
    wchar_t digits[8];
    ::wsprintfW(digits, L"%02d:%02d", twelve, minute);
    return std::wstring(digits) + L" " + (hour < 12 ? AmDesignator() : PmDesignator());
}

std::wstring ShortTime(int hour, int minute) {
    SYSTEMTIME st{};
    st.wYear = 2000;
    st.wMonth = 1;
    st.wDay = 1;
    st.wHour = static_cast<WORD>(hour);
    st.wMinute = static_cast<WORD>(minute);
    wchar_t buffer[80] = {};
    const int n = ::GetTimeFormatEx(LOCALE_NAME_USER_DEFAULT, TIME_NOSECONDS, &st, nullptr, buffer, 80);
    return n > 0 ? std::wstring(buffer) : std::wstring();
}

bool TimeFormatHasDesignator() {
    wchar_t format[80] = {};
    if (::GetLocaleInfoEx(LOCALE_NAME_USER_DEFAULT, LOCALE_STIMEFORMAT, format, 80) <= 0) return true;
    bool quoted = false;
    for (const wchar_t* c = format; *c; ++c) {
        if (*c == L'\'') quoted = !quoted;
        if (!quoted && *c == L't') return true;
    }
    return false;
}

std::wstring MediumTime(const SYSTEMTIME& time) { return MediumTime(time.wHour, time.wMinute); }

std::wstring MediumTime(DATE time) { return MediumTime(ToSystemTime(time)); }

std::wstring GeneralDate(DATE value) {
    Bstr text;
    if (FAILED(::VarBstrFromDate(value, LOCALE_USER_DEFAULT, 0, text.put()))) return std::wstring();
    return text.str();
}

SYSTEMTIME ToSystemTime(DATE value) {
    SYSTEMTIME st{};
    if (!::VariantTimeToSystemTime(value, &st)) throw std::invalid_argument("not a date");
    return st;
}

}  // namespace hv::toolkit
