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

#include "report/protocol/package_entry_names.h"

namespace vnscope::server {

// The lines of "gamestate.txt" in their order, each split at its first ": "
// (a line without one is a key with an empty value). CRLF or LF line ends;
// the text is made well-formed UTF-8 first.
std::vector<std::pair<std::string, std::string>> ParseGameState(std::span<const uint8_t> entry);

// The `label` line of "gamestate.txt", or empty.
std::string GameStateLabel(std::span<const uint8_t> entry);

struct GameVariable {
  int64_t index = 0;
  std::string name;  // with its sigil
  int64_t value = 0;
  std::optional<int64_t> register_number;  // none: the field was empty
  bool operator==(const GameVariable&) const = default;
};

// The rows of "variables.csv" after its header line: a byte-order mark first
// or not, fields quoted with double quotes (inner quotes doubled) when they
// hold a comma, a quote or a line break, CRLF or LF line ends. Nothing when
// the header is not `index,name,value,register` or a row does not have four
// fields with whole decimal numbers where numbers belong: a package from
// another writer shows as unreadable rather than as made-up numbers.
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
