// What the splash/About window asks of the application core, so the window never depends on it.
#pragma once
#include <windows.h>

namespace hv::ui {

class SplashCommands {
public:
    virtual ~SplashCommands() = default;
    // The window was closed by the user (CloseSplash): the About role is over.
    virtual void SplashClosed() = 0;
    // The logo, the title, the version or the company name was clicked: open the web page.
    virtual void OpenWebPage() = 0;
    // The logo picture, image 2 of the tray pictures, at the size it is drawn (pixels square);
    // owned by the core.
    virtual HICON Logo(int pixels) = 0;
};

}  // namespace hv::ui
