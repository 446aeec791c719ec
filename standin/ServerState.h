// The server behind the objects: settings, the calendar (read again when its file changes), the
// fault plan, the counters, the objects handed out and their client connections, the send queue
// and, for OutlookStandin.exe, the controls in the registry with Outlook's conditions.
#pragma once
#include <oaidl.h>

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <unordered_set>
#include <vector>

#include "standin/Calendar.h"
#include "standin/Guard.h"
#include "standin/Kinds.h"
#include "standin/RegistryControls.h"
#include "standin/Standin.h"

namespace standin {

struct MailState;

class ServerState final : public Server, public std::enable_shared_from_this<ServerState> {
public:
    explicit ServerState(Config config);

    Microsoft::WRL::ComPtr<IDispatch> CreateApplication() override;
    FaultPlan& Faults() override { return faults_; }
    const Counters& Count() const override { return counters_; }

    Counters& Counting() { return counters_; }
    const Config& Settings() const { return config_; }
    // The calendar as it is now; an unreadable or missing file gives an empty one.
    std::shared_ptr<const Calendar> CurrentCalendar();
    std::wstring OutboxFolder() const;
    // The made-up mail address of the current user.
    std::wstring UserAddress() const;
    // Runs before each call: follows the registry controls when asked to, turns the call down
    // (RPC_E_CALL_REJECTED) while the server is busy and makes it as slow as asked.
    HRESULT BeforeCall();
    // The guard at a protected member, when the guard is on (Guard): the prompt, or at once the
    // denial of an administrator's policy; throws CallFailure when the call is denied.
    void Guarded(std::wstring_view kind, std::wstring_view member, bool put);
    // Outlook's conditions as they are now (all off unless the registry controls are followed).
    Conditions CurrentConditions() const;
    // Busy: the first BusySeconds after the server started.
    bool Busy() const;
    ULONGLONG BusyForMs() const;

    // Type information naming the kind's interface, made once per server.
    Microsoft::WRL::ComPtr<ITypeInfo> TypeInfoFor(const KindInfo& kind);

    // Hands a composed message to the outbox: at once, or, with SendDelayMs or while Offline,
    // into the Outbox folder inside it, to be delivered by DeliverDue (SendDelayMs later, and not
    // while Offline).
    void Deliver(const std::string& message);
    // Moves the queued messages whose time has come (every queued one when `all`) into the
    // outbox, among them those a former process left in the Outbox folder; none while Offline.
    // A message that leaves the Outbox is gone for the clients that hold its item.
    void DeliverDue(bool all = false);
    size_t QueuedMessages() const { return queue_.size(); }
    // The Outbox folder's items: the queued messages, oldest first (i counts from 0).
    std::shared_ptr<MailState> QueuedItem(size_t i) const { return queue_.at(i).item; }

    // The objects alive now, for the server's objects and for closing as the user closes Outlook.
    void ObjectCreated(IDispatch* object);
    void ObjectDestroyed(IDispatch* object);
    // Cuts every object off from its clients (CoDisconnectObject): their calls fail from now on.
    void DisconnectAll();
    // Strong references held by clients in other processes, counted per object by COM.
    void ClientTookHold() { ++heldObjects_; }
    void ClientLetGo();
    long ObjectsHeldByClients() const { return heldObjects_; }
    // Called when the last object held by a client in another process is let go.
    std::function<void()> onClientsGone;
    // Called when the server has gone away (Disconnect), before the call that found it out fails.
    std::function<void()> onGoneAway;

private:
    struct FileStamp {
        FILETIME written{};
        ULONGLONG size = 0;
        bool operator==(const FileStamp& o) const {
            return written.dwLowDateTime == o.written.dwLowDateTime &&
                   written.dwHighDateTime == o.written.dwHighDateTime && size == o.size;
        }
    };
    std::optional<FileStamp> StampOfCalendarFile() const;
    std::wstring QueueFolder() const;
    void QueueLeftovers();

    struct Queued {
        std::wstring path;
        ULONGLONG due;
        std::shared_ptr<MailState> item;  // what the Outbox folder's Items show of it
    };
    void Queue(std::wstring path, ULONGLONG due, const std::string& message);

    Config config_;
    FaultPlan faults_;
    Counters counters_;
    std::shared_ptr<const Calendar> calendar_;
    std::optional<FileStamp> calendarStamp_;
    std::unique_ptr<RegistryControls> controls_;
    ULONGLONG started_;
    Guard guard_;
    Microsoft::WRL::ComPtr<ICreateTypeLib2> typeLibrary_;
    std::map<const KindInfo*, Microsoft::WRL::ComPtr<ITypeInfo>> typeInfos_;
    std::vector<Queued> queue_;
    std::unordered_set<IDispatch*> objects_;
    long heldObjects_ = 0;
    unsigned generationSeen_ = 0;
};

}  // namespace standin
