// A report's game state read back: the entries "variables.csv" and
// "gamestate.txt" as the browser fetches them from the server, and what
// putting a running game into that state takes.
#pragma once
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "report/state/game_state_entries.h"

namespace vnscope {

struct ReportedVariable {
  std::u16string name;
  int32_t value = 0;
};

// The variables of a "variables.csv", in its order. None when the bytes are
// not such an entry: not UTF-8, another first line, a line without its four
// fields, a value that is not a 32-bit decimal number. The byte-order mark
// and a last line end may be missing; LF alone ends a line too.
std::optional<std::vector<ReportedVariable>> ParseVariablesEntry(std::span<const uint8_t> entry);

// The value of `key` in a "gamestate.txt": what follows the first "key: "
// line up to its line end; none when the entry has no such line or is not
// UTF-8.
std::optional<std::u16string> GameStateValue(std::span<const uint8_t> entry, std::string_view key);

// One write the restore makes: the running game's variable at `position`
// gets `value`.
struct VariableWrite {
  int32_t position = 0;
  int32_t value = 0;
};

struct RestorePlan {
  std::vector<VariableWrite> writes;  // in the running game's table order
  size_t missing = 0;  // names of the report the running game does not have
};

// Compares by full name: a reported variable whose value differs from the
// running game's becomes a write; one whose name the game lacks counts as
// missing. A name listed twice counts once, at its first place, in either
// table, as the variable list itself shows a repeated name once.
RestorePlan PlanRestore(std::span<const GameVariable> running, std::span<const ReportedVariable> reported);

// The question before the restore: "N個の変数を書き換えて、ラベル LABEL に
// ジャンプします。よろしいですか？" and, when some are missing, a second
// line "（このゲームにない変数 M個は飛ばします）".
std::u16string RestoreQuestion(const RestorePlan& plan, std::u16string_view label);

}  // namespace vnscope
