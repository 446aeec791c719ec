#include "core/ShellLaunch.h"

#include <shellapi.h>

#include <vector>

#include "toolkit/AnsiText.h"
#include "toolkit/VersionInfo.h"

namespace hv::core {

INT_PTR ShellPlatform::Execute(const std::string& program, const std::string& arguments, const std::string& folder,
                               int showMode) {
    return reinterpret_cast<INT_PTR>(
        ::ShellExecuteA(nullptr, nullptr, program.c_str(), arguments.c_str(), folder.c_str(), showMode));
}

bool ShellPlatform::StartProgram(const std::wstring& commandLine, int showMode) {
    STARTUPINFOW si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESHOWWINDOW;
    si.wShowWindow = static_cast<WORD>(showMode);
    PROCESS_INFORMATION pi{};
    std::vector<wchar_t> line(commandLine.begin(), commandLine.end());
    line.push_back(L'\0');
    if (!::CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) return false;
    ::CloseHandle(pi.hThread);
    ::CloseHandle(pi.hProcess);
    return true;
}

std::wstring ShellPlatform::CurrentFolder() { return toolkit::CurrentFolder(); }

LaunchParts SplitCommandLine(std::wstring& commandLine, const std::optional<std::wstring>& folder,
                             const std::wstring& currentFolder) {
    // End of the program part: after a closing quote, at the first blank, or the whole line.
    size_t end = std::wstring::npos;
    if (!commandLine.empty() && commandLine[0] == L'"') {
        const size_t closing = commandLine.find(L'"', 1);
        if (closing != std::wstring::npos) {
            commandLine = commandLine.substr(1, closing - 1) + commandLine.substr(closing + 1);
            end = closing - 1;
        }
    } else {
        end = commandLine.find(L' ');
    }
    if (end == std::wstring::npos) end = commandLine.size();

    LaunchParts parts;
    parts.program = commandLine.substr(0, end);
    parts.arguments = commandLine.substr(end);
    parts.arguments.erase(0, parts.arguments.find_first_not_of(L' ') == std::wstring::npos
                                 ? parts.arguments.size()
                                 : parts.arguments.find_first_not_of(L' '));
    if (folder) {
        parts.folder = *folder;
    } else {
        const size_t slash = end == 0 ? std::wstring::npos : commandLine.rfind(L'\\', end - 1);
        if (slash == std::wstring::npos)
            parts.folder = currentFolder;
        else if (slash == 0 || commandLine[slash - 1] == L':')
            parts.folder = commandLine.substr(0, slash + 1);  // a root keeps its backslash
        else
            parts.folder = commandLine.substr(0, slash);
    }
    return parts;
}

LaunchResult ShellLaunch(std::wstring& commandLine, int showMode, std::optional<std::wstring> folder,
                         ShellPlatform& platform) {
    const LaunchParts parts = SplitCommandLine(commandLine, folder, platform.CurrentFolder());
    LaunchResult result;
    result.shellResult = platform.Execute(toolkit::ToAnsi(parts.program), toolkit::ToAnsi(parts.arguments),
                                          toolkit::ToAnsi(parts.folder), showMode);
    result.started = result.shellResult >= 32;
    if (!result.started) {
        // A program part with blanks is quoted, so it is never read as a shorter program name.
        std::wstring line =
            parts.program.find(L' ') != std::wstring::npos ? L"\"" + parts.program + L"\"" : parts.program;
        if (!parts.arguments.empty()) line += L" " + parts.arguments;
        result.started = platform.StartProgram(line, showMode);
    }
    return result;
}

}  // namespace hv::core
