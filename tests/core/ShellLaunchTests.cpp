// The shell launcher: how a command line is split, which folder it runs in, and the fallback.
#include <windows.h>
#include <shellapi.h>

#include <gtest/gtest.h>

#include "core/ShellLaunch.h"

namespace hv::core {
namespace {

class RecordingShell : public ShellPlatform {
public:
    INT_PTR Execute(const std::string& p, const std::string& a, const std::string& f, int show) override {
        program = p;
        arguments = a;
        folder = f;
        showMode = show;
        return shellResult;
    }
    bool StartProgram(const std::wstring& line, int show) override {
        started.push_back(line);
        fallbackShow = show;
        return startSucceeds;
    }
    std::wstring CurrentFolder() override { return L"C:\\Work"; }

    INT_PTR shellResult = 42;
    bool startSucceeds = true;
    std::string program, arguments, folder;
    int showMode = -1, fallbackShow = -1;
    std::vector<std::wstring> started;
};

struct SplitCase {
    const wchar_t* line;
    const wchar_t* givenFolder;  // null: none given
    const char* program;
    const char* arguments;
    const char* folder;
    const wchar_t* lineAfter;  // the caller's text afterwards
};

TEST(ShellLaunch, SplitsProgramArgumentsAndFolder) {
    const SplitCase cases[] = {
        {L"\"C:\\Program Files\\Viewer\\view.exe\" /x file.txt", nullptr, "C:\\Program Files\\Viewer\\view.exe",
         "/x file.txt", "C:\\Program Files\\Viewer", L"C:\\Program Files\\Viewer\\view.exe /x file.txt"},
        {L"notepad readme.txt", nullptr, "notepad", "readme.txt", "C:\\Work", L"notepad readme.txt"},
        {L"HvaneHelp.chm", L"D:\\Apps\\Horavane", "HvaneHelp.chm", "", "D:\\Apps\\Horavane", L"HvaneHelp.chm"},
        {L"\\tool.exe", nullptr, "\\tool.exe", "", "\\", L"\\tool.exe"},
        {L"C:\\tool.exe   -a", nullptr, "C:\\tool.exe", "-a", "C:\\", L"C:\\tool.exe   -a"},
        // An unclosed quote: the whole line, quote included, is the program part.
        {L"\"C:\\A B\\x.exe /q", nullptr, "\"C:\\A B\\x.exe /q", "", "\"C:\\A B", L"\"C:\\A B\\x.exe /q"},
    };
    for (const SplitCase& c : cases) {
        RecordingShell shell;
        std::wstring line = c.line;
        std::optional<std::wstring> folder;
        if (c.givenFolder) folder = c.givenFolder;
        const LaunchResult r = ShellLaunch(line, SW_SHOWNORMAL, folder, shell);
        EXPECT_EQ(shell.program, c.program) << c.line;
        EXPECT_EQ(shell.arguments, c.arguments) << c.line;
        EXPECT_EQ(shell.folder, c.folder) << c.line;
        EXPECT_EQ(shell.showMode, SW_SHOWNORMAL);
        EXPECT_EQ(line, c.lineAfter);
        EXPECT_EQ(r.shellResult, 42);
        EXPECT_TRUE(r.started);
        EXPECT_TRUE(shell.started.empty()) << "no fallback when the shell succeeds";
    }
}

TEST(ShellLaunch, FallsBackToStartingTheProgramQuotedWhenItHoldsBlanks) {
    const struct {
        const wchar_t* line;
        const wchar_t* fallback;
    } cases[] = {
        {L"notepad readme.txt", L"notepad readme.txt"},
        {L"\"C:\\Program Files\\Viewer\\view.exe\" /x file.txt",
         L"\"C:\\Program Files\\Viewer\\view.exe\" /x file.txt"},
        {L"\"C:\\My Tools\\run.exe\"", L"\"C:\\My Tools\\run.exe\""},
    };
    for (const auto& c : cases) {
        RecordingShell shell;
        shell.shellResult = SE_ERR_NOASSOC;  // below 32: failure
        std::wstring line = c.line;
        const LaunchResult r = ShellLaunch(line, SW_HIDE, std::nullopt, shell);
        ASSERT_EQ(shell.started.size(), 1u) << c.line;
        EXPECT_EQ(shell.started[0], c.fallback);
        EXPECT_EQ(shell.fallbackShow, SW_HIDE);
        EXPECT_EQ(r.shellResult, SE_ERR_NOASSOC);
        EXPECT_TRUE(r.started);
    }
    RecordingShell shell;
    shell.shellResult = 2;
    shell.startSucceeds = false;
    std::wstring line = L"missing.chm";
    EXPECT_FALSE(ShellLaunch(line, SW_SHOWNORMAL, std::nullopt, shell).started);
}

}  // namespace
}  // namespace hv::core
