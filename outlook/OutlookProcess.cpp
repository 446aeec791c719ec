#include "outlook/OutlookProcess.h"

#include <objbase.h>
#include <tlhelp32.h>

#include <cwctype>
#include <vector>

#include "toolkit/UniqueHandle.h"

namespace hv::outlook {
namespace {

bool SameName(const std::wstring& a, const std::wstring& b) {
    return ::CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(), static_cast<int>(b.size()), TRUE) ==
           CSTR_EQUAL;
}

// The default value of the key, environment variables expanded; empty when it is missing.
std::wstring ReadDefaultText(HKEY key) {
    // RRF_RT_REG_SZ takes a REG_EXPAND_SZ too, expanded; RRF_RT_REG_EXPAND_SZ is refused
    // (ERROR_INVALID_PARAMETER) unless RRF_NOEXPAND comes with it. An expanded text may need more
    // room than the stored one: the buffer grows for as long as the call asks for more.
    std::vector<wchar_t> text(MAX_PATH, L'\0');
    for (;;) {
        DWORD bytes = static_cast<DWORD>(text.size() * sizeof(wchar_t));
        const LONG r = ::RegGetValueW(key, nullptr, nullptr, RRF_RT_REG_SZ, nullptr, text.data(), &bytes);
        if (r == ERROR_SUCCESS) return text.data();
        if (r != ERROR_MORE_DATA || bytes <= text.size() * sizeof(wchar_t)) return {};
        text.assign(bytes / sizeof(wchar_t) + 1, L'\0');
    }
}

// The LocalServer32 command line of the class. A 64-bit Windows keeps the classes of 32-bit
// programs (a 32-bit Office) in a registry view of their own, and COM starts a local server of
// either: both views are read, the 64-bit one first.
std::wstring LocalServerCommandLine(const CLSID& clsid) {
    wchar_t text[64] = {};
    ::StringFromGUID2(clsid, text, 64);
    const std::wstring path = L"CLSID\\" + std::wstring(text) + L"\\LocalServer32";
    for (const REGSAM view : {KEY_WOW64_64KEY, KEY_WOW64_32KEY}) {
        toolkit::UniqueRegKey key;
        if (::RegOpenKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_QUERY_VALUE | view, key.put()) != ERROR_SUCCESS)
            continue;
        std::wstring line = ReadDefaultText(key.get());
        if (!line.empty()) return line;
    }
    return {};
}

std::wstring FileNameOf(const std::wstring& path) {
    const size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

// The file's name as it is, not its 8.3 form (an installer may register "C:\PROGRA~1\...").
std::wstring LongFileNameOf(const std::wstring& path) {
    const DWORD size = ::GetLongPathNameW(path.c_str(), nullptr, 0);
    if (size == 0) return FileNameOf(path);
    std::vector<wchar_t> full(size, L'\0');
    if (::GetLongPathNameW(path.c_str(), full.data(), size) == 0) return FileNameOf(path);
    return FileNameOf(full.data());
}

}  // namespace

std::wstring ServerPathOf(const std::wstring& commandLine) {
    size_t begin = 0;
    while (begin < commandLine.size() && std::iswspace(commandLine[begin])) ++begin;
    if (begin < commandLine.size() && commandLine[begin] == L'"') {
        const size_t close = commandLine.find(L'"', begin + 1);
        return commandLine.substr(begin + 1, close == std::wstring::npos ? std::wstring::npos : close - begin - 1);
    }
    // Unquoted, the path may hold blanks of its own: it ends at the first ".exe" that a blank or
    // the end of the line follows.
    for (size_t at = begin; at + 4 <= commandLine.size(); ++at) {
        const size_t end = at + 4;
        if (SameName(commandLine.substr(at, 4), L".exe") &&
            (end == commandLine.size() || std::iswspace(commandLine[end])))
            return commandLine.substr(begin, end - begin);
    }
    size_t end = begin;
    while (end < commandLine.size() && !std::iswspace(commandLine[end])) ++end;
    return commandLine.substr(begin, end - begin);
}

std::wstring OutlookServerImage() {
    CLSID clsid{};
    if (FAILED(::CLSIDFromProgID(L"Outlook.Application", &clsid))) return {};
    const std::wstring path = ServerPathOf(LocalServerCommandLine(clsid));
    return path.empty() ? std::wstring() : LongFileNameOf(path);
}

bool ImageRunsInSession(const std::wstring& image, DWORD session) {
    if (image.empty()) return false;
    const HANDLE raw = ::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (raw == INVALID_HANDLE_VALUE) return false;
    const toolkit::UniqueKernelHandle snapshot(raw);
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = ::Process32FirstW(raw, &entry); more; more = ::Process32NextW(raw, &entry)) {
        DWORD itsSession = 0;
        // Another user's process (a fast user switch, a terminal server) is none of ours; its
        // session may not even be readable.
        if (SameName(entry.szExeFile, image) && ::ProcessIdToSessionId(entry.th32ProcessID, &itsSession) &&
            itsSession == session)
            return true;
    }
    return false;
}

bool OutlookProcessRuns() {
    DWORD session = 0;
    if (!::ProcessIdToSessionId(::GetCurrentProcessId(), &session)) return false;
    return ImageRunsInSession(OutlookServerImage(), session);
}

}  // namespace hv::outlook
