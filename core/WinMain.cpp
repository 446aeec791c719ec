// Entry point of Horavane.exe: no command line, no console, no visible main window.
#include <windows.h>

#include "core/App.h"
#include "toolkit/ComOwners.h"
#include "toolkit/Form.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    const hv::toolkit::ComApartment com;
    if (!com.Joined()) return 1;
    hv::toolkit::Host host;
    hv::core::App app{hv::core::Platform(host)};
    return app.Main() ? hv::toolkit::RunMessageLoop() : 0;
}
