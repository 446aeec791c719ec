// The program's own version information, read from the running module's version resource.
#pragma once
#include <string>

namespace hv::toolkit {

struct VersionInfo {
    std::wstring companyName;
    std::wstring productName;
    std::wstring fileDescription;
    std::wstring legalCopyright;
    unsigned major = 0, minor = 0, build = 0, revision = 0;
};

// Reads the version resource of the executable that started the process. Fields that are
// missing stay empty or zero.
VersionInfo ReadVersionInfo();

// The folder that holds the executable, without a trailing backslash (except at a drive root).
std::wstring ProgramFolder();

// The process's current folder.
std::wstring CurrentFolder();

}  // namespace hv::toolkit
