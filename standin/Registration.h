// Registration of OutlookStandin.exe as the local server of "Outlook.Application", per machine
// (HKLM\Software\Classes: Wine ignores per-user classes).
#pragma once
#include <windows.h>

#include <string>

namespace standin {

// Writes the ProgID and CLSID keys; refuses (SELFREG_E_CLASS) when the ProgID already belongs
// to another class, so that a real installation is never taken over.
HRESULT RegisterServer(const std::wstring& exePath);
// Removes exactly what RegisterServer wrote, and only while the ProgID is still this server's.
HRESULT UnregisterServer();

}  // namespace standin
