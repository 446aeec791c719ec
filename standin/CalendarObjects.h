// Items of a folder with Outlook's search (Find/FindNext with IncludeRecurrences and Sort), the
// AppointmentItem, and a series' RecurrencePattern, Exceptions and Exception. The Outbox's Items
// list the messages waiting there.
#pragma once
#include <vector>

#include "standin/Calendar.h"
#include "standin/DispatchObject.h"

namespace standin {

class ItemsObject final : public DispatchObject {
public:
    enum class Holding { Appointments, Nothing, QueuedMail };
    ItemsObject(std::shared_ptr<ServerState> server, Holding holding);

private:
    enum class SortKey { None, Start, End, Subject };

    void Answer(int index, Call& call) override;
    void IncludeRecurrences(bool include);
    void Sort(Call& call);
    void Find(Call& call);
    long Count() const;
    ComPtr<IDispatch> Item(long index) const;
    std::vector<Occurrence> Candidates(const class Restriction& filter) const;
    ComPtr<IDispatch> Next();

    Holding holding_;
    bool includeRecurrences_ = false;
    // Set only when IncludeRecurrences became True after an ascending sort on Start.
    bool expandOccurrences_ = false;
    SortKey sortKey_ = SortKey::None;
    bool descending_ = false;
    bool searched_ = false;
    std::vector<Occurrence> found_;
    size_t next_ = 0;
};

class AppointmentObject final : public DispatchObject {
public:
    AppointmentObject(std::shared_ptr<ServerState> server, Occurrence occurrence);

private:
    void Answer(int index, Call& call) override;

    Occurrence item_;
};

class PatternObject final : public DispatchObject {
public:
    PatternObject(std::shared_ptr<ServerState> server, std::shared_ptr<const Event> event);

private:
    void Answer(int index, Call& call) override;
    long RecurrenceType() const;

    std::shared_ptr<const Event> event_;
};

class ExceptionsObject final : public DispatchObject {
public:
    ExceptionsObject(std::shared_ptr<ServerState> server, std::shared_ptr<const Event> event);

private:
    void Answer(int index, Call& call) override;

    std::shared_ptr<const Event> event_;
};

class ExceptionObject final : public DispatchObject {
public:
    ExceptionObject(std::shared_ptr<ServerState> server, std::shared_ptr<const Event> event, size_t index);

private:
    void Answer(int index, Call& call) override;

    std::shared_ptr<const Event> event_;
    size_t index_;
};

}  // namespace standin
