// Entry point of Horavane.exe: no command line, no console, no visible main window.
#include <windows.h>
#include <objbase.h>

#include "core/App.h"
#include "toolkit/Form.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    if (FAILED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return 1;
    int exitCode = 0;
    {
        hv::toolkit::Host host;
        hv::core::App app{hv::core::Platform(host)};
        if (app.Main()) exitCode = hv::toolkit::RunMessageLoop();
    }
    ::CoUninitialize();
    return exitCode;
}
