#include "tests/support/Processes.h"

#include <windows.h>

#include <vector>

namespace hv::test {

ProcessResult RunAndCapture(const std::wstring& commandLine, unsigned long timeoutMs) {
    ProcessResult result;
    result.exitCode = ~0ul;
    SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    if (!::CreatePipe(&readEnd, &writeEnd, &sa, 0)) return result;
    ::SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);

    STARTUPINFOW si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdOutput = writeEnd;
    si.hStdError = writeEnd;
    si.hStdInput = ::GetStdHandle(STD_INPUT_HANDLE);
    PROCESS_INFORMATION pi{};
    std::vector<wchar_t> line(commandLine.begin(), commandLine.end());
    line.push_back(L'\0');
    const BOOL started =
        ::CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr, nullptr, &si, &pi);
    ::CloseHandle(writeEnd);
    if (started) {
        char buffer[4096];
        DWORD n = 0;
        while (::ReadFile(readEnd, buffer, sizeof buffer, &n, nullptr) && n > 0) result.output.append(buffer, n);
        ::WaitForSingleObject(pi.hProcess, timeoutMs);
        DWORD code = 0;
        ::GetExitCodeProcess(pi.hProcess, &code);
        result.exitCode = code;
        ::CloseHandle(pi.hThread);
        ::CloseHandle(pi.hProcess);
    }
    ::CloseHandle(readEnd);
    return result;
}

}  // namespace hv::test
