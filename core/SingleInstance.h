// One running copy per user, across the user's sessions: a named mutex in the global namespace,
// named after the user's SID, marks the copy that runs.
#pragma once
#include <windows.h>

#include <string>

#include "toolkit/UniqueHandle.h"

namespace hv::core {

// The string form ("S-1-5-21-...") of the SID of the user the process runs as, read from its
// token; empty when the token cannot be read.
std::wstring CurrentUserSid();

// The name of the mutex that marks this user's running copy.
std::wstring DefaultInstanceName();

struct InstanceClaim {
    toolkit::UniqueKernelHandle mutex;  // held for as long as this copy runs
    bool anotherRunning = false;
};

// Creates or opens the named mutex. A name in the global namespace that cannot be created there
// for any reason but another copy holding it is claimed in the session's namespace instead.
InstanceClaim ClaimInstance(const std::wstring& name);

}  // namespace hv::core
