// The running game as the report dialog and the report browser reach it: the
// variable list's table, and the two things the monitors send the engine
// that change its state. The DLL's exports fill it in from the monitors
// (host/), so that neither the report nor the browser includes a monitor.
#pragma once
#include <cstdint>
#include <string_view>
#include <vector>

#include "report/state/game_state_entries.h"

namespace vnscope {

class RunningGame {
 public:
  virtual ~RunningGame() = default;

  // The variable list's table, in table order, as it is now.
  virtual std::vector<GameVariable> Variables() const = 0;

  // What the variable list's in-place editor does when the tester types
  // `typed` over the variable at table `position` and presses Enter: the
  // value is stored and the engine hears of it from the editor.
  virtual void TypeVariableValue(int32_t position, std::u16string_view typed) = 0;

  // What the panel's JUMP does with `label` in its combo box.
  virtual void JumpToLabel(std::u16string_view label) = 0;
};

}  // namespace vnscope
