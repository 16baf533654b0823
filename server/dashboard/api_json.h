// What the JSON API answers, built with nlohmann::json: a report's row, its
// details, and error bodies. Text that is not well-formed UTF-8 never reaches
// a body (the store holds well-formed text; anything else is replaced).
#pragma once
#include <nlohmann/json.hpp>

#include <optional>
#include <string>
#include <vector>

#include "server/game_state.h"
#include "server/store.h"

namespace vnscope::server {

using Json = nlohmann::ordered_json;

// "name", "title", "reporter", "state", "state_label", "flags", "received",
// "assignee" (null: nobody).
Json ReportRowJson(const ReportRow& row);

// The row's fields, then "text" (null without one), "entries", "history",
// and "gamestate" and "variables" when the package holds them.
Json ReportDetailsJson(const ReportDetails& details, const std::optional<std::string>& text,
                       const std::vector<std::string>& entries, const GameStateEntries& game_state);

// The body as sent: UTF-8, with anything ill-formed replaced.
std::string JsonBody(const Json& json);

}  // namespace vnscope::server
