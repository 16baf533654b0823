// The running game as the engine's monitors hold it, for the report dialog
// and the report browser, which may not include the monitors themselves.
#pragma once
#include "include/vnscope.h"
#include "report/state/running_game.h"

namespace vnscope {

class MonitorsRunningGame final : public RunningGame {
 public:
  // The engine's monitor set, valid while the report dialog runs.
  explicit MonitorsRunningGame(const MonitorSet& monitors) : monitors_(monitors) {}

  std::vector<GameVariable> Variables() const override;
  void TypeVariableValue(int32_t position, std::u16string_view typed) override;
  void JumpToLabel(std::u16string_view label) override;

 private:
  const MonitorSet& monitors_;
};

}  // namespace vnscope
