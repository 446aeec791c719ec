// Runs another Windows program of the prefix (such as reg.exe) and captures its output.
#pragma once
#include <string>

namespace hv::test {

struct ProcessResult {
    unsigned long exitCode = 0;
    std::string output;  // standard output and standard error, as bytes
};

// Runs a command line and waits for it; exitCode is ~0 when it could not be started.
ProcessResult RunAndCapture(const std::wstring& commandLine, unsigned long timeoutMs = 60000);

}  // namespace hv::test
