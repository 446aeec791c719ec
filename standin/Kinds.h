// The object kinds the server hands out and the members of each, in the order of their DISPIDs
// (member i has DISPID i + 1; DISPID_VALUE reaches the default member where there is one).
#pragma once
#include <span>
#include <string_view>

namespace standin {

enum class Access { Get, GetPut, Method };

struct MemberInfo {
    const wchar_t* name;
    Access access;
    int minArgs = 0;
    int maxArgs = 0;
};

struct KindInfo {
    const wchar_t* name;
    std::span<const MemberInfo> members;
    int defaultMember = -1;
    // The interface name the object's type information gives, as in Outlook's type library.
    const wchar_t* interfaceName = name;
};

// Outlook's OlObjectClass values, returned by every object's Class property.
enum class ObjectClass : long {
    Application = 0,
    NameSpace = 1,
    Folder = 2,
    Recipient = 4,
    Items = 16,
    Recipients = 17,
    Appointment = 26,
    RecurrencePattern = 28,
    Exceptions = 29,
    Exception = 30,
    Mail = 43,
};

namespace kinds {

enum class Application { GetNamespace, Session, Version, CreateItem, Name, Class };
enum class NameSpace { GetDefaultFolder, CurrentUser, Type, Class, Offline };
enum class Folder { Items, Parent, Name, DefaultItemType, Class };
enum class Items { IncludeRecurrences, Sort, Find, FindNext, Count, Class, Item };
enum class Appointment {
    Start,
    End,
    Subject,
    Location,
    Organizer,
    Body,
    Categories,
    AllDayEvent,
    IsRecurring,
    ReminderSet,
    ReminderMinutesBeforeStart,
    Duration,
    GetRecurrencePattern,
    Class
};
enum class Pattern {
    Exceptions,
    RecurrenceType,
    Interval,
    Occurrences,
    NoEndDate,
    PatternStartDate,
    PatternEndDate,
    Class
};
enum class Exceptions { Count, Item, Class };
enum class Exception { OriginalDate, Deleted, AppointmentItem, Class };
enum class Mail { Subject, Body, Recipients, To, Send, Class };
enum class Recipients { Count, Item, Add, Remove, Class };
enum class Recipient { Name, Address, Type, Resolve, Resolved, Class };

extern const KindInfo kApplication;
extern const KindInfo kNameSpace;
extern const KindInfo kFolder;
extern const KindInfo kItems;
extern const KindInfo kAppointment;
extern const KindInfo kPattern;
extern const KindInfo kExceptions;
extern const KindInfo kException;
extern const KindInfo kMail;
extern const KindInfo kRecipients;
extern const KindInfo kRecipient;

// The kind of that name (any case), or nullptr.
const KindInfo* Find(std::wstring_view name);
// The index of a member of a kind (any case), or -1.
int MemberIndex(const KindInfo& kind, std::wstring_view member);

}  // namespace kinds
}  // namespace standin
