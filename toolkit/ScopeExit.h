// Runs a function when the scope ends, on every path out of it, exceptions included.
//
//   tickRunning_ = true;
//   const ScopeExit done([&] { tickRunning_ = false; });
#pragma once
#include <utility>

namespace hv::toolkit {

template <class F>
class ScopeExit {
public:
    explicit ScopeExit(F f) : f_(std::move(f)) {}
    ~ScopeExit() { f_(); }
    ScopeExit(const ScopeExit&) = delete;
    ScopeExit& operator=(const ScopeExit&) = delete;

private:
    F f_;
};

}  // namespace hv::toolkit
