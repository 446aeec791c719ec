// Keeps Wine's desktop of the build tree's prefix open while the tests run (scripts/test.sh
// starts it with no output of its own and stop-wine.sh ends it).
//
// Wine ends the desktop process a second after the last program using the desktop exits, and the
// next program that needs a desktop starts a new one, which inherits that program's standard error.
// Under ctest that is the test's output pipe: when other tests keep the desktop in use, ctest sees
// the finished test running on until the desktop finally closes (seen: 100 s for a 1 s test).
#include <windows.h>

int main() {
    ::GetDesktopWindow();  // joins the desktop, starting it if need be
    MSG msg;
    while (::GetMessageW(&msg, nullptr, 0, 0) > 0) {}
    return 0;
}
