#include "report/protocol/game_state_text.h"

#include <algorithm>
#include <charconv>

namespace vnscope {
namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

std::string_view WithoutByteOrderMark(std::string_view text) {
  if (text.starts_with(kByteOrderMark)) text.remove_prefix(kByteOrderMark.size());
  return text;
}

std::optional<int64_t> WholeNumber(std::string_view text) {
  int64_t value = 0;
  if (text.empty()) return std::nullopt;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

// Reads one CSV record at `*at` into `fields` and moves past its line end.
// False when a quoted field is not closed or is followed by anything but a
// comma or the line end.
bool ReadRecord(std::string_view text, size_t* at, std::vector<std::string>* fields) {
  fields->clear();
  size_t i = *at;
  for (;;) {
    std::string field;
    if (i < text.size() && text[i] == '"') {
      for (++i;; ++i) {
        if (i >= text.size()) return false;
        if (text[i] != '"') {
          field.push_back(text[i]);
        } else if (i + 1 < text.size() && text[i + 1] == '"') {
          field.push_back('"');
          ++i;
        } else {
          ++i;
          break;
        }
      }
    } else {
      const size_t end = std::min(text.find_first_of(",\r\n", i), text.size());
      field.assign(text.substr(i, end - i));
      i = end;
    }
    fields->push_back(std::move(field));
    if (i < text.size() && text[i] == ',') {
      ++i;
      continue;
    }
    if (text.substr(i, 2) == "\r\n") i += 2;
    else if (i < text.size() && text[i] == '\n') ++i;
    else if (i < text.size()) return false;
    *at = i;
    return true;
  }
}

}  // namespace

std::optional<std::vector<VariableRow>> ParseVariableRows(std::string_view text) {
  text = WithoutByteOrderMark(text);
  size_t at = 0;
  std::vector<std::string> fields;
  if (!ReadRecord(text, &at, &fields) || fields != std::vector<std::string>{"index", "name", "value", "register"}) {
    return std::nullopt;
  }
  std::vector<VariableRow> rows;
  while (at < text.size()) {
    if (!ReadRecord(text, &at, &fields) || fields.size() != 4) return std::nullopt;
    const auto index = WholeNumber(fields[0]);
    const auto value = WholeNumber(fields[2]);
    if (!index || !value) return std::nullopt;
    VariableRow& row = rows.emplace_back();
    row.index = *index;
    row.name = std::move(fields[1]);
    row.value = *value;
    if (!fields[3].empty()) {
      row.register_number = WholeNumber(fields[3]);
      if (!row.register_number) return std::nullopt;
    }
  }
  return rows;
}

std::vector<std::pair<std::string, std::string>> ParseGameStateLines(std::string_view text) {
  std::vector<std::pair<std::string, std::string>> lines;
  std::string_view rest = WithoutByteOrderMark(text);
  while (!rest.empty()) {
    const size_t end = std::min(rest.find('\n'), rest.size());
    std::string_view line = rest.substr(0, end);
    rest.remove_prefix(std::min(end + 1, rest.size()));
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.empty()) continue;
    const size_t colon = line.find(": ");
    if (colon == std::string_view::npos) {
      const bool bare = line.back() == ':';
      lines.emplace_back(std::string(bare ? line.substr(0, line.size() - 1) : line), std::string());
    } else {
      lines.emplace_back(std::string(line.substr(0, colon)), std::string(line.substr(colon + 2)));
    }
  }
  return lines;
}

}  // namespace vnscope
