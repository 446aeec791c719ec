// Opens a document or command line through the shell, with a program-start fallback.
#pragma once
#include <windows.h>

#include <optional>
#include <string>

namespace hv::core {

// The platform calls the launcher makes, replaceable in tests.
class ShellPlatform {
public:
    virtual ~ShellPlatform() = default;
    // ShellExecuteA with no window and no verb (the file type's default action).
    virtual INT_PTR Execute(const std::string& program, const std::string& arguments, const std::string& folder,
                            int showMode);
    // Starts a command line as a new program process; false when it could not be started.
    virtual bool StartProgram(const std::wstring& commandLine, int showMode);
    virtual std::wstring CurrentFolder();
};

struct LaunchResult {
    INT_PTR shellResult = 0;  // what ShellExecuteA returned
    bool started = false;     // the document or program was opened, by the shell or the fallback
};

// Splits `commandLine` into program and arguments (a leading quoted program part loses its quotes,
// and the caller's text changes with it), works out the working folder when none is given (the
// program part's folder, else the current folder) and hands everything to the shell. When the
// shell fails (result below 32) the command line is started as a program instead, its program part
// quoted when it holds blanks.
LaunchResult ShellLaunch(std::wstring& commandLine, int showMode, std::optional<std::wstring> folder,
                         ShellPlatform& platform);

// The parts ShellLaunch hands to the shell.
struct LaunchParts {
    std::wstring program, arguments, folder;
};
LaunchParts SplitCommandLine(std::wstring& commandLine, const std::optional<std::wstring>& folder,
                             const std::wstring& currentFolder);

}  // namespace hv::core
