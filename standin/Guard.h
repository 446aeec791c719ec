// Outlook's object-model guard: with Guard on, a program's call of a protected member waits in a
// security prompt until the user answers it, and fails when the user chooses Deny; under an
// administrator's policy that denies programmatic access it fails at once, with no prompt.
#pragma once
#include <windows.h>

#include <functional>
#include <string_view>

#include "standin/GuardPrompt.h"

namespace standin {

class Guard {
public:
    using Asker = std::function<PromptAnswer(Prompt)>;
    explicit Guard(Asker ask = AskUser) : ask_(std::move(ask)) {}

    // Lets the call of kind.member (a property written when `put`) through, after a prompt where
    // Outlook would show one; throws CallFailure when the user denies it, or at once when
    // `denyByPolicy`.
    void Check(std::wstring_view kind, std::wstring_view member, bool put, bool denyByPolicy = false);

private:
    Asker ask_;
    ULONGLONG addressAllowedUntil_ = 0;  // "Allow access for": no address prompt before then
};

}  // namespace standin
