#include "host/running_game.h"

#include "monitors/monitor_dialogs.h"
#include "monitors/variable_list_window.h"

namespace vnscope {

std::vector<GameVariable> MonitorsRunningGame::Variables() const {
  const std::vector<Variable>& table = VariableList().store.table();
  std::vector<GameVariable> variables;
  variables.reserve(table.size());
  for (const Variable& variable : table) variables.push_back({variable.name, variable.value, variable.registerNumber});
  return variables;
}

void MonitorsRunningGame::TypeVariableValue(int32_t position, std::u16string_view typed) {
  if (monitors_.variableList) vnscope::TypeVariableValue(monitors_.variableList, position, typed);
}

void MonitorsRunningGame::JumpToLabel(std::u16string_view label) {
  if (monitors_.otherInfo) vnscope::JumpToLabel(monitors_.otherInfo, label);
}

}  // namespace vnscope
