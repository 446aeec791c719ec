#include "standin/ServerState.h"

#include <windows.h>

#include <cwchar>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include "standin/Kinds.h"
#include "standin/LocalZone.h"
#include "standin/MailMessage.h"
#include "standin/MailObjects.h"
#include "standin/Outbox.h"
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
    if (::RegGetValueW(key, nullptr, name, RRF_RT_REG_SZ, nullptr, nullptr, &bytes) != ERROR_SUCCESS)
        return std::nullopt;
    std::wstring text(bytes / sizeof(wchar_t) + 1, L'\0');
    bytes = static_cast<DWORD>(text.size() * sizeof(wchar_t));
    if (::RegGetValueW(key, nullptr, name, RRF_RT_REG_SZ, nullptr, text.data(), &bytes) != ERROR_SUCCESS)
        return std::nullopt;
    text.resize(wcsnlen(text.c_str(), text.size()));
    return text;
}

}  // namespace

// ---- FaultPlan ----

void FaultPlan::Fail(std::wstring_view kind, std::wstring_view member, std::wstring description, int nthCall,
                     HRESULT scode) {
    if (nthCall < 0) throw std::invalid_argument("nthCall must not be negative");
    planned_.push_back({CallKey(kind, member), std::move(description), nthCall, scode});
}

void FaultPlan::Clear(std::wstring_view kind, std::wstring_view member) {
    const std::wstring key = CallKey(kind, member);
    std::erase_if(planned_, [&](const Planned& p) { return p.key == key; });
}

void FaultPlan::GoAway() { ++generation_; }

void FaultPlan::During(std::wstring_view kind, std::wstring_view member, std::function<void()> hook) {
    hooks_.emplace_back(CallKey(kind, member), std::move(hook));
}

void FaultPlan::Reset() {
    planned_.clear();
    hooks_.clear();
}

void FaultPlan::RunHooks(std::wstring_view kind, std::wstring_view member) {
    if (hooks_.empty()) return;
    const std::wstring key = CallKey(kind, member);
    const auto hooks = hooks_;  // a hook may plan more
    for (const auto& [planned, hook] : hooks)
        if (planned == key) hook();
}

std::optional<FaultPlan::Failure> FaultPlan::FailureFor(std::wstring_view kind, std::wstring_view member) {
    const std::wstring key = CallKey(kind, member);
    std::optional<Failure> failure;
    for (auto& p : planned_) {
        if (p.key != key) continue;
        ++p.seen;
        if (!failure && (p.callsLeft == 0 || p.seen == p.callsLeft)) failure = Failure{p.description, p.scode};
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

ServerState::ServerState(Config config) : config_(std::move(config)), started_(::GetTickCount64()) {
    if (config_.followRegistryControls) {
        controls_ = std::make_unique<RegistryControls>(faults_);
        QueueLeftovers();
    }
}

Microsoft::WRL::ComPtr<IDispatch> ServerState::CreateApplication() {
    return Microsoft::WRL::ComPtr<IDispatch>(new ApplicationObject(shared_from_this()));
}

HRESULT ServerState::BeforeCall() {
    if (controls_) controls_->Poll();
    if (faults_.Generation() != generationSeen_) {
        generationSeen_ = faults_.Generation();
        if (onGoneAway) onGoneAway();
    }
    // Outlook turns calls down while it starts (loading its add-ins) through its message
    // filter's HandleInComingCall. Wine does not honour a server's rejection there, so the
    // stand-in answers RPC_E_CALL_REJECTED from the call itself, which reaches the client as the
    // same code.
    if (Busy() || faults_.TakeRejection()) {
        counters_.CountRejected();
        return RPC_E_CALL_REJECTED;
    }
    if (const DWORD delay = CurrentConditions().callDelayMs) ::Sleep(delay);
    return S_OK;
}

void ServerState::Guarded(std::wstring_view kind, std::wstring_view member, bool put) {
    if (const GuardPolicy policy = CurrentConditions().guard; policy != GuardPolicy::Off)
        guard_.Check(kind, member, put, policy == GuardPolicy::Deny);
}

Conditions ServerState::CurrentConditions() const { return controls_ ? controls_->Current() : Conditions{}; }

ULONGLONG ServerState::BusyForMs() const {
    const ULONGLONG busy = 1000ull * CurrentConditions().busySeconds, ran = ::GetTickCount64() - started_;
    return ran < busy ? busy - ran : 0;
}

bool ServerState::Busy() const { return BusyForMs() > 0; }

ComPtr<ITypeInfo> ServerState::TypeInfoFor(const KindInfo& kind) {
    ComPtr<ITypeInfo>& slot = typeInfos_[&kind];
    if (slot) return slot;
    const SYSKIND system = sizeof(void*) == 8 ? SYS_WIN64 : SYS_WIN32;
    if (!typeLibrary_ && FAILED(::CreateTypeLib2(system, const_cast<LPOLESTR>(L"OutlookStandin.tlb"), &typeLibrary_))) {
        return nullptr;
    }
    ComPtr<ICreateTypeInfo> type;
    if (FAILED(typeLibrary_->CreateTypeInfo(const_cast<LPOLESTR>(kind.interfaceName), TKIND_DISPATCH, &type)))
        return nullptr;
    type->LayOut();
    type.As(&slot);
    return slot;
}

// ---- sending ----

// Outlook submits a sent message in its Outbox and sends it from there: Microsoft's
// "MailItem.Submitted property (Outlook)" (learn.microsoft.com/office/vba/api/outlook.mailitem.
// submitted): "A message is always created and submitted in a folder, usually the Outbox." Working
// offline it sends nothing: Microsoft's Outlook help "About working offline" (office.microsoft.com/
// en-us/outlook-help/about-working-offline-HP005251652.aspx): "Any time you choose to work offline,
// Microsoft Outlook only attempts to establish a connection to the Exchange server when you
// request it or specify to do so in Send/Receive groups." Read strictly, nothing leaves the Outbox
// while Offline is set, not even a message whose SendDelayMs is over, and the page does not say
// that a send is refused: Send succeeds and the message waits. Once online, the Outbox is sent as
// Outlook sends it at its next Send/Receive; a message still in its SendDelayMs waits for it.

std::wstring ServerState::QueueFolder() const { return OutboxFolder() + L"\\Outbox"; }

void ServerState::Deliver(const std::string& message) {
    const Conditions now = CurrentConditions();
    if (now.sendDelayMs == 0 && !now.offline) {
        DeliverToOutbox(OutboxFolder(), message);
        return;
    }
    Queue(DeliverToOutbox(QueueFolder(), message), ::GetTickCount64() + now.sendDelayMs, message);
}

// The item the Outbox folder lists for a queued message, read back from the message itself so
// that messages a former process left are listed as they were sent.
void ServerState::Queue(std::wstring path, ULONGLONG due, const std::string& message) {
    const ComposedParts parts = ReadComposedMessage(message);
    auto item = std::make_shared<MailState>();
    item->subject = parts.subject;
    item->body = parts.body;
    item->submitted = true;
    for (const auto& [addresses, type] : {std::pair{&parts.to, kRecipientTo}, std::pair{&parts.cc, kRecipientCc}}) {
        for (const std::wstring& address : *addresses) {
            // Resolved when it was sent: its name is the address as it was added.
            item->recipients.push_back(std::make_shared<RecipientState>(RecipientState{address, address, type, true}));
        }
    }
    queue_.push_back({std::move(path), due, std::move(item)});
}

void ServerState::QueueLeftovers() {
    // Outlook sends what its Outbox holds when it starts.
    WIN32_FIND_DATAW found;
    HANDLE search = ::FindFirstFileW((QueueFolder() + L"\\*.eml").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return;
    do {
        const std::wstring path = QueueFolder() + L"\\" + found.cFileName;
        bool readable = false;
        Queue(path, 0, ReadWholeFile(path, readable));
    } while (::FindNextFileW(search, &found));
    ::FindClose(search);
}

void ServerState::DeliverDue(bool all) {
    // Called from the server's timer as well: going online is noticed without a client's call.
    if (controls_) controls_->Poll();
    if (CurrentConditions().offline) return;
    const ULONGLONG now = ::GetTickCount64();
    std::erase_if(queue_, [&](const Queued& q) {
        if (!all && q.due > now) return false;
        const std::wstring name = q.path.substr(q.path.find_last_of(L'\\') + 1);
        // A rename within one volume: the message appears in the outbox whole.
        const bool left =
            ::MoveFileExW(q.path.c_str(), (OutboxFolder() + L"\\" + name).c_str(), MOVEFILE_WRITE_THROUGH) ||
            ::GetFileAttributesW(q.path.c_str()) == INVALID_FILE_ATTRIBUTES;
        if (left) q.item->sent = true;  // the Outbox's item is gone for those who hold it
        return left;
    });
}

// ---- objects and their clients ----

void ServerState::ObjectCreated(IDispatch* object) {
    objects_.insert(object);
    counters_.ObjectCreated();
}

void ServerState::ObjectDestroyed(IDispatch* object) {
    objects_.erase(object);
    counters_.ObjectDestroyed();
}

void ServerState::DisconnectAll() {
    const std::vector<ComPtr<IDispatch>> alive(objects_.begin(), objects_.end());
    for (const auto& object : alive) ::CoDisconnectObject(object.Get(), 0);
}

void ServerState::ClientLetGo() {
    if (--heldObjects_ == 0 && onClientsGone) onClientsGone();
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
        if ((c >= L'a' && c <= L'z') || (c >= L'0' && c <= L'9'))
            local += c;
        else if (c >= L'A' && c <= L'Z')
            local += static_cast<wchar_t>(c - L'A' + L'a');
        else if ((c == L' ' || c == L'.' || c == L'-' || c == L'_') && !local.empty() && local.back() != L'.')
            local += L'.';
    }
    while (!local.empty() && local.back() == L'.') local.pop_back();
    return (local.empty() ? L"user" : local) + L"@standin.invalid";
}

}  // namespace standin
