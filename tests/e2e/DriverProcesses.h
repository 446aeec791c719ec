// The Windows processes of this Wine prefix (or this Windows session), by executable name.
#pragma once
#include <windows.h>

#include <string>
#include <string_view>
#include <vector>

namespace hv::e2e {

struct ProcessEntry {
    DWORD pid = 0;
    std::wstring exe;  // file name only, as the system reports it
};

// Processes whose executable name equals `exe` without regard to case; every process when empty.
std::vector<ProcessEntry> Processes(std::wstring_view exe);
// True when none is left within the time.
bool WaitNoProcess(std::wstring_view exe, DWORD timeoutMs);
// Ends every such process; returns how many were ended.
int EndProcesses(std::wstring_view exe);

}  // namespace hv::e2e
