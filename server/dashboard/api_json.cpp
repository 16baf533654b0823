#include "server/dashboard/api_json.h"

#include "server/dashboard/history.h"
#include "server/dashboard/pages.h"
#include "server/web_text.h"

namespace vnscope::server {
namespace {

Json NameOrNull(const std::string& name) { return name.empty() ? Json(nullptr) : Json(name); }

Json HistoryJson(const ReportDetails& details) {
  Json history = Json::array();
  for (const HistoryEntry& entry : MergedHistory(details)) {
    Json item = {{"time", IsoTimeWithOffset(entry.time_ms)}, {"kind", entry.kind}, {"by", NameOrNull(entry.by)}};
    if (entry.kind == kHistoryState) {
      item["from"] = *entry.from_state;
      item["to"] = *entry.to_state;
    } else if (entry.kind == kNoteAssignee) {
      item["from"] = NameOrNull(entry.from);
      item["to"] = NameOrNull(entry.to);
    } else {
      item["text"] = entry.text;
    }
    item["source"] = entry.source;
    history.push_back(std::move(item));
  }
  return history;
}

}  // namespace

Json ReportRowJson(const ReportRow& row) {
  return {{"name", row.name},
          {"title", row.title},
          {"reporter", row.reporter},
          {"state", row.state},
          {"state_label", StateLabel(row.state)},
          {"flags", row.flags},
          {"received", IsoTimeWithOffset(row.received_ms)},
          {"assignee", NameOrNull(row.assignee)}};
}

Json ReportDetailsJson(const ReportDetails& details, const std::optional<std::string>& text,
                       const std::vector<std::string>& entries, const GameStateEntries& game_state) {
  Json json = ReportRowJson(details.row);
  json["text"] = text ? Json(*text) : Json(nullptr);
  json["entries"] = entries;
  json["history"] = HistoryJson(details);
  if (game_state.lines) {
    Json lines = Json::object();
    for (const auto& [key, value] : *game_state.lines) lines[key] = value;
    json["gamestate"] = std::move(lines);
  }
  if (game_state.variables) {
    Json variables = Json::array();
    for (const GameVariable& variable : *game_state.variables) {
      variables.push_back({{"index", variable.index},
                           {"name", variable.name},
                           {"value", variable.value},
                           {"register", variable.register_number ? Json(*variable.register_number) : Json(nullptr)}});
    }
    json["variables"] = std::move(variables);
  }
  return json;
}

std::string JsonBody(const Json& json) { return json.dump(-1, ' ', false, Json::error_handler_t::replace); }

}  // namespace vnscope::server
