// The Outlook stand-in: an automation server that answers for "Outlook.Application" where
// Outlook itself is not installed. It is served two ways: OutlookStandin.exe, the local server
// registered in the prefix (its own process, as Outlook is), and this static library, which
// tests link to create a server in-process, take its Application object and drive it through
// IDispatch as any automation client does, with the fault plan and the counters below to make
// calls fail and to see what was called.
//
//   auto server = standin::CreateServer({.calendarText = ics, .outboxFolder = dir});
//   ComPtr<IDispatch> app = server->CreateApplication();
//   server->Faults().Fail(L"Items", L"Find", L"The operation failed.", 2);  // 2nd Find fails
//   ... server->Count().Calls(L"Items", L"Find"), server->Count().LiveObjects() ...
//
// Objects: Application, NameSpace, MAPIFolder, Items, AppointmentItem, RecurrencePattern,
// Exceptions, Exception, MailItem, Recipients, Recipient. Member names are matched without case.
// Each object's type information names its interface as Outlook's type library does
// ("_AppointmentItem", "_MailItem", "Recipient"...). A failing member returns DISP_E_EXCEPTION
// with an EXCEPINFO whose bstrSource is "Outlook stand-in", bstrDescription the description and
// scode E_FAIL (or the code Outlook gives, where it is known: a refused security prompt, a
// filter it cannot parse).
//
// Behaviour worth knowing, as in Outlook: Items.Find/FindNext yield every occurrence of a series
// as an item of its own only when Sort "[Start]" (ascending) came before IncludeRecurrences was set
// to True; otherwise a series is one item. Items.Count is 2147483647 with IncludeRecurrences True.
// Filter dates are read in the user's short date form, times in the user's time format without
// seconds. A search that finds nothing answers Nothing (a null VT_DISPATCH). A search with no
// upper bound on [Start] expands series up to a year after today. An appointment without an
// ORGANIZER is the user's own, so its Organizer is Config::currentUser. A sent MailItem is gone:
// every later call on it fails. Items.Item (the default member) counts from 1; the Outbox
// (GetDefaultFolder(4)) lists the messages SendDelayMs or Offline keep waiting, as read-only
// MailItems that are gone once delivered.
#pragma once
#include <windows.h>
#include <oaidl.h>
#include <wrl/client.h>

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace standin {

// The class OutlookStandin.exe serves under the ProgID "Outlook.Application".
// {C41C8B7C-2A32-4451-820F-EAAFA130CE82}
inline constexpr CLSID kApplicationClsid = {
    0xc41c8b7c, 0x2a32, 0x4451, {0x82, 0x0f, 0xea, 0xaf, 0xa1, 0x30, 0xce, 0x82}};

struct Config {
    std::wstring calendarFile;  // an .ics file, read again whenever its time stamp or size changes
    std::string calendarText;   // iCalendar text (UTF-8), used when calendarFile is empty
    std::wstring outboxFolder;  // each sent MailItem becomes one .eml file here (created when missing);
                                // empty: "OutlookStandin\Outbox" in the user's temporary folder
    std::wstring currentUser = L"Test User";
    std::wstring version = L"9.0.0.3821";              // Application.Version
    std::wstring topFolderName = L"Personal Folders";  // Name of the Inbox's Parent
    // Follow the steering values of HKCU\Software\OutlookStandin while running (Disconnect,
    // FailMember and Outlook's conditions: BusySeconds, CallDelayMs, Guard 1 or 2, SendDelayMs, Offline), as
    // OutlookStandin.exe does, so that end-to-end tests can steer it from outside.
    bool followRegistryControls = false;
};

// HKCU\Software\OutlookStandin: CalendarFile, OutboxFolder, CurrentUser, Version, TopFolderName
// (REG_SZ). Missing values keep the defaults above.
Config ReadConfigFromRegistry();

// Planned failures. A member fails with DISP_E_EXCEPTION and the description given; object kinds
// and member names are those listed above, any case.
class FaultPlan {
public:
    // nthCall 0: every call from now on; n > 0: only the n-th call from now on. `scode` is the
    // EXCEPINFO's code (E_ABORT, say, for a send the user refused). Throws std::invalid_argument
    // for a kind or member the server does not have.
    void Fail(std::wstring_view kind, std::wstring_view member, std::wstring description, int nthCall = 0,
              HRESULT scode = E_FAIL);
    // Takes back the planned failures of one member.
    void Clear(std::wstring_view kind, std::wstring_view member);
    // As if the server process had ended: every object created so far fails every call with
    // RPC_E_DISCONNECTED from now on. An Application created afterwards works again.
    void GoAway();
    // Runs `hook` inside every call of that member from now on, before the member answers, as a
    // security prompt holds a call while the caller's own messages run (an Exit, say).
    void During(std::wstring_view kind, std::wstring_view member, std::function<void()> hook);
    // Takes back every planned member failure and hook (objects that went away stay gone).
    void Reset();
    // As a busy Outlook: the next `calls` calls of any object are turned down with
    // RPC_E_CALL_REJECTED.
    void RejectCalls(int calls) { rejectCalls_ = calls; }

    struct Failure {
        std::wstring description;
        HRESULT scode;
    };
    // For the server's objects: the failure planned for this call, if any.
    std::optional<Failure> FailureFor(std::wstring_view kind, std::wstring_view member);
    // For the server's objects: runs the hooks planned for this call.
    void RunHooks(std::wstring_view kind, std::wstring_view member);
    // For the server's objects: whether this call is to be turned down.
    bool TakeRejection() { return rejectCalls_ > 0 && rejectCalls_-- > 0; }
    unsigned Generation() const { return generation_; }

private:
    struct Planned {
        std::wstring key;  // "Kind.Member" as the server spells it
        std::wstring description;
        int callsLeft;  // 0: every call
        HRESULT scode;
        int seen = 0;
    };
    std::vector<Planned> planned_;
    std::vector<std::pair<std::wstring, std::function<void()>>> hooks_;  // "Kind.Member", hook
    unsigned generation_ = 0;
    int rejectCalls_ = 0;
};

class Counters {
public:
    // Invoke calls that reached a member, failed ones included; calls turned down while the
    // server was busy are counted apart.
    long Calls(std::wstring_view kind, std::wstring_view member) const;
    long TotalCalls() const { return total_; }
    long NameLookups() const { return lookups_; }  // GetIDsOfNames calls
    long RejectedCalls() const { return rejected_; }
    // Objects of this server that a client (or another object) still holds.
    long LiveObjects() const { return live_; }
    // Every member's count, keyed "Kind.Member".
    const std::map<std::wstring, long>& AllCalls() const { return calls_; }

    // For the server's objects.
    void CountCall(std::wstring_view kind, std::wstring_view member);
    void CountNameLookup() { ++lookups_; }
    void CountRejected() { ++rejected_; }
    void ObjectCreated() { ++live_; }
    void ObjectDestroyed() { --live_; }

private:
    std::map<std::wstring, long> calls_;
    long total_ = 0;
    long lookups_ = 0;
    long rejected_ = 0;
    long live_ = 0;
};

// The state behind one running "Outlook": its settings, calendar, outbox, fault plan and counters.
class Server {
public:
    virtual ~Server() = default;
    virtual Microsoft::WRL::ComPtr<IDispatch> CreateApplication() = 0;
    virtual FaultPlan& Faults() = 0;
    virtual const Counters& Count() const = 0;
};

std::shared_ptr<Server> CreateServer(Config config);

}  // namespace standin
