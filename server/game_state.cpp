#include "server/game_state.h"

#include "report/protocol/limits.h"
#include "server/web_text.h"
#include "server/package.h"

namespace vnscope::server {
namespace {

std::string AsText(std::span<const uint8_t> entry) {
  return DecodeText(entry, "UTF-8");
}

}  // namespace

std::vector<std::pair<std::string, std::string>> ParseGameState(std::span<const uint8_t> entry) {
  return ParseGameStateLines(AsText(entry));
}

std::string GameStateLabel(std::span<const uint8_t> entry) {
  for (auto& [key, value] : ParseGameState(entry)) {
    if (key == "label") return value;
  }
  return {};
}

std::optional<std::vector<GameVariable>> ParseVariables(std::span<const uint8_t> entry) {
  return ParseVariableRows(AsText(entry));
}

GameStateEntries ReadGameState(std::span<const uint8_t> package) {
  GameStateEntries state;
  std::vector<uint8_t> entry;
  const uint64_t bound = limits::kMaxReplyPayload;
  if (ReadPackageEntry(package, kGameStateEntry, bound, &entry) == EntryStatus::kFound) state.lines = ParseGameState(entry);
  if (ReadPackageEntry(package, kVariablesEntry, bound, &entry) == EntryStatus::kFound) {
    state.variables = ParseVariables(entry);
    state.variables_unreadable = !state.variables;
  }
  if (ReadPackageEntry(package, kExecutionLogEntry, bound, &entry) == EntryStatus::kFound) state.log = AsText(entry);
  return state;
}

}  // namespace vnscope::server
