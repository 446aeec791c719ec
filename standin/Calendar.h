// The calendar read from iCalendar text: its appointments and recurring series, and the
// occurrences of a series in a span of local time. No COM here.
#pragma once
#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "standin/CivilTime.h"
#include "standin/LocalZone.h"
#include "standin/RecurrenceRule.h"

namespace standin {

// The values of one item as Outlook shows them: times in local time, texts with CR LF breaks.
struct ItemValues {
    std::wstring subject, location, organizer, body, categories;
    Ticks start = 0, end = 0;
    bool allDay = false;
    bool reminderSet = false;
    long reminderMinutes = 0;
    bool recurring = false;
};

// How the wall times of one event map to local time.
class WallClock {
public:
    enum class Kind { Local, Utc, Defined };
    WallClock() = default;
    WallClock(Kind kind, const LocalZone* local, std::shared_ptr<const ZoneRules> zone = nullptr)
        : kind_(kind), local_(local), zone_(std::move(zone)) {}

    Ticks ToLocal(Ticks wall) const;
    Ticks ToUtc(Ticks wall) const;
    Ticks FromUtc(Ticks utc) const;
    bool SameAs(const WallClock& other) const { return kind_ == other.kind_ && zone_ == other.zone_; }

private:
    Kind kind_ = Kind::Local;
    const LocalZone* local_ = nullptr;
    std::shared_ptr<const ZoneRules> zone_;
};

// One exception of a series: a changed occurrence (with its values) or a deleted one. A change
// whose original start is no occurrence of the series is an occurrence added to it.
struct SeriesException {
    Ticks originalWall = 0;                     // the occurrence's original start in the series' wall time
    Ticks originalStart = 0;                    // the same in local time
    std::shared_ptr<const ItemValues> changed;  // null: deleted
};

// A start added to a series (RDATE), with its own duration when it was given as a period.
struct ExtraStart {
    Ticks wall = 0;
    Ticks duration = 0;
};

// A change to an occurrence and all that follow it: their starts move by `shift`, they last
// `duration`, and they take the changed values.
struct FutureChange {
    Ticks fromWall = 0;
    Ticks shift = 0;
    Ticks duration = 0;
    std::shared_ptr<const ItemValues> values;
};

class Event;

// One occurrence found in a span: the series (or single appointment) and that day's values.
struct Occurrence {
    std::shared_ptr<const Event> event;
    std::shared_ptr<const ItemValues> values;
};

class Event : public std::enable_shared_from_this<Event> {
public:
    ItemValues master;                        // the appointment itself; for a series its first occurrence
    std::optional<RecurrenceRule> rule;       // the first RRULE
    std::vector<RecurrenceRule> moreRules;    // further, different RRULE lines: their starts join
    std::vector<ExtraStart> extraStarts;      // RDATE, in wall-time order
    std::vector<FutureChange> futureChanges;  // in fromWall order
    std::vector<SeriesException> exceptions;  // in original-date order

    bool IsRecurring() const { return rule.has_value() || !extraStarts.empty(); }
    // Visits the starts of the series (every rule, RDATE and DTSTART, once each, deleted and
    // changed ones included) that lie in [fromWall, toWall], in order, until `visit` says stop.
    void VisitStarts(Ticks fromWall, Ticks toWall, const std::function<bool(Ticks)>& visit) const;

    // Occurrences whose local start lies in [from, to], changed ones at their new times, deleted
    // ones left out; at most `limit` of them, in start order.
    std::vector<Occurrence> OccurrencesIn(Ticks from, Ticks to, size_t limit) const;
    // The last start of the series in local time; nullopt when it has no end.
    std::optional<Ticks> LastStart() const;

    // Set by the reader.
    Ticks startWall = 0;
    Ticks durationWall = 0;
    WallClock clock;

private:
    const SeriesException* ExceptionAt(Ticks wall) const;
    std::shared_ptr<const ItemValues> ValuesAt(Ticks wall) const;
};

struct Calendar {
    std::vector<std::shared_ptr<const Event>> events;  // in the order of the text
};

// Reads iCalendar text (UTF-8). `zone` must outlive the calendar. Appointments without an
// ORGANIZER are the user's own: their organizer is `ownerName`. Whatever cannot be read
// faithfully is left out.
std::shared_ptr<const Calendar> ParseCalendar(std::string_view text, const LocalZone& zone,
                                              const std::wstring& ownerName);

}  // namespace standin
