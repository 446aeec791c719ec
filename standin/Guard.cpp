#include "standin/Guard.h"

#include <optional>

#include "standin/DispatchObject.h"
#include "standin/LocalZone.h"

namespace standin {
namespace {

struct Protected {
    const wchar_t* kind;
    const wchar_t* member;  // nullptr: every member
    Prompt prompt;
};

// The members of this object model that Outlook protects, each checked against Microsoft's
// "Protected Properties and Methods" (Outlook VBA reference, learn.microsoft.com/office/vba/
// outlook/how-to/security/protected-properties-and-methods): AppointmentItem "Body, ...,
// Organizer"; MailItem "Bcc, Body, Cc, ..., Recipients, ..., To" and "Send" (the send message
// warning); NameSpace "CurrentUser"; Recipient and Recipients "Any property" and "Any method". None
// of the members of Application, MAPIFolder, Items, RecurrencePattern, Exceptions and Exception
// here is on the list. The page protects "a get on these properties": writing one does not prompt.
constexpr Protected kProtected[] = {
    {L"AppointmentItem", L"Body", Prompt::AddressAccess},
    {L"AppointmentItem", L"Organizer", Prompt::AddressAccess},
    {L"NameSpace", L"CurrentUser", Prompt::AddressAccess},
    {L"MailItem", L"Body", Prompt::AddressAccess},
    {L"MailItem", L"Recipients", Prompt::AddressAccess},
    {L"MailItem", L"To", Prompt::AddressAccess},
    {L"MailItem", L"Send", Prompt::Send},
    {L"Recipients", nullptr, Prompt::AddressAccess},
    {L"Recipient", nullptr, Prompt::AddressAccess},
};

// What Outlook answers when the user chooses Deny. Microsoft's "Outlook Object Model Security
// Warnings" (learn.microsoft.com/office/vba/outlook/how-to/security/outlook-object-model-security-
// warnings): at the address-book warning, "Outlook immediately blocks the call that invokes the
// warning and returns MAPI_E_NOT_SUPPORTED"; a Send denied at the send warning fails with E_ABORT,
// "Operation aborted", as automation clients report it.
constexpr HRESULT kMapiNotSupported = static_cast<HRESULT>(0x80040102);

// An administrator's policy can deny without asking: Microsoft's "Security Behavior of the Outlook
// Object Model" (learn.microsoft.com/office/vba/outlook/how-to/security/security-behavior-of-the-
// outlook-object-model) lists "never prompt and automatically deny". The pages give that denial no
// code of its own, so it is the denial the security-warnings page documents for every prompt,
// "returns the MAPI_E_NOT_SUPPORTED error" (said of the send warning too): every protected call,
// Send included, fails at once with it.
[[noreturn]] void DenyByPolicy() { throw CallFailure{DISP_E_EXCEPTION, L"The operation failed.", kMapiNotSupported}; }

std::optional<Prompt> PromptFor(std::wstring_view kind, std::wstring_view member, bool put) {
    if (put) return std::nullopt;
    for (const Protected& p : kProtected) {
        if (SameName(kind, p.kind) && (!p.member || SameName(member, p.member))) return p.prompt;
    }
    return std::nullopt;
}

}  // namespace

void Guard::Check(std::wstring_view kind, std::wstring_view member, bool put, bool denyByPolicy) {
    const auto prompt = PromptFor(kind, member, put);
    if (!prompt) return;
    if (denyByPolicy) DenyByPolicy();
    if (*prompt == Prompt::AddressAccess && ::GetTickCount64() < addressAllowedUntil_) return;
    const PromptAnswer answer = ask_(*prompt);
    if (!answer.allowed) {
        if (*prompt == Prompt::Send) throw CallFailure{DISP_E_EXCEPTION, L"Operation aborted", E_ABORT};
        throw CallFailure{DISP_E_EXCEPTION, L"The operation failed.", kMapiNotSupported};
    }
    if (answer.allowMinutes > 0)
        addressAllowedUntil_ = ::GetTickCount64() + 60000ull * static_cast<unsigned>(answer.allowMinutes);
}

}  // namespace standin
