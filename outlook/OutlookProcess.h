// Whether Outlook runs: a process of the program that "Outlook.Application"'s LocalServer32 names,
// in this user's session. Outlook joins the Running Object Table only once its window has lost
// the focus, so the table alone misses an Outlook that the user keeps in front.
#pragma once
#include <windows.h>

#include <string>

namespace hv::outlook {

// The program of a LocalServer32 command line: its path, quoted or not, without the arguments
// that follow it.
std::wstring ServerPathOf(const std::wstring& commandLine);
// The file name under which Outlook's server process runs (as the process list names it); empty
// when "Outlook.Application" or its LocalServer32 is not registered.
std::wstring OutlookServerImage();
// A process of that file name (any case) runs in that session.
bool ImageRunsInSession(const std::wstring& image, DWORD session);
// Outlook's server process runs in this process's session.
bool OutlookProcessRuns();

}  // namespace hv::outlook
