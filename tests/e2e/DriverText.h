// Text in and out of the driver: arguments may carry escapes (the shell hands Wine plain ASCII
// most reliably), output goes to the console as UTF-8.
#pragma once
#include <string>
#include <string_view>

namespace hv::e2e {

// "\n", "\r", "\t", "\\" and "\uXXXX" (four hex digits) become the characters they name; any
// other backslash stays as it is.
std::wstring Unescape(std::wstring_view text);
// The reverse for one-line output: CR, LF, TAB and backslash written as escapes, other control
// characters as \uXXXX.
std::wstring EscapeForLine(std::wstring_view text);
// The text with each "&" that marks an access key removed ("&&" stays one "&").
std::wstring WithoutAccessKeys(std::wstring_view caption);

std::string Utf8(std::wstring_view text);
// Writes the text as UTF-8 to standard output (Print) or standard error (PrintError), with a
// line end.
void Print(std::wstring_view text);
void PrintError(std::wstring_view text);
// Writes the text as it is, without a line end.
void PrintRaw(std::wstring_view text);

}  // namespace hv::e2e
