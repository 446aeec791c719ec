// The DLL as it is registered in the prefix: reached by ProgID like any automation server,
// configured and steered through HKCU\Software\OutlookStandin, honest about unloading, and
// registering and unregistering exactly its own keys.
#include <windows.h>
#include <objbase.h>
#include <olectl.h>

#include <fstream>
#include <string>

#include <gtest/gtest.h>

#include "standin/Standin.h"
#include "tests/standin/Automation.h"
#include "tests/support/RegistrySandbox.h"

namespace hv::test {
namespace {

const wchar_t kKey[] = L"Software\\OutlookStandin";

std::wstring DllPath() {
    wchar_t exe[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, exe, MAX_PATH);
    std::wstring path = exe;
    return path.substr(0, path.find_last_of(L"\\/") + 1) + L"OutlookStandin.dll";
}

using EntryPoint = HRESULT(STDAPICALLTYPE*)();

EntryPoint Entry(HMODULE dll, const char* name) {
    // Through a plain function pointer type, which any function pointer may be cast to.
    return reinterpret_cast<EntryPoint>(reinterpret_cast<void (*)()>(::GetProcAddress(dll, name)));
}

void SetText(const wchar_t* name, const std::wstring& value) {
    ASSERT_EQ(::RegSetKeyValueW(HKEY_CURRENT_USER, kKey, name, REG_SZ, value.c_str(),
                                static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t))),
              ERROR_SUCCESS);
}

void SetNumber(const wchar_t* name, DWORD value) {
    ASSERT_EQ(::RegSetKeyValueW(HKEY_CURRENT_USER, kKey, name, REG_DWORD, &value, sizeof value), ERROR_SUCCESS);
}

ComPtr<IDispatch> CreateByProgId() {
    CLSID clsid{};
    EXPECT_EQ(::CLSIDFromProgID(L"Outlook.Application", &clsid), S_OK);
    ComPtr<IDispatch> app;
    EXPECT_EQ(::CoCreateInstance(clsid, nullptr, CLSCTX_SERVER, IID_PPV_ARGS(&app)), S_OK);
    return app;
}

// Retries a call for up to three seconds: the controls are looked at every 500 ms.
HRESULT SettledResult(IDispatch* object, const wchar_t* member, HRESULT wanted, Outcome& out) {
    for (int i = 0; i < 30; ++i) {
        if (TryInvoke(object, member, DISPATCH_METHOD | DISPATCH_PROPERTYGET, {}, out) == wanted) break;
        ::Sleep(100);
    }
    return out.hr;
}

class StandinRegistered : public testing::Test {
protected:
    RegistrySandbox sandbox;  // HKCU of this process, where the DLL reads its settings
};

TEST_F(StandinRegistered, TheProgIdLeadsToAWorkingApplication) {
    CLSID clsid{};
    ASSERT_EQ(::CLSIDFromProgID(L"Outlook.Application", &clsid), S_OK);
    EXPECT_TRUE(::IsEqualCLSID(clsid, standin::kApplicationClsid));
    auto app = CreateByProgId();
    ASSERT_TRUE(app);
    EXPECT_EQ(Text(app.Get(), L"Version"), L"9.0.0.3821");
    auto ns = Object(app.Get(), L"GetNamespace", {L"MAPI"});
    EXPECT_EQ(Text(Object(ns.Get(), L"CurrentUser").Get(), L"Name"), L"Test User");
    EXPECT_EQ(Text(Object(Object(ns.Get(), L"GetDefaultFolder", {6}).Get(), L"Parent").Get(), L"Name"), L"Personal Folders");
}

TEST_F(StandinRegistered, SettingsComeFromTheRegistry) {
    wchar_t temp[MAX_PATH];
    ::GetTempPathW(MAX_PATH, temp);
    const std::wstring calendar = std::wstring(temp) + L"standin-registered-" + std::to_wstring(::GetCurrentProcessId()) + L".ics";
    std::ofstream(calendar.c_str(), std::ios::binary)
        << "BEGIN:VCALENDAR\r\nBEGIN:VEVENT\r\nUID:1\r\nSUMMARY:From the file\r\nDTSTART:20261207T090000\r\n"
           "END:VEVENT\r\nEND:VCALENDAR\r\n";
    SetText(L"CalendarFile", calendar);
    SetText(L"Version", L"16.0.0.5104");
    SetText(L"TopFolderName", L"Mailbox - Jane Roe");
    SetText(L"CurrentUser", L"Jane Roe");

    auto app = CreateByProgId();
    ASSERT_TRUE(app);
    EXPECT_EQ(Text(app.Get(), L"Version"), L"16.0.0.5104");
    auto ns = Object(app.Get(), L"Session");
    EXPECT_EQ(Text(Object(ns.Get(), L"CurrentUser").Get(), L"Name"), L"Jane Roe");
    EXPECT_EQ(Text(Object(Object(ns.Get(), L"GetDefaultFolder", {6}).Get(), L"Parent").Get(), L"Name"), L"Mailbox - Jane Roe");
    auto items = Object(Object(ns.Get(), L"GetDefaultFolder", {9}).Get(), L"Items");
    EXPECT_EQ(Walk(items.Get(), L"[Start] >= \"12/7/2026\" and [Start] <= \"12/7/2026 11:59 PM\""),
              std::vector<std::wstring>{WhenText(2026, 12, 7, 9, 0) + L"|From the file"});
    app.Reset();
    ns.Reset();
    items.Reset();
    ::DeleteFileW(calendar.c_str());
}

TEST_F(StandinRegistered, DisconnectInTheRegistryMakesTheServerGoAway) {
    SetNumber(L"Disconnect", 3);  // there before the server starts: not a new number
    auto app = CreateByProgId();
    ASSERT_TRUE(app);
    Outcome out;
    ::Sleep(600);
    EXPECT_EQ(TryInvoke(app.Get(), L"Version", DISPATCH_PROPERTYGET, {}, out), S_OK);
    SetNumber(L"Disconnect", 4);
    EXPECT_EQ(SettledResult(app.Get(), L"Version", RPC_E_DISCONNECTED, out), RPC_E_DISCONNECTED);
    auto restarted = CreateByProgId();
    ASSERT_TRUE(restarted);
    EXPECT_EQ(Text(restarted.Get(), L"Version"), L"9.0.0.3821");
    EXPECT_EQ(TryInvoke(app.Get(), L"Version", DISPATCH_PROPERTYGET, {}, out), RPC_E_DISCONNECTED);
}

TEST_F(StandinRegistered, FailMemberInTheRegistryMakesThatMemberFail) {
    SetText(L"FailMember", L"Application.GetNamespace=Outlook is busy.");
    auto app = CreateByProgId();
    ASSERT_TRUE(app);
    Outcome out;
    EXPECT_EQ(TryInvoke(app.Get(), L"GetNamespace", DISPATCH_METHOD, {L"MAPI"}, out), DISP_E_EXCEPTION);
    EXPECT_EQ(out.description, L"Outlook is busy.");
    SetText(L"FailMember", L"application.version=Version unreadable.");
    EXPECT_EQ(SettledResult(app.Get(), L"Version", DISP_E_EXCEPTION, out), DISP_E_EXCEPTION);
    EXPECT_EQ(out.description, L"Version unreadable.");
    EXPECT_EQ(TryInvoke(app.Get(), L"GetNamespace", DISPATCH_METHOD, {L"MAPI"}, out), S_OK);  // the old one is taken back
    SetText(L"FailMember", L"");
    EXPECT_EQ(SettledResult(app.Get(), L"Version", S_OK, out), S_OK);
}

TEST_F(StandinRegistered, TheDllCanBeUnloadedOnceEveryObjectIsReleased) {
    HMODULE dll = ::LoadLibraryW(DllPath().c_str());
    ASSERT_TRUE(dll);
    auto canUnload = Entry(dll, "DllCanUnloadNow");
    ASSERT_TRUE(canUnload);
    {
        auto app = CreateByProgId();
        auto items = Object(Object(Object(app.Get(), L"GetNamespace", {L"MAPI"}).Get(), L"GetDefaultFolder", {9}).Get(), L"Items");
        app.Reset();
        EXPECT_EQ(canUnload(), S_FALSE);  // the items still hold the server
    }
    EXPECT_EQ(canUnload(), S_OK);
    IClassFactory* factory = nullptr;
    ASSERT_EQ(::CoGetClassObject(standin::kApplicationClsid, CLSCTX_INPROC_SERVER, nullptr, IID_PPV_ARGS(&factory)), S_OK);
    factory->LockServer(TRUE);
    factory->Release();
    EXPECT_EQ(canUnload(), S_FALSE);
    ASSERT_EQ(::CoGetClassObject(standin::kApplicationClsid, CLSCTX_INPROC_SERVER, nullptr, IID_PPV_ARGS(&factory)), S_OK);
    factory->LockServer(FALSE);
    factory->Release();
    EXPECT_EQ(canUnload(), S_OK);
    ::FreeLibrary(dll);
}

// HKLM of this process redirected to a private key for the length of a test.
class MachineSandbox {
public:
    explicit MachineSandbox(const std::wstring& under) {
        ::RegCreateKeyExW(HKEY_CURRENT_USER, under.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key_, nullptr);
        ok_ = ::RegOverridePredefKey(HKEY_LOCAL_MACHINE, key_) == ERROR_SUCCESS;
    }
    ~MachineSandbox() {
        ::RegOverridePredefKey(HKEY_LOCAL_MACHINE, nullptr);
        ::RegCloseKey(key_);
    }
    MachineSandbox(const MachineSandbox&) = delete;
    MachineSandbox& operator=(const MachineSandbox&) = delete;
    bool Ok() const { return ok_; }

private:
    HKEY key_ = nullptr;
    bool ok_ = false;
};

std::wstring ReadMachineText(const std::wstring& path, const wchar_t* name) {
    wchar_t text[MAX_PATH * 2] = {};
    DWORD bytes = sizeof text;
    if (::RegGetValueW(HKEY_LOCAL_MACHINE, path.c_str(), name, RRF_RT_REG_SZ, nullptr, text, &bytes) != ERROR_SUCCESS) {
        return L"<missing>";
    }
    return text;
}

TEST_F(StandinRegistered, RegistrationWritesAndRemovesExactlyItsOwnKeys) {
    HMODULE dll = ::LoadLibraryW(DllPath().c_str());
    ASSERT_TRUE(dll);
    auto reg = Entry(dll, "DllRegisterServer");
    auto unreg = Entry(dll, "DllUnregisterServer");
    ASSERT_TRUE(reg && unreg);
    wchar_t loaded[MAX_PATH] = {};
    ::GetModuleFileNameW(dll, loaded, MAX_PATH);
    const std::wstring clsidKey = L"Software\\Classes\\CLSID\\{C41C8B7C-2A32-4451-820F-EAAFA130CE82}";
    {
        MachineSandbox machine(L"Software\\Machine");
        ASSERT_TRUE(machine.Ok());
        ASSERT_EQ(reg(), S_OK);
        EXPECT_EQ(ReadMachineText(L"Software\\Classes\\Outlook.Application\\CLSID", nullptr),
                  L"{C41C8B7C-2A32-4451-820F-EAAFA130CE82}");
        EXPECT_EQ(ReadMachineText(clsidKey + L"\\InprocServer32", nullptr), loaded);
        EXPECT_EQ(ReadMachineText(clsidKey + L"\\InprocServer32", L"ThreadingModel"), L"Apartment");
        EXPECT_EQ(ReadMachineText(clsidKey + L"\\ProgID", nullptr), L"Outlook.Application");
        ASSERT_EQ(reg(), S_OK);  // again: the same
        ASSERT_EQ(unreg(), S_OK);
        EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, L"Software\\Classes\\Outlook.Application"));
        EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, clsidKey));
        EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, L"Software\\Classes"));

        // Someone else's "Outlook.Application" is neither taken over nor removed.
        const std::wstring other = L"{11111111-2222-3333-4444-555555555555}";
        ASSERT_EQ(::RegSetKeyValueW(HKEY_LOCAL_MACHINE, L"Software\\Classes\\Outlook.Application\\CLSID", nullptr, REG_SZ,
                                    other.c_str(), static_cast<DWORD>((other.size() + 1) * sizeof(wchar_t))),
                  ERROR_SUCCESS);
        EXPECT_EQ(reg(), SELFREG_E_CLASS);
        EXPECT_EQ(unreg(), S_OK);
        EXPECT_EQ(ReadMachineText(L"Software\\Classes\\Outlook.Application\\CLSID", nullptr), other);
        EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, clsidKey));
    }
    ::FreeLibrary(dll);
    // The real registration of the prefix is untouched.
    CLSID clsid{};
    EXPECT_EQ(::CLSIDFromProgID(L"Outlook.Application", &clsid), S_OK);
}

}  // namespace
}  // namespace hv::test
