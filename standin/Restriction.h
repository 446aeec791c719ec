// Search filters in Outlook's restriction syntax: [Property] op "value", with op one of
// = <> < <= > >=, clauses joined by "and" / "or" ("and" binds tighter), "not" and parentheses.
// Values are in double or single quotes (a doubled quote stands for itself) or, for yes/no
// properties, bare words. Date values are read in the user's locale; texts compare without case.
#pragma once
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "standin/Calendar.h"
#include "standin/DateReading.h"

namespace standin {

// A filter that cannot be read; the text is what Outlook says in that case.
class FilterError : public std::runtime_error {
public:
    explicit FilterError(std::wstring description)
        : std::runtime_error("filter error"), description_(std::move(description)) {}
    const std::wstring& Description() const { return description_; }

private:
    std::wstring description_;
};

// The span of start times that can satisfy a filter (either end may be open).
struct StartSpan {
    std::optional<Ticks> from, to;
};

class Restriction {
public:
    // Throws FilterError.
    static Restriction Parse(std::wstring_view text, const DateReading& dates);

    bool Matches(const ItemValues& item) const;
    StartSpan Span() const;

    struct Node;
    ~Restriction();
    Restriction(Restriction&&) noexcept;
    Restriction& operator=(Restriction&&) noexcept;

private:
    explicit Restriction(std::unique_ptr<Node> root);
    std::unique_ptr<Node> root_;
};

}  // namespace standin
