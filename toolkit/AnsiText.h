// Conversions between the program's wide text and the system ANSI code page, for the few
// interfaces that take ANSI text (registry and profile functions, the tray record, the shell).
#pragma once
#include <string>
#include <string_view>

namespace hv::toolkit {

std::string ToAnsi(std::wstring_view text);
std::wstring FromAnsi(std::string_view bytes);
std::string ToUtf8(std::wstring_view text);
std::wstring FromUtf8(std::string_view bytes);

}  // namespace hv::toolkit
