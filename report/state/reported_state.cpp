#include "report/state/reported_state.h"

#include <algorithm>
#include <charconv>
#include <unordered_map>
#include <unordered_set>

#include "report/protocol/utf8_text.h"

namespace vnscope {
namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

std::string_view AsText(std::span<const uint8_t> bytes) {
  return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
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

template <typename Number>
bool ParseNumber(std::string_view text, Number* value) {
  if (text.empty()) return false;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), *value);
  return error == std::errc() && end == text.data() + text.size();
}

}  // namespace

std::optional<std::vector<ReportedVariable>> ParseVariablesEntry(std::span<const uint8_t> entry) {
  std::string_view text = AsText(entry);
  if (text.starts_with(kByteOrderMark)) text.remove_prefix(kByteOrderMark.size());
  size_t at = 0;
  std::vector<std::string> fields;
  if (!ReadRecord(text, &at, &fields) || fields != std::vector<std::string>{"index", "name", "value", "register"}) {
    return std::nullopt;
  }
  std::vector<ReportedVariable> variables;
  while (at < text.size()) {
    int64_t index = 0;
    int32_t registerNumber = 0;
    ReportedVariable variable;
    if (!ReadRecord(text, &at, &fields) || fields.size() != 4 || !ParseNumber(fields[0], &index) ||
        !ParseNumber(fields[2], &variable.value) ||
        (!fields[3].empty() && !ParseNumber(fields[3], &registerNumber))) {
      return std::nullopt;
    }
    auto name = DecodeUtf8(fields[1]);
    if (!name) return std::nullopt;
    variable.name = std::move(*name);
    variables.push_back(std::move(variable));
  }
  return variables;
}

std::optional<std::u16string> GameStateValue(std::span<const uint8_t> entry, std::string_view key) {
  const std::string_view text = AsText(entry);
  for (size_t at = 0; at < text.size();) {
    const size_t end = std::min(text.find('\n', at), text.size());
    std::string_view line = text.substr(at, end - at);
    if (line.ends_with('\r')) line.remove_suffix(1);
    if (line.size() >= key.size() + 2 && line.starts_with(key) && line.substr(key.size(), 2) == ": ") {
      return DecodeUtf8(line.substr(key.size() + 2));
    }
    at = end + 1;
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
