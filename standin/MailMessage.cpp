#include "standin/MailMessage.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>

namespace standin {
namespace {

constexpr size_t kMaxLine = 76;
// UTF-8 bytes per encoded word: 39 bytes are 52 base64 characters, so "=?UTF-8?B?...?=" is 64
// long and fits a line after any of the header names used here.
constexpr size_t kBytesPerWord = 39;

bool IsAtext(wchar_t c) {
    if ((c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z') || (c >= L'0' && c <= L'9')) return true;
    return std::wstring_view(L"!#$%&'*+-/=?^_`{|}~").find(c) != std::wstring_view::npos;
}

bool IsPlainPrintable(std::wstring_view text) {
    for (wchar_t c : text) {
        if (c < 0x20 || c > 0x7E) return false;
    }
    return true;
}

// Encoded words of at most kBytesPerWord bytes each, never splitting a character.
std::vector<std::string> EncodedWords(std::wstring_view text) {
    const std::string utf8 = WideToUtf8(text);
    std::vector<std::string> words;
    size_t start = 0;
    while (start < utf8.size()) {
        size_t end = std::min(start + kBytesPerWord, utf8.size());
        while (end < utf8.size() && end > start && (static_cast<unsigned char>(utf8[end]) & 0xC0) == 0x80) --end;
        words.push_back("=?UTF-8?B?" + Base64(std::string_view(utf8).substr(start, end - start)) + "?=");
        start = end;
    }
    return words;
}

// Joins the parts after `start` ("Name: "), breaking the line (CR LF and a blank) before a part
// that would make it longer than kMaxLine.
std::string JoinFolded(const std::string& start, const std::vector<std::string>& parts, const char* separator) {
    std::string out, line = start;
    bool lineHasPart = false;
    for (size_t i = 0; i < parts.size(); ++i) {
        const std::string piece = parts[i] + (i + 1 < parts.size() ? separator : "");
        if (lineHasPart && line.size() + piece.size() > kMaxLine) {
            while (line.back() == ' ') line.pop_back();
            out += line + "\r\n";
            line = " ";
        }
        line += piece;
        lineHasPart = true;
    }
    return out + line + "\r\n";
}

std::string Ascii(std::wstring_view text) {
    std::string out;
    for (wchar_t c : text) out += static_cast<char>(c);
    return out;
}

// The display name as plain words or encoded words, then the address in angle brackets.
std::vector<std::string> Mailbox(std::wstring_view name, std::wstring_view address) {
    bool plain = !name.empty() && name.size() <= 40;
    for (wchar_t c : name) {
        if (!IsAtext(c) && c != L' ') plain = false;
    }
    std::vector<std::string> parts;
    if (plain)
        parts.push_back(WideToUtf8(name));
    else if (!name.empty())
        parts = EncodedWords(name);
    parts.push_back("<" + Ascii(address) + ">");
    return parts;
}

std::string NormalizedBody(std::wstring_view body) {
    std::wstring out;
    for (size_t i = 0; i < body.size(); ++i) {
        if (body[i] == L'\r') {
            out += L"\r\n";
            if (i + 1 < body.size() && body[i + 1] == L'\n') ++i;
        } else if (body[i] == L'\n') {
            out += L"\r\n";
        } else {
            out += body[i];
        }
    }
    return WideToUtf8(out);
}

}  // namespace

std::string WideToUtf8(std::wstring_view text) {
    if (text.empty()) return {};
    const int n =
        ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(n), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n, nullptr, nullptr);
    return out;
}

std::string Base64(std::string_view bytes) {
    static const char kDigits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    for (size_t i = 0; i < bytes.size(); i += 3) {
        const size_t n = std::min<size_t>(3, bytes.size() - i);
        unsigned long chunk = 0;
        for (size_t k = 0; k < 3; ++k) { chunk = chunk << 8 | (k < n ? static_cast<unsigned char>(bytes[i + k]) : 0u); }
        for (size_t k = 0; k < 4; ++k) { out += k <= n ? kDigits[(chunk >> (18 - 6 * k)) & 0x3F] : '='; }
    }
    return out;
}

std::string UnstructuredHeader(std::string_view name, std::wstring_view text) {
    const std::string start = std::string(name) + ": ";
    // Readers drop blanks at either end and may fold runs of them: such texts are encoded too.
    const bool plain = IsPlainPrintable(text) && start.size() + text.size() <= kMaxLine &&
                       text.find(L"=?") == std::wstring_view::npos && text.find(L"  ") == std::wstring_view::npos &&
                       (text.empty() || (text.front() != L' ' && text.back() != L' '));
    if (plain) return start + Ascii(text) + "\r\n";
    return JoinFolded(start, EncodedWords(text), " ");
}

std::string Rfc5322Date(Ticks localTime, Ticks utcOffset) {
    static const char* const kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                          "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    const CivilDateTime c = FromTicks(localTime);
    const Ticks offsetMinutes = (utcOffset < 0 ? -utcOffset : utcOffset) / kSecondsPerMinute;
    char text[64];
    std::snprintf(text, sizeof text, "%s, %02d %s %04d %02d:%02d:%02d %c%02d%02d", kDays[Weekday(localTime)], c.day,
                  kMonths[c.month - 1], c.year, c.hour, c.minute, c.second, utcOffset < 0 ? '-' : '+',
                  static_cast<int>(offsetMinutes / 60), static_cast<int>(offsetMinutes % 60));
    return text;
}

bool IsPlainMailAddress(std::wstring_view address) {
    const size_t at = address.find(L'@');
    if (at == std::wstring_view::npos || at == 0 || at + 1 == address.size() ||
        address.find(L'@', at + 1) != std::wstring_view::npos) {
        return false;
    }
    const std::wstring_view local = address.substr(0, at), domain = address.substr(at + 1);
    if (local.front() == L'.' || local.back() == L'.' || local.find(L"..") != std::wstring_view::npos) return false;
    for (wchar_t c : local) {
        if (!IsAtext(c) && c != L'.') return false;
    }
    size_t labelStart = 0;
    for (size_t i = 0; i <= domain.size(); ++i) {
        if (i < domain.size() && domain[i] != L'.') {
            const wchar_t c = domain[i];
            const bool ok =
                (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z') || (c >= L'0' && c <= L'9') || c == L'-';
            if (!ok) return false;
            continue;
        }
        const std::wstring_view label = domain.substr(labelStart, i - labelStart);
        if (label.empty() || label.front() == L'-' || label.back() == L'-') return false;
        labelStart = i + 1;
    }
    return true;
}

std::string ComposeMessage(const OutgoingMessage& m) {
    std::string out;
    out += JoinFolded("From: ", Mailbox(m.fromName, m.fromAddress), " ");
    std::vector<std::string> to, cc;
    for (const auto& a : m.to) to.push_back(Ascii(a));
    for (const auto& a : m.cc) cc.push_back(Ascii(a));
    if (!to.empty()) out += JoinFolded("To: ", to, ", ");
    if (!cc.empty()) out += JoinFolded("Cc: ", cc, ", ");
    out += UnstructuredHeader("Subject", m.subject);
    out += "Date: " + Rfc5322Date(m.localTime, m.utcOffset) + "\r\n";
    out += "Message-ID: <" + m.messageId + ">\r\n";
    out += "MIME-Version: 1.0\r\n";
    out += "Content-Type: text/plain; charset=UTF-8\r\n";
    out += "Content-Transfer-Encoding: base64\r\n";
    out += "\r\n";
    const std::string encoded = Base64(NormalizedBody(m.body));
    for (size_t i = 0; i < encoded.size(); i += kMaxLine) out += encoded.substr(i, kMaxLine) + "\r\n";
    return out;
}

}  // namespace standin
