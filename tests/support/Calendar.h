// Builds iCalendar text for tests, and reads back the messages the Outlook stand-in wrote.
#pragma once
#include <string>
#include <vector>

namespace hv::test {

struct Event {
    std::string summary;
    std::string start;  // "20261207T100000" (floating, local) or "20261207" (all day)
    std::string end;
    std::string location;
    std::string organizer;  // the organizer's name (CN)
    std::string description;
    std::string categories;
    int reminderMinutes = -1;  // -1: no reminder
    std::string rrule;
    std::vector<std::string> extraLines;  // e.g. "EXDATE:20261214T100000"
    std::string uid;                      // generated when empty
    std::string recurrenceId;             // an override of an occurrence of the series `uid`
};

// A VCALENDAR holding the events, lines ending in CRLF.
std::string Ics(const std::vector<Event>& events);

struct Message {
    std::wstring to;
    std::wstring subject;
    std::wstring body;
    std::wstring file;
};

// The messages in an outbox folder, oldest first; headers unfolded and RFC 2047 decoded, the body
// decoded from its transfer encoding.
std::vector<Message> ReadOutbox(const std::wstring& folder);

// A fresh, empty folder under the temporary folder.
std::wstring MakeTempFolder(const std::wstring& prefix);
void RemoveFolder(const std::wstring& folder);

}  // namespace hv::test
