#include "standin/CalendarObjects.h"

#include <windows.h>

#include <algorithm>

#include "standin/LocalZone.h"
#include "standin/MailObjects.h"
#include "standin/Restriction.h"
#include "standin/ServerState.h"

namespace standin {
namespace {

// Searches without an upper date bound stop expanding series this far after today (single
// appointments are found however far ahead they lie).
constexpr Ticks kOpenEndHorizon = 366 * kSecondsPerDay;
// No series yields more occurrences than this to one search.
constexpr size_t kOccurrencesPerSeries = 20000;
// Outlook's "no end" date of a pattern.
const Ticks kNoEndDate = ToTicks(CivilDateTime{4501, 1, 1});

Ticks LocalNow() {
    SYSTEMTIME st;
    ::GetLocalTime(&st);
    return ToTicks(CivilDateTime{st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond});
}

std::wstring SortProperty(std::wstring text) {
    if (text.size() >= 2 && text.front() == L'[' && text.back() == L']') text = text.substr(1, text.size() - 2);
    return text;
}

}  // namespace

// ---- Items ----

ItemsObject::ItemsObject(std::shared_ptr<ServerState> server, Holding holding)
    : DispatchObject(std::move(server), kinds::kItems), holding_(holding) {}

void ItemsObject::Answer(int index, Call& call) {
    using M = kinds::Items;
    switch (static_cast<M>(index)) {
        case M::IncludeRecurrences:
            if (call.IsPut())
                IncludeRecurrences(call.PutFlag());
            else
                call.ReturnFlag(includeRecurrences_);
            break;
        case M::Sort: Sort(call); break;
        case M::Find: Find(call); break;
        case M::FindNext:
            if (!searched_) FailCall(L"FindNext was called before Find.");
            call.ReturnObject(Next());
            break;
        case M::Count: call.ReturnNumber(Count()); break;
        case M::Class: call.ReturnNumber(static_cast<long>(ObjectClass::Items)); break;
        case M::Item: call.ReturnObject(Item(call.Number(0))); break;
    }
}

// Microsoft's "Items.IncludeRecurrences property (Outlook)" (learn.microsoft.com/office/vba/api/
// outlook.items.includerecurrences): "If you need to sort and filter on appointment items that
// contain recurring appointments, you must do so in this order: sort the items in ascending order,
// set IncludeRecurrences to True, and then filter the items." Read strictly: occurrences are
// expanded only when an ascending sort on Start came before IncludeRecurrences was set to True; a
// sort after it, or none, leaves each series one item.
void ItemsObject::IncludeRecurrences(bool include) {
    includeRecurrences_ = include;
    expandOccurrences_ = include && sortKey_ == SortKey::Start && !descending_;
}

// With IncludeRecurrences the collection may be endless, and Outlook gives the largest Long:
// Microsoft's "OL2000: Incorrect Count Property Using Recurring Appointments" (KB 230120): "You
// use the Count property to determine the number of appointments in a collection, but the number
// returned is 2147843647" (its digits are transposed: 2,147,843,647 is more than a Long holds; the
// largest Long, 2,147,483,647, is what it describes as "the largest number of items a collection
// can contain"). The IncludeRecurrences page calls that Count "an undefined value". Strictly, it
// is given whenever IncludeRecurrences is True, whatever the series and the sort.
//
// The collection is the folder as it is at each call: Microsoft's "Items.ItemRemove event
// (Outlook)" (learn.microsoft.com/office/vba/api/outlook.items.itemremove): "Occurs when an item
// is deleted from the specified collection." So the Outbox's Count and Item read the messages
// waiting at that moment, those still in their SendDelayMs among them.
long ItemsObject::Count() const {
    if (includeRecurrences_) return 2147483647L;
    switch (holding_) {
        case Holding::Appointments: return static_cast<long>(Server().CurrentCalendar()->events.size());
        case Holding::QueuedMail: return static_cast<long>(Server().QueuedMessages());
        case Holding::Nothing: break;
    }
    return 0L;
}

// Microsoft's "Items object (Outlook)" (learn.microsoft.com/office/vba/api/outlook.items): "Use
// Items (index), where index is the name or index number, to return a single Outlook item." and
// "The index for the Items collection starts at 1". Item is the default member, so Items(i)
// reaches it through DISPID_VALUE. Only index numbers are taken here; a series is one item.
ComPtr<IDispatch> ItemsObject::Item(long index) const {
    const size_t i = static_cast<size_t>(index) - 1;
    if (holding_ == Holding::QueuedMail && index >= 1 && i < Server().QueuedMessages())
        return Make<MailObject>(Server().QueuedItem(i));
    if (holding_ == Holding::Appointments && index >= 1) {
        const auto calendar = Server().CurrentCalendar();
        if (i < calendar->events.size()) {
            const auto& event = calendar->events[i];
            return Make<AppointmentObject>(Occurrence{event, std::shared_ptr<const ItemValues>(event, &event->master)});
        }
    }
    FailCall(L"Array index out of bounds.");
}

void ItemsObject::Sort(Call& call) {
    const std::wstring property = SortProperty(call.Text(0));
    const bool descending = call.Given(1) && call.Flag(1);
    if (SameName(property, L"Start"))
        sortKey_ = SortKey::Start;
    else if (SameName(property, L"End"))
        sortKey_ = SortKey::End;
    else if (SameName(property, L"Subject"))
        sortKey_ = SortKey::Subject;
    else
        FailCall(L"The property \"" + property + L"\" in the sort is unknown.");
    descending_ = descending;
    expandOccurrences_ = false;  // IncludeRecurrences must be set again after a sort
}

std::vector<Occurrence> ItemsObject::Candidates(const Restriction& filter) const {
    std::vector<Occurrence> out;
    if (holding_ != Holding::Appointments) return out;
    const auto calendar = Server().CurrentCalendar();
    // Otherwise a series is one item, its master, found by the master's values.
    const bool expand = expandOccurrences_;
    const StartSpan span = filter.Span();
    const Ticks from = span.from.value_or(0);
    const Ticks to = span.to ? *span.to : std::max(from, LocalNow()) + kOpenEndHorizon;
    for (const auto& event : calendar->events) {
        if (expand && event->IsRecurring()) {
            for (auto& occurrence : event->OccurrencesIn(from, to, kOccurrencesPerSeries)) {
                if (filter.Matches(*occurrence.values)) out.push_back(std::move(occurrence));
            }
        } else if (filter.Matches(event->master)) {
            out.push_back({event, std::shared_ptr<const ItemValues>(event, &event->master)});
        }
    }
    return out;
}

void ItemsObject::Find(Call& call) {
    const std::wstring text = call.Text(0);
    std::vector<Occurrence> found;
    try {
        found = Candidates(Restriction::Parse(text, DateReading::ForLocale(LOCALE_NAME_USER_DEFAULT)));
    } catch (const FilterError& e) { throw CallFailure{DISP_E_EXCEPTION, e.Description(), e.Code()}; }
    if (sortKey_ != SortKey::None) {
        std::stable_sort(found.begin(), found.end(), [this](const Occurrence& x, const Occurrence& y) {
            const ItemValues& a = descending_ ? *y.values : *x.values;
            const ItemValues& b = descending_ ? *x.values : *y.values;
            switch (sortKey_) {
                case SortKey::Start: return a.start < b.start;
                case SortKey::End: return a.end < b.end;
                case SortKey::Subject:
                    return ::CompareStringEx(LOCALE_NAME_USER_DEFAULT, NORM_IGNORECASE, a.subject.c_str(), -1,
                                             b.subject.c_str(), -1, nullptr, nullptr, 0) == CSTR_LESS_THAN;
                case SortKey::None: break;
            }
            return false;
        });
    }
    found_ = std::move(found);
    next_ = 0;
    searched_ = true;
    call.ReturnObject(Next());
}

ComPtr<IDispatch> ItemsObject::Next() {
    if (next_ >= found_.size()) return nullptr;
    return Make<AppointmentObject>(found_[next_++]);
}

// ---- AppointmentItem ----

AppointmentObject::AppointmentObject(std::shared_ptr<ServerState> server, Occurrence occurrence)
    : DispatchObject(std::move(server), kinds::kAppointment), item_(std::move(occurrence)) {}

void AppointmentObject::Answer(int index, Call& call) {
    using M = kinds::Appointment;
    const ItemValues& v = *item_.values;
    switch (static_cast<M>(index)) {
        case M::Start: call.ReturnDate(v.start); break;
        case M::End: call.ReturnDate(v.end); break;
        case M::Subject: call.ReturnText(v.subject); break;
        case M::Location: call.ReturnText(v.location); break;
        case M::Organizer: call.ReturnText(v.organizer); break;
        case M::Body: call.ReturnText(v.body); break;
        case M::Categories: call.ReturnText(v.categories); break;
        case M::AllDayEvent: call.ReturnFlag(v.allDay); break;
        case M::IsRecurring: call.ReturnFlag(v.recurring); break;
        case M::ReminderSet: call.ReturnFlag(v.reminderSet); break;
        case M::ReminderMinutesBeforeStart: call.ReturnNumber(v.reminderMinutes); break;
        case M::Duration: call.ReturnNumber(static_cast<long>((v.end - v.start) / kSecondsPerMinute)); break;
        case M::GetRecurrencePattern: call.ReturnObject(Make<PatternObject>(item_.event)); break;
        case M::Class: call.ReturnNumber(static_cast<long>(ObjectClass::Appointment)); break;
    }
}

// ---- RecurrencePattern ----

PatternObject::PatternObject(std::shared_ptr<ServerState> server, std::shared_ptr<const Event> event)
    : DispatchObject(std::move(server), kinds::kPattern), event_(std::move(event)) {}

long PatternObject::RecurrenceType() const {
    // Outlook's OlRecurrenceType: daily 0, weekly 1, monthly 2, month-nth 3, yearly 5, year-nth 6.
    if (!event_->rule) return 1;
    const auto& r = *event_->rule;
    const bool nth = std::any_of(r.byDay.begin(), r.byDay.end(), [](const WeekdayNumber& d) { return d.ordinal != 0; });
    switch (r.frequency) {
        case RecurrenceRule::Frequency::Daily: return 0;
        case RecurrenceRule::Frequency::Weekly: return 1;
        case RecurrenceRule::Frequency::Monthly: return nth ? 3 : 2;
        case RecurrenceRule::Frequency::Yearly: return nth ? 6 : 5;
    }
    return 1;
}

void PatternObject::Answer(int index, Call& call) {
    using M = kinds::Pattern;
    const auto& rule = event_->rule;
    switch (static_cast<M>(index)) {
        case M::Exceptions: call.ReturnObject(Make<ExceptionsObject>(event_)); break;
        case M::RecurrenceType: call.ReturnNumber(RecurrenceType()); break;
        case M::Interval:
            // Outlook counts a yearly interval in months.
            call.ReturnNumber(!rule ? 1
                                    : rule->interval * (rule->frequency == RecurrenceRule::Frequency::Yearly ? 12 : 1));
            break;
        case M::Occurrences: {
            long count = 0;
            if (rule && rule->count) {
                count = *rule->count;
            } else if (rule && rule->until) {
                ExpandRule(*rule, event_->startWall, event_->startWall, *rule->until, [&](Ticks) {
                    ++count;
                    return true;
                });
            }
            call.ReturnNumber(count);
            break;
        }
        case M::NoEndDate: call.ReturnFlag(rule && !rule->count && !rule->until); break;
        case M::PatternStartDate: call.ReturnDate(StartOfDay(event_->master.start)); break;
        case M::PatternEndDate: {
            const auto last = event_->LastStart();
            call.ReturnDate(last ? StartOfDay(*last) : kNoEndDate);
            break;
        }
        case M::Class: call.ReturnNumber(static_cast<long>(ObjectClass::RecurrencePattern)); break;
    }
}

// ---- Exceptions ----

ExceptionsObject::ExceptionsObject(std::shared_ptr<ServerState> server, std::shared_ptr<const Event> event)
    : DispatchObject(std::move(server), kinds::kExceptions), event_(std::move(event)) {}

void ExceptionsObject::Answer(int index, Call& call) {
    using M = kinds::Exceptions;
    switch (static_cast<M>(index)) {
        case M::Count: call.ReturnNumber(static_cast<long>(event_->exceptions.size())); break;
        case M::Item: {
            const long i = call.Number(0);
            if (i < 1 || static_cast<size_t>(i) > event_->exceptions.size()) FailCall(L"Array index out of bounds.");
            call.ReturnObject(Make<ExceptionObject>(event_, static_cast<size_t>(i - 1)));
            break;
        }
        case M::Class: call.ReturnNumber(static_cast<long>(ObjectClass::Exceptions)); break;
    }
}

// ---- Exception ----

ExceptionObject::ExceptionObject(std::shared_ptr<ServerState> server, std::shared_ptr<const Event> event, size_t index)
    : DispatchObject(std::move(server), kinds::kException), event_(std::move(event)), index_(index) {}

void ExceptionObject::Answer(int index, Call& call) {
    using M = kinds::Exception;
    const SeriesException& e = event_->exceptions[index_];
    switch (static_cast<M>(index)) {
        case M::OriginalDate: call.ReturnDate(e.originalStart); break;
        case M::Deleted: call.ReturnFlag(!e.changed); break;
        case M::AppointmentItem:
            if (!e.changed) {
                FailCall(
                    L"You changed one of the recurrences of this item, and this instance no longer exists. "
                    L"Close any open items and try again.");
            }
            call.ReturnObject(Make<AppointmentObject>(Occurrence{event_, e.changed}));
            break;
        case M::Class: call.ReturnNumber(static_cast<long>(ObjectClass::Exception)); break;
    }
}

}  // namespace standin
