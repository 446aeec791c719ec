// Main of every test program. Under Wine an unhandled exception can end a process with exit code
// 0, and a crash dialog can hang a headless run: the filter below turns every crash into a failing
// exit code at once.
#include <windows.h>
#include <objbase.h>

#include <cstdio>
#include <exception>

#include <gtest/gtest.h>

#include "toolkit/ComOwners.h"

namespace {

constexpr UINT kCrashExitCode = 3;

LONG WINAPI FailOnCrash(EXCEPTION_POINTERS* info) {
    std::fprintf(
        stderr, "test program crashed: exception 0x%08lx\n",
        info && info->ExceptionRecord ? static_cast<unsigned long>(info->ExceptionRecord->ExceptionCode) : 0ul);
    std::fflush(stderr);
    ::TerminateProcess(::GetCurrentProcess(), kCrashExitCode);
    return EXCEPTION_EXECUTE_HANDLER;
}

}  // namespace

int main(int argc, char** argv) {
    ::SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
    ::SetUnhandledExceptionFilter(FailOnCrash);
    std::set_terminate([] {
        std::fputs("test program terminated by an uncaught C++ exception\n", stderr);
        std::fflush(stderr);
        ::TerminateProcess(::GetCurrentProcess(), kCrashExitCode);
    });
    const hv::toolkit::ComApartment com;
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
