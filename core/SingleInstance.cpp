#include "core/SingleInstance.h"

#include <lmcons.h>
#include <sddl.h>

#include <vector>

#include "resources/version.h"

namespace hv::core {
namespace {

constexpr wchar_t kGlobalPrefix[] = L"Global\\";
constexpr wchar_t kLocalPrefix[] = L"Local\\";
constexpr wchar_t kBaseName[] = HV_COMPANY_NAME L"." HV_PRODUCT_NAME L".SingleInstance.";

std::wstring CurrentUserName() {
    wchar_t user[UNLEN + 1] = L"";
    DWORD size = UNLEN + 1;
    ::GetUserNameW(user, &size);
    return user;
}

}  // namespace

std::wstring CurrentUserSid() {
    toolkit::UniqueKernelHandle token;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, token.put())) return {};
    // The first call only tells the size TOKEN_USER needs (it fails with ERROR_INSUFFICIENT_BUFFER).
    DWORD size = 0;
    ::GetTokenInformation(token.get(), TokenUser, nullptr, 0, &size);
    if (size == 0) return {};
    std::vector<BYTE> buffer(size);
    if (!::GetTokenInformation(token.get(), TokenUser, buffer.data(), size, &size)) return {};
    toolkit::UniqueLocal<wchar_t*> text;  // ConvertSidToStringSid allocates the string with LocalAlloc
    if (!::ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid, text.put())) return {};
    return text.get();
}

// Names in "Local\" belong to the session: a copy the same user runs in another session (the
// console and a remote desktop, or two sessions of fast user switching) would never see it.
// "Global\" is shared by every session; the SID, unlike the user name, tells two users apart
// whatever their names and domains. Without a readable token the session's namespace and the
// user name remain.
std::wstring DefaultInstanceName() {
    const std::wstring sid = CurrentUserSid();
    if (sid.empty()) return kLocalPrefix + std::wstring(kBaseName) + CurrentUserName();
    return kGlobalPrefix + std::wstring(kBaseName) + sid;
}

InstanceClaim ClaimInstance(const std::wstring& name) {
    InstanceClaim claim;
    claim.mutex.reset(::CreateMutexW(nullptr, FALSE, name.c_str()));
    const DWORD error = ::GetLastError();
    if (claim.mutex) {
        claim.anotherRunning = error == ERROR_ALREADY_EXISTS;
        return claim;
    }
    // On an existing mutex CreateMutex asks for MUTEX_ALL_ACCESS and fails with ERROR_ACCESS_DENIED
    // where the mutex's security does not grant it: the mutex exists, made by a copy of this user
    // whose token gives its objects another default DACL (an elevated one grants Administrators
    // and SYSTEM only). Another copy runs.
    if (error == ERROR_ACCESS_DENIED) {
        claim.anotherRunning = true;
        return claim;
    }
    // Any other failure (the name taken by an event or another kind of object: ERROR_INVALID_HANDLE;
    // a process kept out of the global namespace, as an app container is) must not keep the
    // program from starting: the session's namespace still keeps one copy per session.
    const std::wstring global = kGlobalPrefix;
    if (name.compare(0, global.size(), global) == 0) return ClaimInstance(kLocalPrefix + name.substr(global.size()));
    return claim;
}

}  // namespace hv::core
