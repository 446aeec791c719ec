#include "tests/support/Calendar.h"

#include <windows.h>

#include <algorithm>
#include <cctype>
#include <fstream>
#include <iterator>

#include "toolkit/AnsiText.h"

namespace hv::test {
namespace {

std::string Base64Decode(const std::string& in) {
    static const std::string chars = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    int bits = 0, value = 0;
    for (char c : in) {
        const size_t i = chars.find(c);
        if (i == std::string::npos) continue;
        value = (value << 6) | static_cast<int>(i);
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            out.push_back(static_cast<char>((value >> bits) & 0xFF));
        }
    }
    return out;
}

std::string QDecode(const std::string& in, bool header) {
    auto hex = [](char c) { return std::isxdigit(static_cast<unsigned char>(c)) != 0; };
    std::string out;
    for (size_t i = 0; i < in.size(); ++i) {
        const char c = in[i];
        if (c == '_' && header) {
            out.push_back(' ');
        } else if (c == '=' && i + 2 < in.size() && hex(in[i + 1]) && hex(in[i + 2])) {
            out.push_back(static_cast<char>(std::stoi(in.substr(i + 1, 2), nullptr, 16)));
            i += 2;
        } else if (c == '=' && !header) {
            while (i + 1 < in.size() && (in[i + 1] == '\r' || in[i + 1] == '\n')) ++i;  // soft line break
        } else {
            out.push_back(c);
        }
    }
    return out;
}

// Decodes the encoded words of a header value; white space between two encoded words vanishes.
std::string DecodeHeader(const std::string& value) {
    std::string out;
    size_t pos = 0;
    bool lastWasEncoded = false;
    while (pos < value.size()) {
        const size_t start = value.find("=?", pos);
        if (start == std::string::npos) {
            out += value.substr(pos);
            break;
        }
        const size_t q1 = value.find('?', start + 2);
        const size_t q2 = q1 == std::string::npos ? q1 : value.find('?', q1 + 1);
        const size_t end = q2 == std::string::npos ? q2 : value.find("?=", q2 + 1);
        if (end == std::string::npos) {
            out += value.substr(pos);
            break;
        }
        const std::string between = value.substr(pos, start - pos);
        if (!(lastWasEncoded && between.find_first_not_of(" \t") == std::string::npos)) out += between;
        const char encoding = static_cast<char>(toupper(value[q1 + 1]));
        const std::string text = value.substr(q2 + 1, end - q2 - 1);
        out += encoding == 'B' ? Base64Decode(text) : QDecode(text, true);
        lastWasEncoded = true;
        pos = end + 2;
    }
    return out;
}

std::string ReadFile(const std::wstring& path) {
    std::ifstream in(path.c_str(), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

Message Parse(const std::string& raw) {
    const size_t split = raw.find("\r\n\r\n");
    std::string head = raw.substr(0, split), body = split == std::string::npos ? "" : raw.substr(split + 4);
    std::vector<std::pair<std::string, std::string>> headers;
    size_t pos = 0;
    while (pos < head.size()) {
        size_t eol = head.find("\r\n", pos);
        if (eol == std::string::npos) eol = head.size();
        std::string line = head.substr(pos, eol - pos);
        pos = eol + 2;
        if (!line.empty() && (line[0] == ' ' || line[0] == '\t') && !headers.empty())
            headers.back().second += line;  // unfold
        else if (const size_t colon = line.find(':'); colon != std::string::npos)
            headers.push_back({line.substr(0, colon), line.substr(colon + 1)});
    }
    Message m;
    std::string transfer;
    for (auto& [name, value] : headers) {
        if (!value.empty() && value[0] == ' ') value.erase(0, 1);  // the blank after the colon
        std::string lower = name;
        std::transform(lower.begin(), lower.end(), lower.begin(), ::tolower);
        if (lower == "to") m.to = toolkit::FromUtf8(DecodeHeader(value));
        if (lower == "subject") m.subject = toolkit::FromUtf8(DecodeHeader(value));
        if (lower == "content-transfer-encoding") transfer = value;
    }
    std::transform(transfer.begin(), transfer.end(), transfer.begin(), ::tolower);
    if (transfer.find("base64") != std::string::npos)
        body = Base64Decode(body);
    else if (transfer.find("quoted-printable") != std::string::npos)
        body = QDecode(body, false);
    m.body = toolkit::FromUtf8(body);
    return m;
}

}  // namespace

std::string Ics(const std::vector<Event>& events) {
    std::string out = "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//Horavane tests//EN\r\n";
    int n = 0;
    for (const Event& e : events) {
        ++n;
        const bool allDay = e.start.size() == 8;
        out += "BEGIN:VEVENT\r\n";
        out += "UID:" + (e.uid.empty() ? "event-" + std::to_string(n) + "@tests" : e.uid) + "\r\n";
        if (!e.recurrenceId.empty()) out += "RECURRENCE-ID:" + e.recurrenceId + "\r\n";
        out += std::string("DTSTART") + (allDay ? ";VALUE=DATE:" : ":") + e.start + "\r\n";
        if (!e.end.empty()) out += std::string("DTEND") + (allDay ? ";VALUE=DATE:" : ":") + e.end + "\r\n";
        out += "SUMMARY:" + e.summary + "\r\n";
        if (!e.location.empty()) out += "LOCATION:" + e.location + "\r\n";
        if (!e.organizer.empty()) out += "ORGANIZER;CN=\"" + e.organizer + "\":mailto:someone@example.com\r\n";
        if (!e.description.empty()) out += "DESCRIPTION:" + e.description + "\r\n";
        if (!e.categories.empty()) out += "CATEGORIES:" + e.categories + "\r\n";
        if (!e.rrule.empty()) out += "RRULE:" + e.rrule + "\r\n";
        for (const std::string& line : e.extraLines) out += line + "\r\n";
        if (e.reminderMinutes >= 0)
            out += "BEGIN:VALARM\r\nACTION:DISPLAY\r\nDESCRIPTION:Reminder\r\nTRIGGER:-PT" +
                   std::to_string(e.reminderMinutes) + "M\r\nEND:VALARM\r\n";
        out += "END:VEVENT\r\n";
    }
    return out + "END:VCALENDAR\r\n";
}

std::vector<Message> ReadOutbox(const std::wstring& folder) {
    struct Found {
        FILETIME written;
        std::wstring name;
    };
    std::vector<Found> files;
    WIN32_FIND_DATAW data;
    HANDLE find = ::FindFirstFileW((folder + L"\\*.eml").c_str(), &data);
    if (find != INVALID_HANDLE_VALUE) {
        do files.push_back({data.ftLastWriteTime, data.cFileName});
        while (::FindNextFileW(find, &data));
        ::FindClose(find);
    }
    std::sort(files.begin(), files.end(), [](const Found& a, const Found& b) {
        const LONG c = ::CompareFileTime(&a.written, &b.written);
        return c != 0 ? c < 0 : a.name < b.name;
    });
    std::vector<Message> messages;
    for (const Found& f : files) {
        Message m = Parse(ReadFile(folder + L"\\" + f.name));
        m.file = f.name;
        messages.push_back(std::move(m));
    }
    return messages;
}

std::wstring MakeTempFolder(const std::wstring& prefix) {
    wchar_t temp[MAX_PATH];
    ::GetTempPathW(MAX_PATH, temp);
    static unsigned counter = 0;
    const std::wstring folder = std::wstring(temp) + prefix + L"_" + std::to_wstring(::GetCurrentProcessId()) + L"_" +
                                std::to_wstring(::GetTickCount()) + L"_" + std::to_wstring(counter++);
    ::CreateDirectoryW(folder.c_str(), nullptr);
    return folder;
}

void RemoveFolder(const std::wstring& folder) {
    WIN32_FIND_DATAW data;
    HANDLE find = ::FindFirstFileW((folder + L"\\*").c_str(), &data);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            const std::wstring name = data.cFileName;
            if (name != L"." && name != L"..") ::DeleteFileW((folder + L"\\" + name).c_str());
        } while (::FindNextFileW(find, &data));
        ::FindClose(find);
    }
    ::RemoveDirectoryW(folder.c_str());
}

}  // namespace hv::test
