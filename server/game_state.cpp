#include "server/game_state.h"

#include <charconv>

#include "report/protocol/limits.h"
#include "server/dashboard/web_text.h"
#include "server/package.h"

namespace vnscope::server {
namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

std::string_view WithoutByteOrderMark(std::string_view text) {
  if (text.substr(0, kByteOrderMark.size()) == kByteOrderMark) text.remove_prefix(kByteOrderMark.size());
  return text;
}

std::optional<int64_t> WholeNumber(std::string_view text) {
  int64_t value = 0;
  const char* end = text.data() + text.size();
  if (text.empty()) return std::nullopt;
  const auto [at, error] = std::from_chars(text.data(), end, value);
  if (error != std::errc() || at != end) return std::nullopt;
  return value;
}

// The next record of a CSV text, consumed from `text`: its fields, or
// nothing when a quoted field is not closed.
std::optional<std::vector<std::string>> NextRecord(std::string_view* text) {
  std::vector<std::string> fields(1);
  std::string_view& rest = *text;
  bool field_start = true;
  while (!rest.empty()) {
    const char c = rest.front();
    if (field_start && c == '"') {
      rest.remove_prefix(1);
      for (;;) {
        const size_t quote = rest.find('"');
        if (quote == std::string_view::npos) return std::nullopt;
        fields.back().append(rest.substr(0, quote));
        rest.remove_prefix(quote + 1);
        if (rest.empty() || rest.front() != '"') break;
        fields.back() += '"';
        rest.remove_prefix(1);
      }
      field_start = false;
      continue;
    }
    rest.remove_prefix(1);
    if (c == ',') {
      fields.emplace_back();
      field_start = true;
    } else if (c == '\n') {
      break;
    } else if (c == '\r' && (rest.empty() || rest.front() == '\n')) {
      // the CR of a CRLF
    } else {
      fields.back() += c;
      field_start = false;
    }
  }
  return fields;
}

std::string AsText(std::span<const uint8_t> entry) {
  return DecodeText(entry, "UTF-8");
}

}  // namespace

std::vector<std::pair<std::string, std::string>> ParseGameState(std::span<const uint8_t> entry) {
  std::vector<std::pair<std::string, std::string>> lines;
  const std::string text = AsText(entry);
  std::string_view rest = WithoutByteOrderMark(text);
  while (!rest.empty()) {
    const size_t end = std::min(rest.find('\n'), rest.size());
    std::string_view line = rest.substr(0, end);
    rest.remove_prefix(std::min(end + 1, rest.size()));
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.empty()) continue;
    const size_t colon = line.find(": ");
    if (colon == std::string_view::npos) {
      // "key:" with the empty value and nothing after the colon
      const bool bare = line.back() == ':';
      lines.emplace_back(std::string(bare ? line.substr(0, line.size() - 1) : line), std::string());
    } else {
      lines.emplace_back(std::string(line.substr(0, colon)), std::string(line.substr(colon + 2)));
    }
  }
  return lines;
}

std::string GameStateLabel(std::span<const uint8_t> entry) {
  for (auto& [key, value] : ParseGameState(entry)) {
    if (key == "label") return value;
  }
  return {};
}

std::optional<std::vector<GameVariable>> ParseVariables(std::span<const uint8_t> entry) {
  const std::string text = AsText(entry);
  std::string_view rest = WithoutByteOrderMark(text);
  const auto header = NextRecord(&rest);
  if (!header || *header != std::vector<std::string>{"index", "name", "value", "register"}) return std::nullopt;
  std::vector<GameVariable> variables;
  while (!rest.empty()) {
    const auto fields = NextRecord(&rest);
    if (!fields || fields->size() != 4) return std::nullopt;
    const auto index = WholeNumber((*fields)[0]);
    const auto value = WholeNumber((*fields)[2]);
    if (!index || !value) return std::nullopt;
    GameVariable& variable = variables.emplace_back();
    variable.index = *index;
    variable.name = (*fields)[1];
    variable.value = *value;
    if (!(*fields)[3].empty()) {
      variable.register_number = WholeNumber((*fields)[3]);
      if (!variable.register_number) return std::nullopt;
    }
  }
  return variables;
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
