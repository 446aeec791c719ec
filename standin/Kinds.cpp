#include "standin/Kinds.h"

#include "standin/LocalZone.h"

namespace standin::kinds {
namespace {

constexpr MemberInfo Get(const wchar_t* name) { return {name, Access::Get}; }
constexpr MemberInfo GetPut(const wchar_t* name) { return {name, Access::GetPut}; }
constexpr MemberInfo Method(const wchar_t* name, int minArgs = 0, int maxArgs = 0) {
    return {name, Access::Method, minArgs, maxArgs < minArgs ? minArgs : maxArgs};
}

constexpr MemberInfo kApplicationMembers[] = {Method(L"GetNamespace", 1), Get(L"Session"), Get(L"Version"),
                                              Method(L"CreateItem", 1),   Get(L"Name"),    Get(L"Class")};
constexpr MemberInfo kNameSpaceMembers[] = {Method(L"GetDefaultFolder", 1), Get(L"CurrentUser"), Get(L"Type"),
                                            Get(L"Class"), Get(L"Offline")};
constexpr MemberInfo kFolderMembers[] = {Get(L"Items"), Get(L"Parent"), Get(L"Name"), Get(L"DefaultItemType"),
                                         Get(L"Class")};
constexpr MemberInfo kItemsMembers[] = {GetPut(L"IncludeRecurrences"),
                                        Method(L"Sort", 1, 2),
                                        Method(L"Find", 1),
                                        Method(L"FindNext"),
                                        Get(L"Count"),
                                        Get(L"Class"),
                                        Method(L"Item", 1)};
constexpr MemberInfo kAppointmentMembers[] = {Get(L"Start"),
                                              Get(L"End"),
                                              Get(L"Subject"),
                                              Get(L"Location"),
                                              Get(L"Organizer"),
                                              Get(L"Body"),
                                              Get(L"Categories"),
                                              Get(L"AllDayEvent"),
                                              Get(L"IsRecurring"),
                                              Get(L"ReminderSet"),
                                              Get(L"ReminderMinutesBeforeStart"),
                                              Get(L"Duration"),
                                              Method(L"GetRecurrencePattern"),
                                              Get(L"Class")};
constexpr MemberInfo kPatternMembers[] = {Get(L"Exceptions"),     Get(L"RecurrenceType"), Get(L"Interval"),
                                          Get(L"Occurrences"),    Get(L"NoEndDate"),      Get(L"PatternStartDate"),
                                          Get(L"PatternEndDate"), Get(L"Class")};
constexpr MemberInfo kExceptionsMembers[] = {Get(L"Count"), Method(L"Item", 1), Get(L"Class")};
constexpr MemberInfo kExceptionMembers[] = {Get(L"OriginalDate"), Get(L"Deleted"), Get(L"AppointmentItem"),
                                            Get(L"Class")};
constexpr MemberInfo kMailMembers[] = {GetPut(L"Subject"), GetPut(L"Body"), Get(L"Recipients"),
                                       Get(L"To"),         Method(L"Send"), Get(L"Class")};
constexpr MemberInfo kRecipientsMembers[] = {Get(L"Count"), Method(L"Item", 1), Method(L"Add", 1), Method(L"Remove", 1),
                                             Get(L"Class")};
constexpr MemberInfo kRecipientMembers[] = {Get(L"Name"),       Get(L"Address"),  GetPut(L"Type"),
                                            Method(L"Resolve"), Get(L"Resolved"), Get(L"Class")};

}  // namespace

const KindInfo kApplication{L"Application", kApplicationMembers, -1, L"_Application"};
const KindInfo kNameSpace{L"NameSpace", kNameSpaceMembers, -1, L"_NameSpace"};
const KindInfo kFolder{L"MAPIFolder", kFolderMembers};
const KindInfo kItems{L"Items", kItemsMembers, static_cast<int>(Items::Item), L"_Items"};
const KindInfo kAppointment{L"AppointmentItem", kAppointmentMembers, -1, L"_AppointmentItem"};
const KindInfo kPattern{L"RecurrencePattern", kPatternMembers};
const KindInfo kExceptions{L"Exceptions", kExceptionsMembers, static_cast<int>(Exceptions::Item)};
const KindInfo kException{L"Exception", kExceptionMembers};
const KindInfo kMail{L"MailItem", kMailMembers, -1, L"_MailItem"};
const KindInfo kRecipients{L"Recipients", kRecipientsMembers, static_cast<int>(Recipients::Item)};
const KindInfo kRecipient{L"Recipient", kRecipientMembers, static_cast<int>(Recipient::Name)};

const KindInfo* Find(std::wstring_view name) {
    for (const KindInfo* kind : {&kApplication, &kNameSpace, &kFolder, &kItems, &kAppointment, &kPattern, &kExceptions,
                                 &kException, &kMail, &kRecipients, &kRecipient}) {
        if (SameName(name, kind->name)) return kind;
    }
    return nullptr;
}

int MemberIndex(const KindInfo& kind, std::wstring_view member) {
    for (size_t i = 0; i < kind.members.size(); ++i) {
        if (SameName(member, kind.members[i].name)) return static_cast<int>(i);
    }
    return -1;
}

}  // namespace standin::kinds
