// modRegistry: reads and writes one named value at a time, in one of the six registry hives or
// in an INI file. Stateless: every call opens or creates its key and closes it again. Texts are
// handed to the ANSI registry and profile functions in the system ANSI code page.
#pragma once
#include <windows.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <variant>

namespace hv::settings {

// A value as the layer sees it: text, a Boolean or a 32-bit number.
using RegValue = std::variant<std::wstring, bool, std::int32_t>;

// Status codes besides the Windows error codes of the registry calls.
inline constexpr LONG kStatusOk = 0;
inline constexpr LONG kStatusNotRecognised = 99;

// Marker handles for roots that are not registry hives.
inline constexpr std::uintptr_t kRootUnknown = 0;
inline constexpr std::uintptr_t kRootIniFile = 1;

// "HKCU", "HKLM", "HKU", "HKDD", "HKCC", "HKCR" (any case) give the hive's predefined handle; the
// path of an existing ordinary file gives kRootIniFile; anything else kRootUnknown.
std::uintptr_t ResolveRootKey(std::wstring_view root);

// Type codes "S" (REG_SZ text), "B" (REG_BINARY 16-bit Boolean), "D" (REG_DWORD from a 16-bit
// number), any case. Fills `result` (always: the default unless the read succeeded) and returns
// the status: 0, 99 for an unrecognised root, or the failing call's Windows error code.
// `stored`, when given, receives the registry type and byte length of the value that was read.
struct StoredValueInfo {
    DWORD type = REG_NONE;
    DWORD byteCount = 0;
};
LONG ReadRegValue(std::wstring_view root, std::wstring_view keyPath, std::wstring_view valueName,
                  std::wstring_view typeCode, const RegValue& defaultValue, RegValue& result,
                  StoredValueInfo* stored = nullptr);

LONG WriteRegValue(std::wstring_view root, std::wstring_view keyPath, std::wstring_view valueName,
                   std::wstring_view typeCode, const RegValue& value);

}  // namespace hv::settings
