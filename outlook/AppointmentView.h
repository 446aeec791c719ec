// One appointment as one poll sees it. Every property read is a round trip to Outlook's process,
// so each is read at most once per poll and reused by the past test, the list line, the due test,
// the message and its key. A read that fails fails the same way at every later use.
#pragma once
#include <map>
#include <optional>
#include <string>

#include "outlook/Automation.h"

namespace hv::outlook {

class AppointmentView {
public:
    AppointmentView(AutomationClient& client, Dispatch item) : client_(&client), item_(std::move(item)) {}

    IDispatch* Item() const { return item_.Get(); }
    // The property's value; throws AutomationError when it cannot be read.
    const Variant& Property(const wchar_t* name);

private:
    struct Read {
        Variant value;
        std::optional<AutomationError> failure;
    };
    AutomationClient* client_;
    Dispatch item_;
    std::map<std::wstring, Read> reads_;
};

}  // namespace hv::outlook
