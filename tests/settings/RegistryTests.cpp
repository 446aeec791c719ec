// The registry and INI access layer, checked against what the registry itself holds
// (RegQueryValueExA directly) and against the bytes of the INI file.
#include <windows.h>

#include <fstream>
#include <iterator>

#include <gtest/gtest.h>

#include "settings/Registry.h"
#include "tests/support/RegistrySandbox.h"
#include "toolkit/AnsiText.h"

namespace hv::settings {
namespace {

using test::RawValue;
using test::RegistrySandbox;

const std::wstring kKey = L"Software\\HvRegTest";

class RegistryLayer : public testing::Test {
protected:
    RegistrySandbox sandbox;

    std::string Raw(const std::string& name, DWORD& type) {
        std::string bytes;
        EXPECT_TRUE(RawValue(HKEY_CURRENT_USER, kKey, name, bytes, type)) << name;
        return bytes;
    }
};

TEST_F(RegistryLayer, RootTextsAndTypeCodesIgnoreCase) {
    EXPECT_EQ(ResolveRootKey(L"hkcu"), ResolveRootKey(L"HKCU"));
    EXPECT_EQ(ResolveRootKey(L"HkCu"), 0x80000001u);
    const struct {
        const wchar_t* root;
        std::uintptr_t handle;
    } hives[] = {{L"hklm", 0x80000002},
                 {L"HKU", 0x80000003},
                 {L"hkdd", 0x80000006},
                 {L"HKCC", 0x80000005},
                 {L"hkcr", 0x80000000}};
    for (const auto& h : hives) EXPECT_EQ(ResolveRootKey(h.root), h.handle) << h.root;

    ASSERT_EQ(WriteRegValue(L"hkcu", kKey, L"V", L"s", std::wstring(L"lower")), 0);
    RegValue result;
    ASSERT_EQ(ReadRegValue(L"HKCU", kKey, L"V", L"S", std::wstring(L"default"), result), 0);
    EXPECT_EQ(std::get<std::wstring>(result), L"lower");
    DWORD type = 0;
    EXPECT_EQ(Raw("V", type), std::string("lower") + '\0');
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
}

TEST_F(RegistryLayer, UnknownRootGives99AndTouchesNothing) {
    RegValue result;
    EXPECT_EQ(ReadRegValue(L"HKXX", kKey, L"V", L"S", std::wstring(L"dflt"), result), 99);
    EXPECT_EQ(std::get<std::wstring>(result), L"dflt");
    EXPECT_EQ(WriteRegValue(L"HKXX", kKey, L"V", L"S", std::wstring(L"x")), 99);
    EXPECT_EQ(ResolveRootKey(L"HKXX"), 0u);
    EXPECT_FALSE(test::KeyExists(HKEY_CURRENT_USER, kKey));
}

TEST_F(RegistryLayer, ReadOfMissingKeyGives2AndDoesNotCreateIt) {
    RegValue result;
    EXPECT_EQ(ReadRegValue(L"HKCU", kKey, L"V", L"S", std::wstring(L"dflt"), result), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(std::get<std::wstring>(result), L"dflt");
    EXPECT_FALSE(test::KeyExists(HKEY_CURRENT_USER, kKey));
    // A missing value in an existing key is the same status.
    ASSERT_EQ(WriteRegValue(L"HKCU", kKey, L"Other", L"S", std::wstring(L"x")), 0);
    EXPECT_EQ(ReadRegValue(L"HKCU", kKey, L"V", L"D", std::int32_t{5}, result), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(std::get<std::int32_t>(result), 5);
}

TEST_F(RegistryLayer, StoredBytesOfEachType) {
    struct Case {
        const char* name;
        const wchar_t* type;
        RegValue value;
        DWORD regType;
        std::string bytes;
    } cases[] = {
        {"Empty", L"S", std::wstring(), REG_SZ, std::string(1, '\0')},
        {"True", L"B", true, REG_BINARY, "\xFF\xFF"},
        {"False", L"B", false, REG_BINARY, std::string(2, '\0')},
        {"Seven", L"D", std::int32_t{7}, REG_DWORD, std::string("\x07\0\0\0", 4)},
        {"MinusOne", L"D", std::int32_t{-1}, REG_DWORD, "\xFF\xFF\xFF\xFF"},
        {"TextSeven", L"d", std::wstring(L" 7 "), REG_DWORD, std::string("\x07\0\0\0", 4)},
    };
    for (const Case& c : cases) {
        ASSERT_EQ(WriteRegValue(L"HKCU", kKey, toolkit::FromAnsi(c.name), c.type, c.value), 0) << c.name;
        DWORD type = 0;
        EXPECT_EQ(Raw(c.name, type), c.bytes) << c.name;
        EXPECT_EQ(type, c.regType) << c.name;
    }
    RegValue result;
    ASSERT_EQ(ReadRegValue(L"HKCU", kKey, L"Empty", L"S", std::wstring(L"dflt"), result), 0);
    EXPECT_EQ(std::get<std::wstring>(result), L"");
    ASSERT_EQ(ReadRegValue(L"HKCU", kKey, L"True", L"B", false, result), 0);
    EXPECT_TRUE(std::get<bool>(result));
    ASSERT_EQ(ReadRegValue(L"HKCU", kKey, L"MinusOne", L"D", std::int32_t{0}, result), 0);
    EXPECT_EQ(std::get<std::int32_t>(result), -1);
}

TEST_F(RegistryLayer, BooleanReadOfFourByteValueGives234AndDefault) {
    ASSERT_EQ(WriteRegValue(L"HKCU", kKey, L"Four", L"D", std::int32_t{1}), 0);
    RegValue result;
    EXPECT_EQ(ReadRegValue(L"HKCU", kKey, L"Four", L"B", false, result), ERROR_MORE_DATA);
    EXPECT_FALSE(std::get<bool>(result));
}

TEST_F(RegistryLayer, UnknownTypeCodeCreatesEmptyKeyAndWritesNothing) {
    EXPECT_EQ(WriteRegValue(L"HKCU", kKey, L"V", L"Q", std::wstring(L"x")), 0);
    EXPECT_TRUE(test::KeyExists(HKEY_CURRENT_USER, kKey));
    std::string bytes;
    DWORD type = 0;
    EXPECT_FALSE(RawValue(HKEY_CURRENT_USER, kKey, "V", bytes, type));
    RegValue result;
    EXPECT_EQ(ReadRegValue(L"HKCU", kKey, L"V", L"Q", std::wstring(L"d"), result), 0);
    EXPECT_EQ(std::get<std::wstring>(result), L"d");
}

TEST_F(RegistryLayer, UnconvertibleValuesAreRefusedAndNotWritten) {
    EXPECT_NE(WriteRegValue(L"HKCU", kKey, L"Big", L"D", std::int32_t{40000}), 0);
    EXPECT_NE(WriteRegValue(L"HKCU", kKey, L"Word", L"B", std::wstring(L"maybe")), 0);
    std::string bytes;
    DWORD type = 0;
    EXPECT_FALSE(RawValue(HKEY_CURRENT_USER, kKey, "Big", bytes, type));
    EXPECT_FALSE(RawValue(HKEY_CURRENT_USER, kKey, "Word", bytes, type));
}

TEST_F(RegistryLayer, NonAsciiTextGoesThroughTheAnsiCodePage) {
    const std::wstring text = L"Z\u00fcrich caf\u00e9 \u00a7 5\u00b0";
    ASSERT_EQ(WriteRegValue(L"HKCU", kKey, L"Place", L"S", text), 0);
    DWORD type = 0;
    ASSERT_EQ(::GetACP(), 1252u) << "the tests run with the en-US code page";
    EXPECT_EQ(Raw("Place", type), std::string("Z\xFCrich caf\xE9 \xA7 5\xB0", 16) + '\0');
    RegValue result;
    ASSERT_EQ(ReadRegValue(L"HKCU", kKey, L"Place", L"S", std::wstring(), result), 0);
    EXPECT_EQ(std::get<std::wstring>(result), text);
}

class IniForm : public testing::Test {
protected:
    void SetUp() override {
        wchar_t dir[MAX_PATH];
        ::GetTempPathW(MAX_PATH, dir);
        path = std::wstring(dir) + L"hv_ini_" + std::to_wstring(::GetCurrentProcessId()) + L".ini";
        std::ofstream(path.c_str(), std::ios::binary) << "";
    }
    void TearDown() override { ::DeleteFileW(path.c_str()); }
    std::string Bytes() {
        std::ifstream in(path.c_str(), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    std::wstring path;
};

TEST_F(IniForm, WritesSectionAndLineAndRefusesNumbers) {
    EXPECT_EQ(ResolveRootKey(path), kRootIniFile);
    ASSERT_EQ(WriteRegValue(path, L"Opts", L"K", L"S", std::wstring(L"abc")), 0);
    const std::string written = Bytes();
    EXPECT_NE(written.find("[Opts]"), std::string::npos) << written;
    EXPECT_NE(written.find("K=abc"), std::string::npos) << written;

    RegValue result;
    ASSERT_EQ(ReadRegValue(path, L"Opts", L"K", L"S", std::wstring(L"d"), result), 0);
    EXPECT_EQ(std::get<std::wstring>(result), L"abc");
    ASSERT_EQ(ReadRegValue(path, L"Opts", L"Missing", L"S", std::wstring(L"d"), result), 0);
    EXPECT_EQ(std::get<std::wstring>(result), L"d");

    EXPECT_EQ(WriteRegValue(path, L"Opts", L"N", L"D", std::int32_t{7}), 99);
    EXPECT_EQ(Bytes(), written);
}

TEST_F(IniForm, NumbersReadAsWholeNumbersAndFoldersAreNotFiles) {
    ASSERT_EQ(WriteRegValue(path, L"Opts", L"N", L"S", std::wstring(L"42")), 0);
    RegValue result;
    ASSERT_EQ(ReadRegValue(path, L"Opts", L"N", L"D", std::int32_t{0}, result), 0);
    EXPECT_EQ(std::get<std::int32_t>(result), 42);
    ASSERT_EQ(ReadRegValue(path, L"Opts", L"Absent", L"B", std::int32_t{9}, result), 0);
    EXPECT_EQ(std::get<std::int32_t>(result), 0);

    wchar_t dir[MAX_PATH];
    ::GetTempPathW(MAX_PATH, dir);
    EXPECT_EQ(ResolveRootKey(dir), kRootUnknown);
}

}  // namespace
}  // namespace hv::settings
