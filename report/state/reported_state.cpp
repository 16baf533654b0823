#include "report/state/reported_state.h"

#include <algorithm>
#include <climits>
#include <unordered_map>
#include <unordered_set>

#include "report/protocol/game_state_text.h"
#include "report/protocol/utf8_text.h"

namespace vnscope {
namespace {

std::string_view AsText(std::span<const uint8_t> bytes) {
  return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}

}  // namespace

std::optional<std::vector<ReportedVariable>> ParseVariablesEntry(std::span<const uint8_t> entry) {
  auto rows = ParseVariableRows(AsText(entry));
  if (!rows) return std::nullopt;
  std::vector<ReportedVariable> variables;
  variables.reserve(rows->size());
  for (VariableRow& row : *rows) {
    // The engine's values are 32 bits: a wider one was not written by a DLL.
    if (row.value < INT32_MIN || row.value > INT32_MAX) return std::nullopt;
    auto name = DecodeUtf8(row.name);
    if (!name) return std::nullopt;
    variables.push_back({std::move(*name), static_cast<int32_t>(row.value)});
  }
  return variables;
}

std::optional<std::u16string> GameStateValue(std::span<const uint8_t> entry, std::string_view key) {
  for (const auto& [name, value] : ParseGameStateLines(AsText(entry))) {
    if (name == key) return DecodeUtf8(value);
  }
  return std::nullopt;
}

RestorePlan PlanRestore(std::span<const GameVariable> running, std::span<const ReportedVariable> reported) {
  std::unordered_map<std::u16string_view, int32_t> positions;
  positions.reserve(running.size());
  for (size_t i = 0; i < running.size(); ++i) positions.try_emplace(running[i].name, static_cast<int32_t>(i));
  RestorePlan plan;
  std::unordered_set<std::u16string_view> seen;
  seen.reserve(reported.size());
  for (const ReportedVariable& variable : reported) {
    if (!seen.insert(variable.name).second) continue;
    const auto found = positions.find(variable.name);
    if (found == positions.end()) {
      ++plan.missing;
    } else if (running[static_cast<size_t>(found->second)].value != variable.value) {
      plan.writes.push_back({found->second, variable.value});
    }
  }
  std::sort(plan.writes.begin(), plan.writes.end(),
            [](const VariableWrite& a, const VariableWrite& b) { return a.position < b.position; });
  return plan;
}

std::u16string RestoreQuestion(const RestorePlan& plan, std::u16string_view label) {
  const auto count = [](size_t value) { return DecimalText(static_cast<int64_t>(value)); };
  std::u16string text = count(plan.writes.size()) + u"個の変数を書き換えて、ラベル " + std::u16string(label) +
                        u" にジャンプします。よろしいですか？";
  if (plan.missing > 0) text += u"\n（このゲームにない変数 " + count(plan.missing) + u"個は飛ばします）";
  return text;
}

}  // namespace vnscope
