// Outlook's hard conditions, as HKCU\Software\OutlookStandin sets them for OutlookStandin.exe
// (DWORD values; 0 or missing is off).
#pragma once
#include <windows.h>

namespace standin {

// Guard: what the object-model guard does at a protected member.
enum class GuardPolicy {
    Off,     // 0 or missing: nothing is protected
    Prompt,  // 1 (or any value but 0 and 2): the user's security prompt
    Deny,    // 2: an administrator's policy that denies programmatic access, without a prompt
};

struct Conditions {
    DWORD busySeconds = 0;                 // BusySeconds: every call turned down for that long after the start
    DWORD callDelayMs = 0;                 // CallDelayMs: every call takes that much longer
    GuardPolicy guard = GuardPolicy::Off;  // Guard
    DWORD sendDelayMs = 0;                 // SendDelayMs: Send queues the message and delivers it that much later
    bool offline = false;                  // Offline (non-zero): working offline, sent mail waits in the Outbox
};

}  // namespace standin
