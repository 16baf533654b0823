// The parts of a report's page that triage adds around the report itself:
// the game's state, the assignee and comment forms, the comments and the
// history. Everything a person wrote is escaped here.
#pragma once
#include <string>
#include <string_view>
#include <vector>

#include "server/game_state.h"
#include "server/store.h"

namespace vnscope::server {

// The "ゲーム状態" section; empty when the package holds none of its entries.
std::string RenderGameStateSection(const GameStateEntries& state);

// The assignee form and the comment form (outside the part of the page that
// refreshes itself, so that nothing typed is lost). `user_name` is the name
// this browser gave; without one the comment form asks for it.
std::string RenderTriageForms(const std::string& name, const std::string& form_token, const std::string& assignee,
                              const std::string& user_name);

// The comments, oldest first.
std::string RenderComments(const std::vector<ReportNote>& notes);

// State changes, comments and assignee changes in one table.
std::string RenderHistory(const ReportDetails& details);

// The header's form in which a browser gives the name it comments and takes
// reports under; `back` is where the form returns to.
std::string RenderNameForm(const std::string& form_token, const std::string& user_name, std::string_view back);

}  // namespace vnscope::server
