#include "tests/e2e/DriverProcesses.h"

#include <tlhelp32.h>

#include "toolkit/UniqueHandle.h"

namespace hv::e2e {

using toolkit::UniqueKernelHandle;

std::vector<ProcessEntry> Processes(std::wstring_view exe) {
    std::vector<ProcessEntry> found;
    const HANDLE raw = ::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (raw == INVALID_HANDLE_VALUE) return found;
    UniqueKernelHandle snapshot(raw);
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = ::Process32FirstW(raw, &entry); more; more = ::Process32NextW(raw, &entry)) {
        if (entry.th32ProcessID == ::GetCurrentProcessId()) continue;
        if (exe.empty() || _wcsicmp(entry.szExeFile, std::wstring(exe).c_str()) == 0)
            found.push_back({entry.th32ProcessID, entry.szExeFile});
    }
    return found;
}

bool WaitNoProcess(std::wstring_view exe, DWORD timeoutMs) {
    const ULONGLONG end = ::GetTickCount64() + timeoutMs;
    for (;;) {
        if (Processes(exe).empty()) return true;
        if (::GetTickCount64() >= end) return false;
        ::Sleep(100);
    }
}

int EndProcesses(std::wstring_view exe) {
    int ended = 0;
    for (const ProcessEntry& p : Processes(exe)) {
        UniqueKernelHandle process(::OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, p.pid));
        if (process && ::TerminateProcess(process.get(), 1)) {
            ::WaitForSingleObject(process.get(), 5000);
            ++ended;
        }
    }
    return ended;
}

}  // namespace hv::e2e
