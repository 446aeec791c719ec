#include "standin/ContentLines.h"

#include <windows.h>

#include <optional>

namespace standin::ical {
namespace {

bool IsNameChar(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-';
}

std::vector<std::string> UnfoldedLines(std::string_view text) {
    if (text.size() >= 3 && text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
    std::vector<std::string> lines;
    size_t pos = 0;
    while (pos <= text.size()) {
        size_t end = text.find('\n', pos);
        if (end == std::string_view::npos) end = text.size();
        std::string_view line = text.substr(pos, end - pos);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        pos = end + 1;
        if (line.empty()) continue;
        if ((line.front() == ' ' || line.front() == '\t') && !lines.empty()) {
            lines.back().append(line.substr(1));
        } else {
            lines.emplace_back(line);
        }
    }
    return lines;
}

// Reads one parameter value at `pos` (quoted or not); nullopt when it is malformed.
std::optional<std::string> ReadParamValue(std::string_view line, size_t& pos) {
    if (pos < line.size() && line[pos] == '"') {
        const size_t close = line.find('"', pos + 1);
        if (close == std::string_view::npos) return std::nullopt;
        std::string value(line.substr(pos + 1, close - pos - 1));
        pos = close + 1;
        return value;
    }
    const size_t start = pos;
    while (pos < line.size() && line[pos] != ';' && line[pos] != ':' && line[pos] != ',' && line[pos] != '"') ++pos;
    if (pos < line.size() && line[pos] == '"') return std::nullopt;
    return std::string(line.substr(start, pos - start));
}

std::optional<ContentLine> ReadLine(std::string_view line) {
    ContentLine out;
    size_t pos = 0;
    while (pos < line.size() && IsNameChar(line[pos])) ++pos;
    if (pos == 0) return std::nullopt;
    out.name = Upper(line.substr(0, pos));
    while (pos < line.size() && line[pos] == ';') {
        const size_t nameStart = ++pos;
        while (pos < line.size() && IsNameChar(line[pos])) ++pos;
        if (pos == nameStart || pos >= line.size() || line[pos] != '=') return std::nullopt;
        std::pair<std::string, std::vector<std::string>> param{Upper(line.substr(nameStart, pos - nameStart)), {}};
        do {
            ++pos;  // the '=' or ','
            auto value = ReadParamValue(line, pos);
            if (!value) return std::nullopt;
            param.second.push_back(std::move(*value));
        } while (pos < line.size() && line[pos] == ',');
        out.params.push_back(std::move(param));
    }
    if (pos >= line.size() || line[pos] != ':') return std::nullopt;
    out.value = std::string(line.substr(pos + 1));
    return out;
}

}  // namespace

const std::string* ContentLine::Param(std::string_view paramName) const {
    for (const auto& [key, values] : params) {
        if (key == paramName && !values.empty()) return &values.front();
    }
    return nullptr;
}

std::vector<const ContentLine*> Component::All(std::string_view propertyName) const {
    std::vector<const ContentLine*> out;
    for (const auto& p : properties) {
        if (p.name == propertyName) out.push_back(&p);
    }
    return out;
}

const ContentLine* Component::First(std::string_view propertyName) const {
    for (const auto& p : properties) {
        if (p.name == propertyName) return &p;
    }
    return nullptr;
}

std::vector<ContentLine> ReadContentLines(std::string_view text) {
    std::vector<ContentLine> out;
    for (const auto& line : UnfoldedLines(text)) {
        if (auto parsed = ReadLine(line)) out.push_back(std::move(*parsed));
    }
    return out;
}

std::vector<Component> ReadComponents(const std::vector<ContentLine>& lines) {
    std::vector<Component> top;
    std::vector<Component> open;
    for (const auto& line : lines) {
        if (line.name == "BEGIN") {
            open.push_back(Component{Upper(line.value), {}, {}});
        } else if (line.name == "END") {
            const std::string name = Upper(line.value);
            size_t depth = open.size();
            while (depth > 0 && open[depth - 1].name != name) --depth;
            if (depth == 0) continue;  // an END without its BEGIN
            open.resize(depth);        // components left open inside are dropped
            Component done = std::move(open.back());
            open.pop_back();
            (open.empty() ? top : open.back().children).push_back(std::move(done));
        } else if (!open.empty()) {
            open.back().properties.push_back(line);
        }
    }
    if (!open.empty() && open.front().name == "VCALENDAR") { top.push_back(std::move(open.front())); }
    return top;
}

std::wstring UnescapeText(std::string_view raw) {
    std::string plain;
    plain.reserve(raw.size());
    for (size_t i = 0; i < raw.size(); ++i) {
        if (raw[i] != '\\' || i + 1 == raw.size()) {
            plain.push_back(raw[i]);
            continue;
        }
        const char next = raw[++i];
        if (next == 'n' || next == 'N') {
            plain.append("\r\n");
        } else {
            plain.push_back(next);
        }
    }
    return Utf8ToWide(plain);
}

std::vector<std::string_view> SplitUnescaped(std::string_view raw, char separator) {
    std::vector<std::string_view> parts;
    size_t start = 0;
    for (size_t i = 0; i < raw.size(); ++i) {
        if (raw[i] == '\\') {
            ++i;
        } else if (raw[i] == separator) {
            parts.push_back(raw.substr(start, i - start));
            start = i + 1;
        }
    }
    parts.push_back(raw.substr(start));
    return parts;
}

std::wstring Utf8ToWide(std::string_view utf8) {
    if (utf8.empty()) return {};
    const int n = ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring out(static_cast<size_t>(n), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), out.data(), n);
    return out;
}

std::string Upper(std::string_view ascii) {
    std::string out(ascii);
    for (auto& c : out) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    return out;
}

}  // namespace standin::ical
