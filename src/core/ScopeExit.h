#pragma once
// Runs an action when the scope is left, however it is left: the one scope
// guard of the project, for the state a function must restore on every path.
#include <utility>

namespace qv {

template <class Action>
class ScopeExit {
 public:
  explicit ScopeExit(Action action) : action_(std::move(action)) {}
  ~ScopeExit() { action_(); }
  ScopeExit(const ScopeExit&) = delete;
  ScopeExit& operator=(const ScopeExit&) = delete;

 private:
  Action action_;
};

}  // namespace qv
