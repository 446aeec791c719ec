// Outlook's hard conditions, as HKCU\Software\OutlookStandin sets them for OutlookStandin.exe
// (DWORD values; 0 or missing is off).
#pragma once
#include <windows.h>

namespace standin {

struct Conditions {
    DWORD busySeconds = 0;  // BusySeconds: every call turned down for that long after the start
    DWORD callDelayMs = 0;  // CallDelayMs: every call takes that much longer
    bool guard = false;     // Guard: the object-model guard prompts on protected members
    DWORD sendDelayMs = 0;  // SendDelayMs: Send queues the message and delivers it that much later
};

}  // namespace standin
