// The two security prompts of Outlook's object-model guard, shown in the server's process while
// the call that raised them waits: the address-information prompt (Allow, Deny and an "Allow
// access for" choice of minutes) and the send prompt (Allow only after a five-second wait).
#pragma once

namespace standin {

enum class Prompt { AddressAccess, Send };

struct PromptAnswer {
    bool allowed = false;
    int allowMinutes = 0;  // the address prompt's "Allow access for" choice; 0 when unticked
};

// Shows the prompt and runs its modal loop until the user answers; closing it denies.
PromptAnswer AskUser(Prompt prompt);

// The window class and control ids, for the tests that answer the prompts.
inline constexpr wchar_t kPromptClass[] = L"OutlookStandinPrompt";
inline constexpr wchar_t kPromptTitle[] = L"Microsoft Outlook";
inline constexpr int kAllowId = 1;  // IDOK
inline constexpr int kDenyId = 2;   // IDCANCEL
inline constexpr int kHelpId = 9;   // IDHELP
inline constexpr int kAllowForId = 100;
inline constexpr int kMinutesId = 101;
inline constexpr int kWaitBarId = 102;
// The send prompt's Allow button is enabled this long after the prompt appears.
inline constexpr unsigned kSendWaitMs = 5000;

}  // namespace standin
