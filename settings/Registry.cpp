#include "settings/Registry.h"

#include <cerrno>
#include <cwchar>
#include <cwctype>
#include <optional>
#include <vector>

#include "toolkit/AnsiText.h"
#include "toolkit/UniqueHandle.h"

namespace hv::settings {
namespace {

using toolkit::FromAnsi;
using toolkit::ToAnsi;

enum class TypeCode { Text, Boolean, Number, Other };

bool EqualsNoCase(std::wstring_view a, std::wstring_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::towupper(a[i]) != std::towupper(b[i])) return false;
    return true;
}

TypeCode ParseTypeCode(std::wstring_view code) {
    if (EqualsNoCase(code, L"S")) return TypeCode::Text;
    if (EqualsNoCase(code, L"B")) return TypeCode::Boolean;
    if (EqualsNoCase(code, L"D")) return TypeCode::Number;
    return TypeCode::Other;
}

std::wstring Trimmed(std::wstring_view text) {
    size_t b = 0, e = text.size();
    while (b < e && std::iswspace(text[b])) ++b;
    while (e > b && std::iswspace(text[e - 1])) --e;
    return std::wstring(text.substr(b, e - b));
}

std::optional<long long> ParseWholeNumber(std::wstring_view text) {
    const std::wstring t = Trimmed(text);
    if (t.empty()) return std::nullopt;
    wchar_t* end = nullptr;
    errno = 0;
    const long long n = std::wcstoll(t.c_str(), &end, 10);
    if (errno != 0 || *end != L'\0') return std::nullopt;
    return n;
}

std::wstring AsText(const RegValue& v) {
    if (const auto* s = std::get_if<std::wstring>(&v)) return *s;
    if (const auto* b = std::get_if<bool>(&v)) return *b ? L"True" : L"False";
    return std::to_wstring(std::get<std::int32_t>(v));
}

std::optional<bool> AsBoolean(const RegValue& v) {
    if (const auto* b = std::get_if<bool>(&v)) return *b;
    if (const auto* n = std::get_if<std::int32_t>(&v)) return *n != 0;
    const std::wstring t = Trimmed(std::get<std::wstring>(v));
    if (EqualsNoCase(t, L"True")) return true;
    if (EqualsNoCase(t, L"False")) return false;
    if (auto n = ParseWholeNumber(t)) return *n != 0;
    return std::nullopt;
}

std::optional<std::int16_t> AsInt16(const RegValue& v) {
    long long n = 0;
    if (const auto* b = std::get_if<bool>(&v))
        n = *b ? -1 : 0;
    else if (const auto* i = std::get_if<std::int32_t>(&v))
        n = *i;
    else if (auto parsed = ParseWholeNumber(std::get<std::wstring>(v)))
        n = *parsed;
    else
        return std::nullopt;
    if (n < -32768 || n > 32767) return std::nullopt;
    return static_cast<std::int16_t>(n);
}

// A file that the INI form may use: it exists and is an ordinary file, not a folder, hidden or
// system file.
bool IsOrdinaryFile(std::wstring_view path) {
    if (path.empty()) return false;
    const DWORD attributes = ::GetFileAttributesW(std::wstring(path).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return false;
    return (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM)) == 0;
}

HKEY AsHive(std::uintptr_t handle) { return reinterpret_cast<HKEY>(handle); }

LONG ReadIni(std::wstring_view file, std::wstring_view section, std::wstring_view name, TypeCode type,
             const RegValue& defaultValue, RegValue& result) {
    const std::string f = ToAnsi(file), s = ToAnsi(section), k = ToAnsi(name);
    if (type == TypeCode::Text) {
        char buffer[255] = {};
        const DWORD n = ::GetPrivateProfileStringA(s.c_str(), k.c_str(), ToAnsi(AsText(defaultValue)).c_str(), buffer,
                                                   255, f.c_str());
        result = FromAnsi(std::string_view(buffer, n));
    } else {
        result = static_cast<std::int32_t>(::GetPrivateProfileIntA(s.c_str(), k.c_str(), 0, f.c_str()));
    }
    return kStatusOk;
}

// Reads the value's bytes as a text: asks for the size first, then reads that many bytes.
LONG QueryText(HKEY key, const std::string& name, RegValue& result, StoredValueInfo& info) {
    BYTE probe = 0;
    DWORD size = 0;
    LONG status = ::RegQueryValueExA(key, name.c_str(), nullptr, &info.type, &probe, &size);
    if (status != ERROR_MORE_DATA) return status;  // 0 here means no data: the default stays
    std::vector<char> data(size);
    status = ::RegQueryValueExA(key, name.c_str(), nullptr, &info.type, reinterpret_cast<BYTE*>(data.data()), &size);
    if (status != ERROR_SUCCESS) return status;
    info.byteCount = size;
    // The text ends at its terminating zero (or at the end of the data if it has none).
    size_t length = 0;
    while (length < size && data[length] != '\0') ++length;
    result = FromAnsi(std::string_view(data.data(), length));
    return status;
}

template <class T>
LONG QueryFixed(HKEY key, const std::string& name, T& out, StoredValueInfo& info) {
    info.byteCount = sizeof out;
    return ::RegQueryValueExA(key, name.c_str(), nullptr, &info.type, reinterpret_cast<BYTE*>(&out), &info.byteCount);
}

LONG QueryValue(HKEY key, const std::string& name, TypeCode type, RegValue& result, StoredValueInfo& storedType) {
    switch (type) {
        case TypeCode::Text: return QueryText(key, name, result, storedType);
        case TypeCode::Boolean: {
            std::uint16_t word = 0;
            const LONG status = QueryFixed(key, name, word, storedType);
            if (status == ERROR_SUCCESS) result = word != 0;
            return status;
        }
        case TypeCode::Number: {
            std::int32_t number = 0;
            const LONG status = QueryFixed(key, name, number, storedType);
            if (status == ERROR_SUCCESS) result = number;
            return status;
        }
        case TypeCode::Other: break;
    }
    return ERROR_SUCCESS;
}

LONG SetValue(HKEY key, const std::string& name, TypeCode type, const RegValue& value) {
    switch (type) {
        case TypeCode::Text: {
            const std::string bytes = ToAnsi(AsText(value));
            return ::RegSetValueExA(key, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(bytes.c_str()),
                                    static_cast<DWORD>(bytes.size() + 1));
        }
        case TypeCode::Boolean: {
            const auto b = AsBoolean(value);
            if (!b) return ERROR_INVALID_DATA;
            const std::uint16_t word = *b ? 0xFFFF : 0x0000;
            return ::RegSetValueExA(key, name.c_str(), 0, REG_BINARY, reinterpret_cast<const BYTE*>(&word), 2);
        }
        case TypeCode::Number: {
            const auto n = AsInt16(value);
            if (!n) return ERROR_INVALID_DATA;
            const std::int32_t widened = *n;  // sign-extended
            return ::RegSetValueExA(key, name.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&widened), 4);
        }
        case TypeCode::Other: break;
    }
    return ERROR_SUCCESS;
}

}  // namespace

std::uintptr_t ResolveRootKey(std::wstring_view root) {
    static constexpr struct {
        const wchar_t* name;
        std::uintptr_t handle;
    } kHives[] = {
        {L"HKCU", 0x80000001}, {L"HKLM", 0x80000002}, {L"HKU", 0x80000003},
        {L"HKDD", 0x80000006}, {L"HKCC", 0x80000005}, {L"HKCR", 0x80000000},
    };
    for (const auto& hive : kHives)
        if (EqualsNoCase(root, hive.name)) return hive.handle;
    return IsOrdinaryFile(root) ? kRootIniFile : kRootUnknown;
}

LONG ReadRegValue(std::wstring_view root, std::wstring_view keyPath, std::wstring_view valueName,
                  std::wstring_view typeCode, const RegValue& defaultValue, RegValue& result, StoredValueInfo* stored) {
    result = defaultValue;
    StoredValueInfo info;
    if (stored) *stored = info;
    const std::uintptr_t handle = ResolveRootKey(root);
    if (handle == kRootUnknown) return kStatusNotRecognised;
    const TypeCode code = ParseTypeCode(typeCode);
    if (handle == kRootIniFile) return ReadIni(root, keyPath, valueName, code, defaultValue, result);

    toolkit::UniqueRegKey key;
    LONG status = ::RegOpenKeyExA(AsHive(handle), ToAnsi(keyPath).c_str(), 0, KEY_QUERY_VALUE, key.put());
    if (status != ERROR_SUCCESS) return status;
    RegValue read = defaultValue;
    const LONG query = QueryValue(key.get(), ToAnsi(valueName), code, read, info);
    status = ::RegCloseKey(key.release());
    if (query != ERROR_SUCCESS) return query;
    result = std::move(read);
    if (stored) *stored = info;
    return status;
}

LONG WriteRegValue(std::wstring_view root, std::wstring_view keyPath, std::wstring_view valueName,
                   std::wstring_view typeCode, const RegValue& value) {
    const std::uintptr_t handle = ResolveRootKey(root);
    if (handle == kRootUnknown) return kStatusNotRecognised;
    const TypeCode code = ParseTypeCode(typeCode);
    if (handle == kRootIniFile) {
        if (code != TypeCode::Text) return kStatusNotRecognised;
        ::WritePrivateProfileStringA(ToAnsi(keyPath).c_str(), ToAnsi(valueName).c_str(), ToAnsi(AsText(value)).c_str(),
                                     ToAnsi(root).c_str());
        return kStatusOk;
    }

    toolkit::UniqueRegKey key;
    LONG status =
        ::RegCreateKeyExA(AsHive(handle), ToAnsi(keyPath).c_str(), 0, const_cast<char*>(""), REG_OPTION_NON_VOLATILE,
                          KEY_SET_VALUE | KEY_CREATE_SUB_KEY, nullptr, key.put(), nullptr);
    if (status != ERROR_SUCCESS) return status;
    const LONG write = SetValue(key.get(), ToAnsi(valueName), code, value);
    status = ::RegCloseKey(key.release());
    return write != ERROR_SUCCESS ? write : status;
}

}  // namespace hv::settings
