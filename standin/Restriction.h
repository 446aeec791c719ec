// Search filters in Outlook's restriction syntax: [Property] op "value", with op one of
// = <> < <= > >=, clauses joined by "and" / "or" ("and" binds tighter), "not" and parentheses.
// Values are in double or single quotes (a doubled quote stands for itself) or, for yes/no
// properties, bare words. Date values are read as DateReading says; texts compare without case.
#pragma once
#include <windows.h>

#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "standin/Calendar.h"
#include "standin/DateReading.h"

namespace standin {

// A filter that cannot be read; the text is what Outlook says in that case, the code what its
// clients see with it.
class FilterError : public std::runtime_error {
public:
    explicit FilterError(std::wstring description, HRESULT scode = E_FAIL)
        : std::runtime_error("filter error"), description_(std::move(description)), scode_(scode) {}
    const std::wstring& Description() const { return description_; }
    HRESULT Code() const { return scode_; }

private:
    std::wstring description_;
    HRESULT scode_;
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
