// The server as an automation client meets it: names in any case, property get and put, wrong
// argument counts and types, failures with EXCEPINFO, the fault plan, a server that goes away,
// the call counters and exact reference counting.
#include <windows.h>

#include <fstream>
#include <memory>
#include <stdexcept>

#include <gtest/gtest.h>

#include "standin/Standin.h"
#include "tests/standin/Automation.h"

namespace hv::test {
namespace {

const char kOneAppointment[] =
    "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nBEGIN:VEVENT\r\nUID:1\r\nSUMMARY:Budget review\r\n"
    "DTSTART:20261207T090000\r\nDTEND:20261207T100000\r\nEND:VEVENT\r\nEND:VCALENDAR\r\n";
const wchar_t kDay[] = L"[Start] >= \"12/7/2026 00:00 AM\" and [Start] <= \"12/7/2026 11:59 PM\"";

class StandinAutomation : public testing::Test {
protected:
    StandinAutomation() {
        standin::Config config;
        config.calendarText = kOneAppointment;
        config.topFolderName = L"Mailbox - Test User";
        server = standin::CreateServer(config);
        baseline = server->Count().LiveObjects();
        app = server->CreateApplication();
    }

    ComPtr<IDispatch> CalendarItems() {
        auto ns = Object(app.Get(), L"GetNamespace", {L"MAPI"});
        return Object(Object(ns.Get(), L"GetDefaultFolder", {9}).Get(), L"Items");
    }

    std::shared_ptr<standin::Server> server;
    long baseline = 0;
    ComPtr<IDispatch> app;
};

TEST_F(StandinAutomation, MemberNamesMatchInAnyCaseAndUnknownNamesAreRefused) {
    DISPID ids[3] = {};
    const wchar_t* spellings[] = {L"GetNamespace", L"getnamespace", L"GETNAMESPACE"};
    for (int i = 0; i < 3; ++i) {
        LPOLESTR name = const_cast<LPOLESTR>(spellings[i]);
        ASSERT_EQ(app->GetIDsOfNames(IID_NULL, &name, 1, LOCALE_USER_DEFAULT, &ids[i]), S_OK) << spellings[i];
    }
    EXPECT_EQ(ids[0], ids[1]);
    EXPECT_EQ(ids[0], ids[2]);
    EXPECT_EQ(Text(app.Get(), L"vErSiOn"), L"9.0.0.3821");

    for (const wchar_t* bad : {L"GetNamespaces", L"", L"Quit", L"Get Namespace"}) {
        Outcome out;
        EXPECT_EQ(TryInvoke(app.Get(), bad, DISPATCH_METHOD, {}, out), DISP_E_UNKNOWNNAME) << bad;
    }
    LPOLESTR withParameterName[] = {const_cast<LPOLESTR>(L"GetNamespace"), const_cast<LPOLESTR>(L"Type")};
    DISPID two[2];
    EXPECT_EQ(app->GetIDsOfNames(IID_NULL, withParameterName, 2, LOCALE_USER_DEFAULT, two), DISP_E_UNKNOWNNAME);
    EXPECT_EQ(
        app->Invoke(12345, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYGET, nullptr, nullptr, nullptr, nullptr),
        DISP_E_MEMBERNOTFOUND);
}

TEST_F(StandinAutomation, ResultsCarryOutlooksTypes) {
    auto items = CalendarItems();
    auto item = Object(items.Get(), L"Find", {kDay});
    ASSERT_TRUE(item);
    const struct {
        const wchar_t* member;
        VARTYPE type;
    } cases[] = {{L"Start", VT_DATE},
                 {L"Subject", VT_BSTR},
                 {L"AllDayEvent", VT_BOOL},
                 {L"ReminderMinutesBeforeStart", VT_I4},
                 {L"GetRecurrencePattern", VT_DISPATCH}};
    for (const auto& c : cases) {
        Outcome out;
        ASSERT_EQ(TryInvoke(item.Get(), c.member, DISPATCH_METHOD | DISPATCH_PROPERTYGET, {}, out), S_OK) << c.member;
        EXPECT_EQ(out.value.vt, c.type) << c.member;
    }
    EXPECT_EQ(When(item.Get(), L"Start"), WhenText(2026, 12, 7, 9, 0));
    EXPECT_EQ(When(item.Get(), L"End"), WhenText(2026, 12, 7, 10, 0));
    EXPECT_EQ(Number(item.Get(), L"Duration"), 60);
    EXPECT_EQ(Text(item.Get(), L"Organizer"), L"Test User");  // the user's own appointment
}

TEST_F(StandinAutomation, PropertyPutAndItsMistakes) {
    auto items = CalendarItems();
    EXPECT_FALSE(Flag(items.Get(), L"IncludeRecurrences"));
    Put(items.Get(), L"IncludeRecurrences", true);
    EXPECT_TRUE(Flag(items.Get(), L"IncludeRecurrences"));
    Put(items.Get(), L"includerecurrences", L"False");  // coerced as Outlook coerces
    EXPECT_FALSE(Flag(items.Get(), L"IncludeRecurrences"));

    Outcome out;
    EXPECT_EQ(TryInvoke(app.Get(), L"Version", DISPATCH_PROPERTYPUT, {L"1.0"}, out), DISP_E_MEMBERNOTFOUND);
    EXPECT_EQ(TryInvoke(items.Get(), L"IncludeRecurrences", DISPATCH_PROPERTYPUT, {L"perhaps"}, out),
              DISP_E_TYPEMISMATCH);
    // A put must name its value DISPID_PROPERTYPUT.
    DISPID id = 0;
    LPOLESTR name = const_cast<LPOLESTR>(L"IncludeRecurrences");
    ASSERT_EQ(items->GetIDsOfNames(IID_NULL, &name, 1, LOCALE_USER_DEFAULT, &id), S_OK);
    VARIANT value;
    value.vt = VT_BOOL;
    value.boolVal = VARIANT_TRUE;
    DISPPARAMS unnamed{&value, nullptr, 1, 0};
    EXPECT_EQ(
        items->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYPUT, &unnamed, nullptr, nullptr, nullptr),
        DISP_E_PARAMNOTFOUND);
    EXPECT_FALSE(Flag(items.Get(), L"IncludeRecurrences"));
}

TEST_F(StandinAutomation, ArgumentCountsTypesAndCallKinds) {
    auto ns = Object(app.Get(), L"GetNamespace", {L"MAPI"});
    Outcome out;
    EXPECT_EQ(TryInvoke(app.Get(), L"GetNamespace", DISPATCH_METHOD, {}, out), DISP_E_BADPARAMCOUNT);
    EXPECT_EQ(TryInvoke(app.Get(), L"GetNamespace", DISPATCH_METHOD, {L"MAPI", L"x"}, out), DISP_E_BADPARAMCOUNT);
    EXPECT_EQ(TryInvoke(app.Get(), L"Version", DISPATCH_PROPERTYGET, {L"x"}, out), DISP_E_BADPARAMCOUNT);
    EXPECT_EQ(TryInvoke(ns.Get(), L"GetDefaultFolder", DISPATCH_METHOD, {L"nine"}, out), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(out.argErr, 0u);
    // Texts that are numbers are coerced, as VB clients rely on.
    EXPECT_EQ(Text(Object(ns.Get(), L"GetDefaultFolder", {L"9"}).Get(), L"Name"), L"Calendar");
    // A property is not a method, but VB's METHOD|PROPERTYGET reaches both.
    EXPECT_EQ(TryInvoke(app.Get(), L"Version", DISPATCH_METHOD, {}, out), DISP_E_MEMBERNOTFOUND);
    EXPECT_EQ(TryInvoke(app.Get(), L"Version", DISPATCH_METHOD | DISPATCH_PROPERTYGET, {}, out), S_OK);
    EXPECT_EQ(TryInvoke(app.Get(), L"GetNamespace", DISPATCH_PROPERTYPUT, {L"MAPI"}, out), DISP_E_MEMBERNOTFOUND);
    // Arguments passed by reference, as VB passes its variables, are read through the reference.
    long nine = 9;
    VARIANT boxed;
    boxed.vt = VT_I4;
    boxed.lVal = 9;
    VARIANT byRef[2];
    byRef[0].vt = VT_BYREF | VT_I4;
    byRef[0].plVal = &nine;
    byRef[1].vt = VT_BYREF | VT_VARIANT;
    byRef[1].pvarVal = &boxed;
    DISPID folderId = 0;
    LPOLESTR folderName = const_cast<LPOLESTR>(L"GetDefaultFolder");
    ASSERT_EQ(ns->GetIDsOfNames(IID_NULL, &folderName, 1, LOCALE_USER_DEFAULT, &folderId), S_OK);
    for (VARIANT& arg : byRef) {
        VARIANT result;
        ::VariantInit(&result);
        DISPPARAMS params{&arg, nullptr, 1, 0};
        ASSERT_EQ(
            ns->Invoke(folderId, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, &result, nullptr, nullptr),
            S_OK);
        ASSERT_EQ(result.vt, VT_DISPATCH);
        EXPECT_EQ(Text(result.pdispVal, L"Name"), L"Calendar");
        ::VariantClear(&result);
    }
    // An optional argument left out counts as not given.
    auto items = CalendarItems();
    EXPECT_EQ(TryInvoke(items.Get(), L"Sort", DISPATCH_METHOD, {L"[Start]", Arg::Missing()}, out), S_OK);
    EXPECT_EQ(TryInvoke(items.Get(), L"Sort", DISPATCH_METHOD, {L"[Start]", true, 1}, out), DISP_E_BADPARAMCOUNT);
}

TEST_F(StandinAutomation, FailuresCarryADescriptionFromTheStandIn) {
    auto ns = Object(app.Get(), L"GetNamespace", {L"MAPI"});
    auto items = CalendarItems();
    const struct {
        IDispatch* object;
        const wchar_t* member;
        std::vector<Arg> args;
    } cases[] = {
        {app.Get(), L"GetNamespace", {L"LDAP"}},
        {app.Get(), L"CreateItem", {1}},
        {ns.Get(), L"GetDefaultFolder", {3}},
        {items.Get(), L"FindNext", {}},  // before any Find
        {items.Get(), L"Find", {L"[Start] >= \"someday\""}},
        {items.Get(), L"Sort", {L"[Colour]"}},
    };
    for (const auto& c : cases) {
        Outcome out;
        EXPECT_EQ(TryInvoke(c.object, c.member, DISPATCH_METHOD, c.args, out), DISP_E_EXCEPTION) << c.member;
        EXPECT_EQ(out.source, L"Outlook stand-in") << c.member;
        EXPECT_FALSE(out.description.empty()) << c.member;
        EXPECT_EQ(out.value.vt, VT_EMPTY) << c.member;
    }
    Outcome out;
    TryInvoke(items.Get(), L"Find", DISPATCH_METHOD, {L"[Start] >= \"someday\""}, out);
    EXPECT_EQ(out.description, L"Cannot parse condition. Error at \"\"someday\"\".");
    EXPECT_EQ(out.scode, DISP_E_EXCEPTION);  // the code Outlook's clients see with that message
}

TEST_F(StandinAutomation, SessionFoldersAndTheCurrentUser) {
    auto ns = Object(app.Get(), L"GetNamespace", {L"MAPI"});
    auto session = Object(app.Get(), L"Session");
    ComPtr<IUnknown> a, b;
    ns.As(&a);
    session.As(&b);
    EXPECT_EQ(a.Get(), b.Get());  // the same NameSpace

    auto inbox = Object(ns.Get(), L"GetDefaultFolder", {6});
    EXPECT_EQ(Text(inbox.Get(), L"Name"), L"Inbox");
    EXPECT_EQ(Text(Object(inbox.Get(), L"Parent").Get(), L"Name"), L"Mailbox - Test User");
    auto calendar = Object(ns.Get(), L"GetDefaultFolder", {9});
    EXPECT_EQ(Text(Object(calendar.Get(), L"Parent").Get(), L"Name"), L"Mailbox - Test User");
    EXPECT_FALSE(Object(Object(inbox.Get(), L"Items").Get(), L"Find", {kDay}));  // no appointments there

    // CurrentUser's default member is its name.
    auto user = Object(ns.Get(), L"CurrentUser");
    VARIANT value;
    ::VariantInit(&value);
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    ASSERT_EQ(user->Invoke(DISPID_VALUE, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYGET, &none, &value, nullptr,
                           nullptr),
              S_OK);
    ASSERT_EQ(value.vt, VT_BSTR);
    EXPECT_EQ(std::wstring(value.bstrVal), L"Test User");
    ::VariantClear(&value);
    EXPECT_EQ(Text(user.Get(), L"Name"), L"Test User");
}

TEST_F(StandinAutomation, FaultPlanFailsTheNthCallOrEveryCall) {
    auto items = CalendarItems();
    server->Faults().Fail(L"items", L"FIND", L"The search failed.", 2);
    EXPECT_TRUE(Object(items.Get(), L"Find", {kDay}));
    Outcome out;
    EXPECT_EQ(TryInvoke(items.Get(), L"Find", DISPATCH_METHOD, {kDay}, out), DISP_E_EXCEPTION);
    EXPECT_EQ(out.description, L"The search failed.");
    EXPECT_EQ(out.source, L"Outlook stand-in");
    EXPECT_TRUE(Object(items.Get(), L"Find", {kDay}));  // only the second call

    server->Faults().Fail(L"AppointmentItem", L"Subject", L"Read refused.");
    auto item = Object(items.Get(), L"Find", {kDay});
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(TryInvoke(item.Get(), L"Subject", DISPATCH_PROPERTYGET, {}, out), DISP_E_EXCEPTION);
        EXPECT_EQ(out.description, L"Read refused.");
    }
    EXPECT_EQ(When(item.Get(), L"Start"), WhenText(2026, 12, 7, 9, 0));  // other members still answer
    server->Faults().Reset();
    EXPECT_EQ(Text(item.Get(), L"Subject"), L"Budget review");

    EXPECT_THROW(server->Faults().Fail(L"Contact", L"Name", L"x"), std::invalid_argument);
    EXPECT_THROW(server->Faults().Fail(L"Items", L"Restrict", L"x"), std::invalid_argument);
}

TEST_F(StandinAutomation, AServerThatWentAwayFailsEveryOldObjectButANewApplicationWorks) {
    auto items = CalendarItems();
    auto item = Object(items.Get(), L"Find", {kDay});
    server->Faults().GoAway();
    for (IDispatch* old : {app.Get(), items.Get(), item.Get()}) {
        Outcome out;
        EXPECT_EQ(TryInvoke(old, L"Class", DISPATCH_PROPERTYGET, {}, out), RPC_E_DISCONNECTED);
    }
    auto fresh = server->CreateApplication();
    auto freshItems =
        Object(Object(Object(fresh.Get(), L"GetNamespace", {L"MAPI"}).Get(), L"GetDefaultFolder", {9}).Get(), L"Items");
    EXPECT_EQ(Walk(freshItems.Get(), kDay), std::vector<std::wstring>{WhenText(2026, 12, 7, 9, 0) + L"|Budget review"});
    Outcome out;
    EXPECT_EQ(TryInvoke(items.Get(), L"Find", DISPATCH_METHOD, {kDay}, out), RPC_E_DISCONNECTED);
}

TEST_F(StandinAutomation, EveryObjectIsReleasedWhenTheClientLetsGo) {
    {
        auto ns = Object(app.Get(), L"GetNamespace", {L"MAPI"});
        auto items = CalendarItems();
        Put(items.Get(), L"IncludeRecurrences", true);
        Perform(items.Get(), L"Sort", {L"[Start]"});
        auto item = Object(items.Get(), L"Find", {kDay});
        auto exceptions = Object(Object(item.Get(), L"GetRecurrencePattern").Get(), L"Exceptions");
        auto mail = Object(app.Get(), L"CreateItem", {0});
        auto recipient = Object(Object(mail.Get(), L"Recipients").Get(), L"Add", {L"pat@example.com"});
        auto user = Object(ns.Get(), L"CurrentUser");
        Text(Object(Object(ns.Get(), L"GetDefaultFolder", {6}).Get(), L"Parent").Get(), L"Name");
        // Held here: app, ns, items, item, exceptions, mail, recipient, user. The folders,
        // pattern and recipient list used on the way are gone already.
        EXPECT_EQ(server->Count().LiveObjects(), baseline + 8);
        app.Reset();  // children outlive their parent
        EXPECT_EQ(Text(recipient.Get(), L"Name"), L"pat@example.com");
        EXPECT_EQ(Number(exceptions.Get(), L"Count"), 0);
    }
    EXPECT_EQ(server->Count().LiveObjects(), baseline);
}

TEST_F(StandinAutomation, CallsAreCountedPerMemberOnInvokeOnly) {
    auto items = CalendarItems();
    const long before = server->Count().TotalCalls();
    DISPID id = 0;
    LPOLESTR name = const_cast<LPOLESTR>(L"Find");
    items->GetIDsOfNames(IID_NULL, &name, 1, LOCALE_USER_DEFAULT, &id);
    EXPECT_EQ(server->Count().Calls(L"Items", L"Find"), 0);
    Walk(items.Get(), kDay);
    Object(items.Get(), L"find", {kDay});
    Outcome out;
    TryInvoke(items.Get(), L"Find", DISPATCH_METHOD, {}, out);  // a wrong call is still a call
    EXPECT_EQ(server->Count().Calls(L"Items", L"Find"), 3);
    EXPECT_EQ(server->Count().Calls(L"items", L"findnext"), 1);
    EXPECT_EQ(server->Count().Calls(L"AppointmentItem", L"Start"), 1);
    EXPECT_EQ(server->Count().TotalCalls() - before, 3 + 1 + 2);
    EXPECT_THROW(server->Count().Calls(L"Items", L"Nope"), std::invalid_argument);
}

TEST(StandinCalendarFile, IsReadAgainWhenItChangesAndAMissingFileIsAnEmptyCalendar) {
    wchar_t temp[MAX_PATH];
    ::GetTempPathW(MAX_PATH, temp);
    const std::wstring path =
        std::wstring(temp) + L"standin-calendar-" + std::to_wstring(::GetCurrentProcessId()) + L".ics";
    ::DeleteFileW(path.c_str());
    standin::Config config;
    config.calendarFile = path;
    auto server = standin::CreateServer(config);
    auto app = server->CreateApplication();
    auto items =
        Object(Object(Object(app.Get(), L"GetNamespace", {L"MAPI"}).Get(), L"GetDefaultFolder", {9}).Get(), L"Items");
    EXPECT_TRUE(Walk(items.Get(), kDay).empty());

    auto write = [&](const char* subject) {
        std::ofstream out(path.c_str(), std::ios::binary | std::ios::trunc);
        out << "BEGIN:VCALENDAR\r\nBEGIN:VEVENT\r\nUID:1\r\nSUMMARY:" << subject
            << "\r\nDTSTART:20261207T090000\r\nEND:VEVENT\r\nEND:VCALENDAR\r\n";
    };
    write("First");
    EXPECT_EQ(Walk(items.Get(), kDay), std::vector<std::wstring>{WhenText(2026, 12, 7, 9, 0) + L"|First"});
    write("Second, longer");
    EXPECT_EQ(Walk(items.Get(), kDay), std::vector<std::wstring>{WhenText(2026, 12, 7, 9, 0) + L"|Second, longer"});
    ::DeleteFileW(path.c_str());
    EXPECT_TRUE(Walk(items.Get(), kDay).empty());
}

}  // namespace
}  // namespace hv::test
