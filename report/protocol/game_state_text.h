// The game's state as a package carries it, read back: the rows of
// "variables.csv" and the lines of "gamestate.txt". The DLL reads them to
// restore a report's state, the server to show them.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace vnscope {

struct VariableRow {
  int64_t index = 0;
  std::string name;  // UTF-8, with its sigil
  int64_t value = 0;
  std::optional<int64_t> register_number;  // none: the field was empty
  bool operator==(const VariableRow&) const = default;
};

// The rows of "variables.csv" after its header line: a byte-order mark first
// or not, fields quoted with double quotes (inner quotes doubled) when they
// hold a comma, a quote or a line break, CRLF or LF line ends, the last one
// optional. None when the header is not `index,name,value,register`, a quoted
// field is not closed or is followed by anything but a comma or a line end,
// or a row lacks four fields with whole decimal numbers where numbers belong:
// a package from another writer reads as unreadable, never as made-up rows.
std::optional<std::vector<VariableRow>> ParseVariableRows(std::string_view text);

// The lines of "gamestate.txt" in their order, each split at its first ": "
// ("key:" alone is a key with an empty value); a byte-order mark first or not,
// CRLF or LF line ends, empty lines skipped.
std::vector<std::pair<std::string, std::string>> ParseGameStateLines(std::string_view text);

}  // namespace vnscope
