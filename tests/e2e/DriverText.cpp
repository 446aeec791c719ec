#include "tests/e2e/DriverText.h"

#include <windows.h>

#include <cwchar>

namespace hv::e2e {
namespace {

int HexDigit(wchar_t c) {
    if (c >= L'0' && c <= L'9') return c - L'0';
    if (c >= L'a' && c <= L'f') return c - L'a' + 10;
    if (c >= L'A' && c <= L'F') return c - L'A' + 10;
    return -1;
}

// The code unit of "\uXXXX" starting at text[i] (the backslash), or -1.
int UnicodeEscapeAt(std::wstring_view text, size_t i) {
    if (i + 6 > text.size() || text[i + 1] != L'u') return -1;
    int value = 0;
    for (size_t k = i + 2; k < i + 6; ++k) {
        const int digit = HexDigit(text[k]);
        if (digit < 0) return -1;
        value = value * 16 + digit;
    }
    return value;
}

void WriteTo(DWORD which, std::wstring_view text, bool lineEnd) {
    std::string bytes = Utf8(text);
    if (lineEnd) bytes += '\n';
    DWORD written = 0;
    ::WriteFile(::GetStdHandle(which), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

}  // namespace

std::wstring Unescape(std::wstring_view text) {
    std::wstring out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != L'\\' || i + 1 == text.size()) {
            out += text[i];
            continue;
        }
        const wchar_t next = text[i + 1];
        if (next == L'n' || next == L'r' || next == L't' || next == L'\\') {
            out += next == L'n' ? L'\n' : next == L'r' ? L'\r' : next == L't' ? L'\t' : L'\\';
            ++i;
        } else if (const int unit = UnicodeEscapeAt(text, i); unit >= 0) {
            out += static_cast<wchar_t>(unit);
            i += 5;
        } else {
            out += text[i];
        }
    }
    return out;
}

std::wstring EscapeForLine(std::wstring_view text) {
    std::wstring out;
    for (wchar_t c : text) {
        if (c == L'\r')
            out += L"\\r";
        else if (c == L'\n')
            out += L"\\n";
        else if (c == L'\t')
            out += L"\\t";
        else if (c == L'\\')
            out += L"\\\\";
        else if (c < 0x20 || c == 0x7F) {
            wchar_t code[8];
            std::swprintf(code, 8, L"\\u%04X", static_cast<unsigned>(c));
            out += code;
        } else {
            out += c;
        }
    }
    return out;
}

std::wstring WithoutAccessKeys(std::wstring_view caption) {
    std::wstring out;
    for (size_t i = 0; i < caption.size(); ++i) {
        if (caption[i] == L'&' && i + 1 < caption.size()) ++i;
        out += caption[i];
    }
    return out;
}

std::string Utf8(std::wstring_view text) {
    if (text.empty()) return {};
    const int n =
        ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(n), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n, nullptr, nullptr);
    return out;
}

void Print(std::wstring_view text) { WriteTo(STD_OUTPUT_HANDLE, text, true); }
void PrintError(std::wstring_view text) { WriteTo(STD_ERROR_HANDLE, text, true); }
void PrintRaw(std::wstring_view text) { WriteTo(STD_OUTPUT_HANDLE, text, false); }

}  // namespace hv::e2e
