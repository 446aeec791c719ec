// The server behind the objects: settings, the calendar (read again when its file changes), the
// fault plan, the counters and, for the registered DLL, the controls in the registry.
#pragma once
#include <memory>
#include <optional>
#include <string>

#include "standin/Calendar.h"
#include "standin/RegistryControls.h"
#include "standin/Standin.h"

namespace standin {

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
    // Runs before each call: follows the registry controls when asked to.
    void BeforeCall();

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

    Config config_;
    FaultPlan faults_;
    Counters counters_;
    std::shared_ptr<const Calendar> calendar_;
    std::optional<FileStamp> calendarStamp_;
    std::unique_ptr<RegistryControls> controls_;
};

}  // namespace standin
