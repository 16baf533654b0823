// What the engine did to each variable lately: the last values it sent, with
// the time of day they arrived, and which variables changed in the last few
// seconds (the rows the list highlights).
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "monitors/monitor_limits.h"

namespace vnscope {

// When a value arrived: `tick` on a clock that only runs forward, in
// milliseconds (for the highlight's end), and the local time of day in
// milliseconds since midnight (for the tester to read).
struct ValueArrival {
  uint64_t tick = 0;
  uint32_t timeOfDay = 0;
};

struct PastValue {
  int32_t value = 0;
  uint32_t timeOfDay = 0;
};

class ValueHistory {
 public:
  // Forgets everything and makes room for `variables` table positions.
  void Reset(size_t variables);

  // A value the engine sent for `position`, different from the one shown:
  // remembered, and highlighted until kChangeHighlightMs after its arrival.
  void Record(size_t position, int32_t value, ValueArrival when);

  bool Highlighted(size_t position, uint64_t now) const;
  // Ends every highlight at once.
  void ClearHighlights();
  // Ends the highlights whose time is up at `now`; true when any ended (the
  // list must be drawn again).
  bool Expire(uint64_t now);
  // When the next highlight ends; none while nothing is highlighted.
  std::optional<uint64_t> NextExpiry() const;

  // The values remembered for `position`, newest first, at most
  // kValueHistoryDepth.
  std::vector<PastValue> Past(size_t position) const;

 private:
  struct Ring {
    std::array<PastValue, kValueHistoryDepth> values{};
    size_t count = 0;
    size_t next = 0;  // where the next value goes
  };
  // Rings are made for the variables that change, not for the whole table.
  std::vector<uint32_t> ringOf_;  // 1-based index into rings_, 0: none yet
  std::vector<Ring> rings_;
  std::vector<uint64_t> highlightEnd_;  // 0: not highlighted
  // Highlights in the order they end, which is the order values arrived.
  struct Ending {
    uint64_t end;
    size_t position;
  };
  std::deque<Ending> endings_;
};

// "HH:MM:SS.mmm" for a time of day in milliseconds since midnight.
std::u16string FormatTimeOfDay(uint32_t timeOfDay);

// The tooltip of a value: one line per remembered value, newest first, each
// the time it arrived, two spaces and the value; lines end in CR LF but the
// last. Empty when nothing was remembered.
std::u16string FormatPastValues(const std::vector<PastValue>& past);

}  // namespace vnscope
