// Registration of the DLL as the in-process server of "Outlook.Application", per machine
// (HKLM\Software\Classes), with apartment threading.
#pragma once
#include <windows.h>

#include <string>

namespace standin {

// Writes the ProgID and CLSID keys; refuses (SELFREG_E_CLASS) when the ProgID already belongs
// to another class, so that a real installation is never taken over.
HRESULT RegisterServer(const std::wstring& dllPath);
// Removes exactly what RegisterServer wrote, and only while the ProgID is still this server's.
HRESULT UnregisterServer();

}  // namespace standin
