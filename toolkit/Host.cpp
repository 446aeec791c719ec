#include "toolkit/Host.h"

namespace hv::toolkit {

SYSTEMTIME Host::Now() {
    SYSTEMTIME now{};
    ::GetLocalTime(&now);
    return now;
}

ULONGLONG Host::TickCount() { return ::GetTickCount64(); }

int Host::ShowMessage(HWND owner, const std::wstring& text, UINT style, const std::wstring& title) {
    return ::MessageBoxW(owner, text.c_str(), title.c_str(), style);
}

void Host::Sleep(DWORD milliseconds) { ::Sleep(milliseconds); }

}  // namespace hv::toolkit
