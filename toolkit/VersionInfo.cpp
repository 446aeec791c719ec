#include "toolkit/VersionInfo.h"

#include <windows.h>

#include <vector>

namespace hv::toolkit {
namespace {

std::wstring ModulePath() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (n == 0) return {};
        if (n < path.size()) {
            path.resize(n);
            return path;
        }
        path.resize(path.size() * 2);
    }
}

std::wstring QueryString(const std::vector<BYTE>& block, const wchar_t* lang, const wchar_t* name) {
    const std::wstring sub = std::wstring(L"\\StringFileInfo\\") + lang + L"\\" + name;
    void* value = nullptr;
    UINT length = 0;
    if (!::VerQueryValueW(block.data(), sub.c_str(), &value, &length) || !value || length == 0) return {};
    std::wstring text(static_cast<const wchar_t*>(value), length);
    while (!text.empty() && text.back() == L'\0') text.pop_back();
    return text;
}

// The first translation the resource lists, as the "llllcccc" name of its string table.
std::wstring FirstLanguage(const std::vector<BYTE>& block) {
    struct Translation {
        WORD language, codePage;
    };
    void* value = nullptr;
    UINT length = 0;
    wchar_t name[9] = L"040904b0";
    if (::VerQueryValueW(block.data(), L"\\VarFileInfo\\Translation", &value, &length) &&
        length >= sizeof(Translation)) {
        const auto* t = static_cast<const Translation*>(value);
        ::wsprintfW(name, L"%04x%04x", t->language, t->codePage);
    }
    return name;
}

}  // namespace

VersionInfo ReadVersionInfo() {
    VersionInfo info;
    const std::wstring path = ModulePath();
    DWORD ignored = 0;
    const DWORD size = ::GetFileVersionInfoSizeW(path.c_str(), &ignored);
    if (size == 0) return info;
    std::vector<BYTE> block(size);
    if (!::GetFileVersionInfoW(path.c_str(), 0, size, block.data())) return info;

    void* value = nullptr;
    UINT length = 0;
    if (::VerQueryValueW(block.data(), L"\\", &value, &length) && length >= sizeof(VS_FIXEDFILEINFO)) {
        const auto* fixed = static_cast<const VS_FIXEDFILEINFO*>(value);
        info.major = HIWORD(fixed->dwFileVersionMS);
        info.minor = LOWORD(fixed->dwFileVersionMS);
        info.build = HIWORD(fixed->dwFileVersionLS);
        info.revision = LOWORD(fixed->dwFileVersionLS);
    }
    const std::wstring lang = FirstLanguage(block);
    info.companyName = QueryString(block, lang.c_str(), L"CompanyName");
    info.productName = QueryString(block, lang.c_str(), L"ProductName");
    info.fileDescription = QueryString(block, lang.c_str(), L"FileDescription");
    info.legalCopyright = QueryString(block, lang.c_str(), L"LegalCopyright");
    return info;
}

std::wstring ProgramFolder() {
    std::wstring path = ModulePath();
    const size_t slash = path.find_last_of(L"\\/");
    if (slash == std::wstring::npos) return CurrentFolder();
    path.resize(slash);
    if (path.size() == 2 && path[1] == L':') path += L'\\';
    return path;
}

std::wstring CurrentFolder() {
    const DWORD n = ::GetCurrentDirectoryW(0, nullptr);
    std::wstring dir(n, L'\0');
    const DWORD written = ::GetCurrentDirectoryW(n, dir.data());
    dir.resize(written);
    return dir;
}

}  // namespace hv::toolkit
