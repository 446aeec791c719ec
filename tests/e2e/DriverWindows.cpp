#include "tests/e2e/DriverWindows.h"

#include <cwchar>

#include "tests/e2e/DriverText.h"

namespace hv::e2e {
namespace {

struct NamedId {
    const wchar_t* name;
    int id;
};
constexpr NamedId kDialogIds[] = {{L"IDOK", IDOK},       {L"IDCANCEL", IDCANCEL}, {L"IDABORT", IDABORT},
                                  {L"IDRETRY", IDRETRY}, {L"IDIGNORE", IDIGNORE}, {L"IDYES", IDYES},
                                  {L"IDNO", IDNO}};

std::optional<int> ControlId(std::wstring_view which) {
    for (const NamedId& named : kDialogIds)
        if (which == named.name) return named.id;
    if (which.empty()) return std::nullopt;
    const std::wstring text(which);
    wchar_t* end = nullptr;
    const unsigned long value = std::wcstoul(text.c_str(), &end, 0);
    if (end == text.c_str() || *end != L'\0') return std::nullopt;
    return static_cast<int>(value);
}

bool Matches(HWND window, const Selector& selector) {
    if (selector.className && ClassOf(window) != *selector.className) return false;
    if (selector.title && TitleOf(window) != *selector.title) return false;
    return true;
}

}  // namespace

Selector ParseSelector(std::wstring_view text) {
    Selector s;
    constexpr std::wstring_view kClass = L"class:";
    if (text.substr(0, kClass.size()) != kClass) {
        s.title = std::wstring(text);
        return s;
    }
    text.remove_prefix(kClass.size());
    const size_t colon = text.find(L':');
    s.className = std::wstring(text.substr(0, colon));
    if (colon != std::wstring_view::npos) s.title = std::wstring(text.substr(colon + 1));
    return s;
}

std::wstring Describe(const Selector& selector) {
    std::wstring d;
    if (selector.className) d += L"class " + *selector.className;
    if (selector.title) d += (d.empty() ? L"\"" : L" \"") + *selector.title + L"\"";
    return d;
}

std::wstring ClassOf(HWND window) {
    wchar_t name[256] = L"";
    ::GetClassNameW(window, name, 256);
    return name;
}

std::wstring TitleOf(HWND window) { return TextOf(window); }

DWORD ProcessOf(HWND window) {
    DWORD pid = 0;
    ::GetWindowThreadProcessId(window, &pid);
    return pid;
}

namespace {

struct Search {
    const Selector& selector;
    bool visibleOnly;
    std::vector<HWND> found;
};

BOOL CALLBACK CollectMatch(HWND window, LPARAM data) {
    auto& s = *reinterpret_cast<Search*>(data);
    if (ProcessOf(window) == ::GetCurrentProcessId()) return TRUE;
    if (s.visibleOnly && !::IsWindowVisible(window)) return TRUE;
    if (Matches(window, s.selector)) s.found.push_back(window);
    return TRUE;
}

}  // namespace

std::vector<HWND> FindWindows(const Selector& selector, bool visibleOnly) {
    Search search{selector, visibleOnly, {}};
    ::EnumWindows(CollectMatch, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

HWND WaitVisible(const Selector& selector, DWORD timeoutMs) {
    return WaitUntil(timeoutMs, [&]() -> HWND {
        const auto found = FindWindows(selector, true);
        return found.empty() ? nullptr : found.front();
    });
}

bool WaitGone(const Selector& selector, DWORD timeoutMs) {
    const ULONGLONG end = ::GetTickCount64() + timeoutMs;
    for (;;) {
        if (FindWindows(selector, true).empty()) return true;
        if (::GetTickCount64() >= end) return false;
        ::Sleep(100);
    }
}

std::vector<HWND> ChildrenOf(HWND parent) {
    std::vector<HWND> children;
    for (HWND child = ::GetWindow(parent, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT))
        children.push_back(child);
    return children;
}

HWND FindControl(HWND parent, std::wstring_view which) {
    const std::vector<HWND> children = ChildrenOf(parent);
    if (which.size() > 1 && which[0] == L'#') {
        const auto index = ControlId(which.substr(1));
        if (index && *index >= 0 && static_cast<size_t>(*index) < children.size()) return children[*index];
        return nullptr;
    }
    if (const size_t hash = which.find(L'#'); hash != std::wstring_view::npos && hash > 0) {
        const auto index = ControlId(which.substr(hash + 1));
        const std::wstring className(which.substr(0, hash));
        int seen = 0;
        for (HWND child : children)
            if (index && _wcsicmp(ClassOf(child).c_str(), className.c_str()) == 0 && seen++ == *index) return child;
        if (index) return nullptr;
    }
    if (const auto id = ControlId(which)) {
        for (HWND child : children)
            if (::GetDlgCtrlID(child) == *id) return child;
        return nullptr;
    }
    for (HWND child : children) {
        const std::wstring caption = TextOf(child);
        if (caption == which || WithoutAccessKeys(caption) == which) return child;
    }
    return nullptr;
}

std::wstring TextOf(HWND window) {
    DWORD_PTR length = 0;
    if (!::SendMessageTimeoutW(window, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 5000, &length)) return {};
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    DWORD_PTR copied = 0;
    ::SendMessageTimeoutW(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()), SMTO_ABORTIFHUNG,
                          5000, &copied);
    text.resize(static_cast<size_t>(copied));
    return text;
}

bool IsCheckBox(HWND control) {
    if (_wcsicmp(ClassOf(control).c_str(), L"Button") != 0) return false;
    const LONG_PTR type = ::GetWindowLongPtrW(control, GWL_STYLE) & BS_TYPEMASK;
    return type == BS_CHECKBOX || type == BS_AUTOCHECKBOX || type == BS_3STATE || type == BS_AUTO3STATE;
}

bool IsPushButton(HWND control) {
    if (_wcsicmp(ClassOf(control).c_str(), L"Button") != 0) return false;
    const LONG_PTR type = ::GetWindowLongPtrW(control, GWL_STYLE) & BS_TYPEMASK;
    return type == BS_PUSHBUTTON || type == BS_DEFPUSHBUTTON;
}

DWORD Milliseconds(std::wstring_view seconds, DWORD fallback) {
    if (seconds.empty()) return fallback;
    const std::wstring text(seconds);
    wchar_t* end = nullptr;
    const double value = std::wcstod(text.c_str(), &end);
    if (end == text.c_str() || value < 0) return fallback;
    return static_cast<DWORD>(value * 1000.0);
}

}  // namespace hv::e2e
