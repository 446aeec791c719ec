#include "standin/ServerState.h"

#include <windows.h>

#include <cwchar>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include "standin/Kinds.h"
#include "standin/LocalZone.h"
#include "standin/SessionObjects.h"

namespace standin {
namespace {

// "Kind.Member" as the tables spell them; throws for names the server does not have.
std::wstring CallKey(std::wstring_view kind, std::wstring_view member) {
    const KindInfo* info = kinds::Find(kind);
    if (!info) throw std::invalid_argument("unknown object kind");
    const int index = kinds::MemberIndex(*info, member);
    if (index < 0) throw std::invalid_argument("unknown member");
    return std::wstring(info->name) + L"." + info->members[static_cast<size_t>(index)].name;
}

std::string ReadWholeFile(const std::wstring& path, bool& ok) {
    std::ifstream in(path.c_str(), std::ios::binary);
    ok = static_cast<bool>(in);
    return ok ? std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()) : std::string();
}

std::optional<std::wstring> ReadText(HKEY key, const wchar_t* name) {
    DWORD bytes = 0;
    if (::RegGetValueW(key, nullptr, name, RRF_RT_REG_SZ, nullptr, nullptr, &bytes) != ERROR_SUCCESS) return std::nullopt;
    std::wstring text(bytes / sizeof(wchar_t) + 1, L'\0');
    bytes = static_cast<DWORD>(text.size() * sizeof(wchar_t));
    if (::RegGetValueW(key, nullptr, name, RRF_RT_REG_SZ, nullptr, text.data(), &bytes) != ERROR_SUCCESS) return std::nullopt;
    text.resize(wcsnlen(text.c_str(), text.size()));
    return text;
}

}  // namespace

// ---- FaultPlan ----

void FaultPlan::Fail(std::wstring_view kind, std::wstring_view member, std::wstring description, int nthCall) {
    if (nthCall < 0) throw std::invalid_argument("nthCall must not be negative");
    planned_.push_back({CallKey(kind, member), std::move(description), nthCall});
}

void FaultPlan::Clear(std::wstring_view kind, std::wstring_view member) {
    const std::wstring key = CallKey(kind, member);
    std::erase_if(planned_, [&](const Planned& p) { return p.key == key; });
}

void FaultPlan::GoAway() { ++generation_; }

void FaultPlan::Reset() { planned_.clear(); }

std::optional<std::wstring> FaultPlan::FailureFor(std::wstring_view kind, std::wstring_view member) {
    const std::wstring key = CallKey(kind, member);
    std::optional<std::wstring> failure;
    for (auto& p : planned_) {
        if (p.key != key) continue;
        ++p.seen;
        if (!failure && (p.callsLeft == 0 || p.seen == p.callsLeft)) failure = p.description;
    }
    return failure;
}

// ---- Counters ----

long Counters::Calls(std::wstring_view kind, std::wstring_view member) const {
    const auto it = calls_.find(CallKey(kind, member));
    return it == calls_.end() ? 0 : it->second;
}

void Counters::CountCall(std::wstring_view kind, std::wstring_view member) {
    ++calls_[CallKey(kind, member)];
    ++total_;
}

// ---- Config ----

Config ReadConfigFromRegistry() {
    Config config;
    HKEY key = nullptr;
    if (::RegOpenKeyExW(HKEY_CURRENT_USER, kSettingsKey, 0, KEY_READ, &key) != ERROR_SUCCESS) return config;
    if (auto v = ReadText(key, L"CalendarFile")) config.calendarFile = *v;
    if (auto v = ReadText(key, L"OutboxFolder")) config.outboxFolder = *v;
    if (auto v = ReadText(key, L"CurrentUser")) config.currentUser = *v;
    if (auto v = ReadText(key, L"Version")) config.version = *v;
    if (auto v = ReadText(key, L"TopFolderName")) config.topFolderName = *v;
    ::RegCloseKey(key);
    return config;
}

// ---- ServerState ----

std::shared_ptr<Server> CreateServer(Config config) { return std::make_shared<ServerState>(std::move(config)); }

ServerState::ServerState(Config config) : config_(std::move(config)) {
    if (config_.followRegistryControls) controls_ = std::make_unique<RegistryControls>(faults_);
}

Microsoft::WRL::ComPtr<IDispatch> ServerState::CreateApplication() {
    return Microsoft::WRL::ComPtr<IDispatch>(new ApplicationObject(shared_from_this()));
}

void ServerState::BeforeCall() {
    if (controls_) controls_->Poll();
}

std::optional<ServerState::FileStamp> ServerState::StampOfCalendarFile() const {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!::GetFileAttributesExW(config_.calendarFile.c_str(), GetFileExInfoStandard, &data)) return std::nullopt;
    return FileStamp{data.ftLastWriteTime, static_cast<ULONGLONG>(data.nFileSizeHigh) << 32 | data.nFileSizeLow};
}

std::shared_ptr<const Calendar> ServerState::CurrentCalendar() {
    if (config_.calendarFile.empty()) {
        if (!calendar_) calendar_ = ParseCalendar(config_.calendarText, SystemLocalZone(), config_.currentUser);
        return calendar_;
    }
    const auto stamp = StampOfCalendarFile();
    if (calendar_ && stamp == calendarStamp_) return calendar_;
    bool readable = false;
    const std::string text = stamp ? ReadWholeFile(config_.calendarFile, readable) : std::string();
    calendar_ = ParseCalendar(readable ? text : std::string(), SystemLocalZone(), config_.currentUser);
    calendarStamp_ = readable ? stamp : std::nullopt;
    return calendar_;
}

std::wstring ServerState::OutboxFolder() const {
    if (!config_.outboxFolder.empty()) return config_.outboxFolder;
    wchar_t temp[MAX_PATH + 1] = {};
    ::GetTempPathW(MAX_PATH + 1, temp);
    return std::wstring(temp) + L"OutlookStandin\\Outbox";
}

std::wstring ServerState::UserAddress() const {
    std::wstring local;
    for (wchar_t c : config_.currentUser) {
        if ((c >= L'a' && c <= L'z') || (c >= L'0' && c <= L'9')) local += c;
        else if (c >= L'A' && c <= L'Z') local += static_cast<wchar_t>(c - L'A' + L'a');
        else if ((c == L' ' || c == L'.' || c == L'-' || c == L'_') && !local.empty() && local.back() != L'.') local += L'.';
    }
    while (!local.empty() && local.back() == L'.') local.pop_back();
    return (local.empty() ? L"user" : local) + L"@standin.invalid";
}

}  // namespace standin
