// The game's state as a report package carries it: "gamestate.txt" (one
// `key: value` line each), "variables.csv" (the variable table) and
// "executionlog.txt" (the log's tail). Read here once for the dashboard's
// page and the JSON API, so that both show the same thing.
#pragma once
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "report/protocol/game_state_text.h"
#include "report/protocol/package_entry_names.h"

namespace vnscope::server {

// The lines of "gamestate.txt", the text made well-formed UTF-8 first.
std::vector<std::pair<std::string, std::string>> ParseGameState(std::span<const uint8_t> entry);

// The `label` line of "gamestate.txt", or empty.
std::string GameStateLabel(std::span<const uint8_t> entry);

using GameVariable = VariableRow;

// The rows of "variables.csv", the text made well-formed UTF-8 first.
std::optional<std::vector<GameVariable>> ParseVariables(std::span<const uint8_t> entry);

// Everything of the game's state a package holds; each part only when its
// entry is there.
struct GameStateEntries {
  std::optional<std::vector<std::pair<std::string, std::string>>> lines;
  std::optional<std::vector<GameVariable>> variables;
  bool variables_unreadable = false;  // the entry is there but does not parse
  std::optional<std::string> log;     // well-formed UTF-8
  bool any() const { return lines || variables || variables_unreadable || log; }
};
GameStateEntries ReadGameState(std::span<const uint8_t> package);

}  // namespace vnscope::server
