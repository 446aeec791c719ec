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

std::wstring Utf8ToWide(std::string_view text) {
    if (text.empty()) return {};
    const int n = ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring out(static_cast<size_t>(n), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n);
    return out;
}

// Base64 digits to bytes; anything else (line breaks, padding) is skipped.
std::string FromBase64(std::string_view digits) {
    static const std::string_view kDigits = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    unsigned long bits = 0;
    int count = 0;
    for (char c : digits) {
        const size_t value = kDigits.find(c);
        if (value == std::string_view::npos) continue;
        bits = (bits << 6 | value) & 0xFFFFFF;
        if ((count += 6) >= 8) {
            count -= 8;
            out += static_cast<char>((bits >> count) & 0xFF);
        }
    }
    return out;
}

// An unstructured header's text: plain ASCII, or encoded words (the blanks between them are not
// part of the text).
std::wstring DecodedText(std::string_view value) {
    if (value.rfind("=?UTF-8?B?", 0) != 0) return Utf8ToWide(value);
    std::string bytes;
    for (size_t pos = 0; (pos = value.find("=?UTF-8?B?", pos)) != std::string_view::npos;) {
        const size_t end = value.find("?=", pos + 10);
        bytes += FromBase64(value.substr(pos + 10, end - pos - 10));
        pos = end == std::string_view::npos ? value.size() : end + 2;
    }
    return Utf8ToWide(bytes);
}

std::vector<std::wstring> AddressList(std::string_view value) {
    std::vector<std::wstring> out;
    for (size_t start = 0; start <= value.size();) {
        size_t end = value.find(',', start);
        if (end == std::string_view::npos) end = value.size();
        std::string_view one = value.substr(start, end - start);
        while (!one.empty() && one.front() == ' ') one.remove_prefix(1);
        while (!one.empty() && one.back() == ' ') one.remove_suffix(1);
        if (!one.empty()) out.push_back(Utf8ToWide(one));
        start = end + 1;
    }
    return out;
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

ComposedParts ReadComposedMessage(std::string_view text) {
    ComposedParts parts;
    const size_t blank = text.find("\r\n\r\n");
    const std::string_view head = text.substr(0, blank);
    // Unfolded: a line that starts with a blank continues the one before.
    std::vector<std::string> headers;
    for (size_t start = 0; start < head.size();) {
        size_t end = head.find("\r\n", start);
        if (end == std::string_view::npos) end = head.size();
        const std::string_view line = head.substr(start, end - start);
        if (!line.empty() && line.front() == ' ' && !headers.empty())
            headers.back() += line;
        else
            headers.emplace_back(line);
        start = end + 2;
    }
    for (const std::string& header : headers) {
        if (header.rfind("Subject: ", 0) == 0) parts.subject = DecodedText(std::string_view(header).substr(9));
        if (header.rfind("To: ", 0) == 0) parts.to = AddressList(std::string_view(header).substr(4));
        if (header.rfind("Cc: ", 0) == 0) parts.cc = AddressList(std::string_view(header).substr(4));
    }
    if (blank != std::string_view::npos) parts.body = Utf8ToWide(FromBase64(text.substr(blank + 4)));
    return parts;
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
