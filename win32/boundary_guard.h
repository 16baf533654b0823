// Where a call comes in from outside the library (an export, a window,
// dialog or subclass procedure, a thread procedure, a timer callback), no C++
// exception may leave: unwinding through the window manager or out of an
// extern "C" function ends the engine's process. Each such entry point runs
// its body through GuardBoundary and gives the value it answers with when
// something inside threw (a refused allocation, a length error).
#pragma once
#include <utility>

namespace vnscope {

// Runs `body` and returns its result, or `onFailure` when it throws anything.
template <class Result, class Body>
Result GuardBoundary(Result onFailure, Body&& body) noexcept {
  try {
    return std::forward<Body>(body)();
  } catch (...) {
    return onFailure;
  }
}

// The same for a body without result: an exception just ends it.
template <class Body>
void GuardBoundary(Body&& body) noexcept {
  try {
    std::forward<Body>(body)();
  } catch (...) {
  }
}

}  // namespace vnscope
