#include "standin/Restriction.h"

#include <windows.h>

#include <algorithm>
#include <cwctype>

#include "standin/LocalZone.h"

namespace standin {
namespace {

enum class Property { Start, End, Subject, Location, Categories, Organizer, AllDayEvent, ReminderSet, IsRecurring };
enum class Kind { Date, Text, Flag };
enum class Op { Eq, Ne, Lt, Le, Gt, Ge };

struct PropertyName {
    const wchar_t* name;
    Property property;
    Kind kind;
};

constexpr PropertyName kProperties[] = {
    {L"Start", Property::Start, Kind::Date},
    {L"End", Property::End, Kind::Date},
    {L"Subject", Property::Subject, Kind::Text},
    {L"Location", Property::Location, Kind::Text},
    {L"Categories", Property::Categories, Kind::Text},
    {L"Organizer", Property::Organizer, Kind::Text},
    {L"AllDayEvent", Property::AllDayEvent, Kind::Flag},
    {L"ReminderSet", Property::ReminderSet, Kind::Flag},
    {L"IsRecurring", Property::IsRecurring, Kind::Flag},
};

template <class T>
bool Holds(Op op, const T& a, const T& b) {
    switch (op) {
        case Op::Eq: return a == b;
        case Op::Ne: return a != b;
        case Op::Lt: return a < b;
        case Op::Le: return a <= b;
        case Op::Gt: return a > b;
        case Op::Ge: return a >= b;
    }
    return false;
}

// -1, 0 or 1, ignoring case as the user's locale does.
int CompareText(const std::wstring& a, const std::wstring& b) {
    const int r = ::CompareStringEx(LOCALE_NAME_USER_DEFAULT, NORM_IGNORECASE, a.c_str(), static_cast<int>(a.size()),
                                    b.c_str(), static_cast<int>(b.size()), nullptr, nullptr, 0);
    return r == 0 ? a.compare(b) : r - CSTR_EQUAL;
}

// Categories are a list: "=" matches when any one of them (or the whole text) is the value.
bool HasCategory(const std::wstring& categories, const std::wstring& value) {
    if (CompareText(categories, value) == 0) return true;
    size_t start = 0;
    while (start <= categories.size()) {
        size_t end = categories.find(L',', start);
        if (end == std::wstring::npos) end = categories.size();
        std::wstring one = categories.substr(start, end - start);
        one.erase(0, one.find_first_not_of(L' '));
        if (CompareText(one, value) == 0) return true;
        start = end + 1;
    }
    return false;
}

}  // namespace

struct Restriction::Node {
    enum class Type { And, Or, Not, Compare } type = Type::Compare;
    std::unique_ptr<Node> left, right;
    Property property = Property::Start;
    Kind kind = Kind::Date;
    Op op = Op::Eq;
    Ticks date = 0;
    std::wstring text;
    bool flag = false;

    bool Matches(const ItemValues& item) const {
        switch (type) {
            case Type::And: return left->Matches(item) && right->Matches(item);
            case Type::Or: return left->Matches(item) || right->Matches(item);
            case Type::Not: return !left->Matches(item);
            case Type::Compare: return Compare(item);
        }
        return false;
    }

    bool Compare(const ItemValues& item) const {
        switch (property) {
            case Property::Start: return Holds(op, item.start, date);
            case Property::End: return Holds(op, item.end, date);
            case Property::Subject: return Holds(op, CompareText(item.subject, text), 0);
            case Property::Location: return Holds(op, CompareText(item.location, text), 0);
            case Property::Organizer: return Holds(op, CompareText(item.organizer, text), 0);
            case Property::Categories:
                if (op == Op::Eq) return HasCategory(item.categories, text);
                if (op == Op::Ne) return !HasCategory(item.categories, text);
                return Holds(op, CompareText(item.categories, text), 0);
            case Property::AllDayEvent: return Holds(op, item.allDay, flag);
            case Property::ReminderSet: return Holds(op, item.reminderSet, flag);
            case Property::IsRecurring: return Holds(op, item.recurring, flag);
        }
        return false;
    }

    StartSpan Span() const {
        StartSpan s;
        switch (type) {
            case Type::And: {
                const StartSpan a = left->Span(), b = right->Span();
                s.from = a.from && b.from ? std::max(*a.from, *b.from) : (a.from ? a.from : b.from);
                s.to = a.to && b.to ? std::min(*a.to, *b.to) : (a.to ? a.to : b.to);
                break;
            }
            case Type::Or: {
                const StartSpan a = left->Span(), b = right->Span();
                if (a.from && b.from) s.from = std::min(*a.from, *b.from);
                if (a.to && b.to) s.to = std::max(*a.to, *b.to);
                break;
            }
            case Type::Not: break;
            case Type::Compare:
                if (property == Property::Start) {
                    if (op == Op::Eq || op == Op::Ge) s.from = date;
                    if (op == Op::Gt) s.from = date + 1;
                    if (op == Op::Eq || op == Op::Le) s.to = date;
                    if (op == Op::Lt) s.to = date - 1;
                } else if (property == Property::End && (op == Op::Eq || op == Op::Le || op == Op::Lt)) {
                    s.to = date;  // an item never starts after it ends
                }
                break;
        }
        return s;
    }
};

namespace {

using Node = Restriction::Node;

class FilterParser {
public:
    FilterParser(std::wstring_view text, const DateReading& dates) : text_(text), dates_(dates) {}

    std::unique_ptr<Node> ParseAll() {
        auto root = Expression();
        SkipBlanks();
        if (pos_ < text_.size()) Fail(pos_);
        return root;
    }

private:
    std::unique_ptr<Node> Expression() {
        auto left = Term();
        while (Keyword(L"or")) left = Join(Node::Type::Or, std::move(left), Term());
        return left;
    }

    std::unique_ptr<Node> Term() {
        auto left = Factor();
        while (Keyword(L"and")) left = Join(Node::Type::And, std::move(left), Factor());
        return left;
    }

    std::unique_ptr<Node> Factor() {
        SkipBlanks();
        if (Keyword(L"not")) {
            auto node = std::make_unique<Node>();
            node->type = Node::Type::Not;
            node->left = Factor();
            return node;
        }
        if (Take(L'(')) {
            auto inner = Expression();
            SkipBlanks();
            if (!Take(L')')) Fail(pos_);
            return inner;
        }
        return Comparison();
    }

    std::unique_ptr<Node> Comparison() {
        SkipBlanks();
        const size_t start = pos_;
        if (!Take(L'[')) Fail(start);
        const size_t close = text_.find(L']', pos_);
        if (close == std::wstring_view::npos) Fail(start);
        const std::wstring_view name = text_.substr(pos_, close - pos_);
        pos_ = close + 1;
        auto node = std::make_unique<Node>();
        const auto* known = std::find_if(std::begin(kProperties), std::end(kProperties),
                                         [&](const PropertyName& p) { return SameName(name, p.name); });
        if (known == std::end(kProperties)) {
            throw FilterError(L"The property \"" + std::wstring(name) + L"\" is unknown.");
        }
        node->property = known->property;
        node->kind = known->kind;
        SkipBlanks();
        const size_t opAt = pos_;
        node->op = Operator();
        if (node->kind == Kind::Flag && node->op != Op::Eq && node->op != Op::Ne) Fail(opAt);
        SkipBlanks();
        const size_t valueAt = pos_;
        const std::wstring value = Value();
        switch (node->kind) {
            case Kind::Date: {
                const auto date = dates_.Read(value);
                if (!date) Fail(valueAt);
                node->date = *date;
                break;
            }
            case Kind::Flag: {
                const auto flag = ReadFlag(value);
                if (!flag) Fail(valueAt);
                node->flag = *flag;
                break;
            }
            case Kind::Text: node->text = value; break;
        }
        return node;
    }

    Op Operator() {
        if (Take(L'=')) return Op::Eq;
        if (Take(L'<')) {
            if (Take(L'>')) return Op::Ne;
            return Take(L'=') ? Op::Le : Op::Lt;
        }
        if (Take(L'>')) return Take(L'=') ? Op::Ge : Op::Gt;
        Fail(pos_);
    }

    std::wstring Value() {
        const wchar_t quote = pos_ < text_.size() ? text_[pos_] : L'\0';
        if (quote == L'"' || quote == L'\'') {
            const size_t start = pos_++;
            std::wstring value;
            for (;;) {
                if (pos_ >= text_.size()) Fail(start);
                const wchar_t c = text_[pos_++];
                if (c != quote) {
                    value += c;
                } else if (pos_ < text_.size() && text_[pos_] == quote) {
                    value += c;
                    ++pos_;
                } else {
                    return value;
                }
            }
        }
        const size_t start = pos_;
        while (pos_ < text_.size() && !std::iswspace(text_[pos_]) && text_[pos_] != L'(' && text_[pos_] != L')') ++pos_;
        if (pos_ == start) Fail(start);
        return std::wstring(text_.substr(start, pos_ - start));
    }

    static std::optional<bool> ReadFlag(const std::wstring& value) {
        for (const wchar_t* yes : {L"True", L"Yes", L"On", L"1", L"-1"}) {
            if (SameName(value, yes)) return true;
        }
        for (const wchar_t* no : {L"False", L"No", L"Off", L"0"}) {
            if (SameName(value, no)) return false;
        }
        return std::nullopt;
    }

    // A whole word, any case, followed by a blank, a parenthesis, a bracket or the end.
    bool Keyword(std::wstring_view word) {
        SkipBlanks();
        if (text_.size() - pos_ < word.size() || !SameName(text_.substr(pos_, word.size()), word)) return false;
        const size_t after = pos_ + word.size();
        if (after < text_.size() && (std::iswalnum(text_[after]) || text_[after] == L'_')) return false;
        pos_ = after;
        return true;
    }

    static std::unique_ptr<Node> Join(Node::Type type, std::unique_ptr<Node> left, std::unique_ptr<Node> right) {
        auto node = std::make_unique<Node>();
        node->type = type;
        node->left = std::move(left);
        node->right = std::move(right);
        return node;
    }

    bool Take(wchar_t c) {
        if (pos_ < text_.size() && text_[pos_] == c) {
            ++pos_;
            return true;
        }
        return false;
    }

    void SkipBlanks() {
        while (pos_ < text_.size() && std::iswspace(text_[pos_])) ++pos_;
    }

    // Outlook's message for a condition it cannot read, with the rest of the filter from where
    // reading failed. Microsoft's pages give neither the text nor a code; clients report the text
    // with 0x80020009 (DISP_E_EXCEPTION) and no code of its own, so that is the EXCEPINFO's code.
    [[noreturn]] void Fail(size_t at) const {
        throw FilterError(L"Cannot parse condition. Error at \"" + std::wstring(text_.substr(at)) + L"\".",
                          DISP_E_EXCEPTION);
    }

    std::wstring_view text_;
    const DateReading& dates_;
    size_t pos_ = 0;
};

}  // namespace

Restriction Restriction::Parse(std::wstring_view text, const DateReading& dates) {
    return Restriction(FilterParser(text, dates).ParseAll());
}

Restriction::Restriction(std::unique_ptr<Node> root) : root_(std::move(root)) {}
Restriction::~Restriction() = default;
Restriction::Restriction(Restriction&&) noexcept = default;
Restriction& Restriction::operator=(Restriction&&) noexcept = default;

bool Restriction::Matches(const ItemValues& item) const { return root_->Matches(item); }
StartSpan Restriction::Span() const { return root_->Span(); }

}  // namespace standin
