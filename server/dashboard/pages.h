// The dashboard's pages, rendered on the server from what the store holds.
// Every text a sender wrote (titles, reporters, report texts, object cells)
// and every request value shown back is escaped here, and the pages carry no
// inline script or style: the Content-Security-Policy forbids both.
#pragma once
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "server/game_state.h"
#include "server/store.h"

namespace vnscope::server {

// The tabs in the order the dashboard shows them: the open reports of each
// kind before all of them, "TXT未処理" first and selected by default.
inline constexpr int kDashboardTabOrder[] = {1, 0, 3, 2};
inline constexpr int64_t kReportsPerPage = 50;
// The last page a list may ask for: its offset still fits.
inline constexpr int64_t kMaxListPage = INT64_MAX / kReportsPerPage;

struct ListPageModel {
  int filter = 1;
  std::string search;
  std::string label;     // exact; empty: any
  std::string assignee;  // exact; empty: anyone
  bool unassigned = false;
  int64_t page = 1;  // from 1
  ReportPage data;
  uint64_t revision = 0;
  std::string form_token;  // for the logout and name forms
  bool logged_in = false;
  std::string user_name;   // the name this browser gave; empty: none yet
  std::vector<std::string> failing_webhooks;  // URLs failing for over an hour
};
// The list's query (tab, search, filters and page from 2) as the page's own
// links write it, with `&` as in a URL (not escaped for HTML).
std::string ListQuery(const ListPageModel& model, int filter, int64_t page);
std::string RenderListPage(const ListPageModel& model);

// Pages a tab of `count` reports takes; at least 1.
int64_t PageCount(int64_t count);

struct ImageSize {
  uint32_t width = 0;
  uint32_t height = 0;
};
// Width and height from a PNG file's header; nothing for anything else.
std::optional<ImageSize> PngSize(std::span<const uint8_t> png);

// Rows of the object list ("objectlist.csv" decoded to UTF-8): every cell in
// double quotes followed by a comma, rows ended by a line feed, no escaping.
// A row that does not have that shape is kept whole as one cell.
std::vector<std::vector<std::string>> ParseObjectList(std::string_view text);

struct ReportPageModel {
  ReportDetails details;  // the package itself is not needed
  std::optional<std::string> text;  // decoded; nothing without the entry
  bool has_snapshot = false;
  std::optional<ImageSize> snapshot_size;
  std::optional<std::vector<std::vector<std::string>>> objects;
  GameStateEntries game_state;
  uint64_t revision = 0;
  std::string form_token;
  bool logged_in = false;
  std::string user_name;
};
std::string RenderReportPage(const ReportPageModel& model);

std::string RenderLoginPage(std::string_view message, std::string_view next);

// A page for a failure, with `message` as its text.
std::string RenderMessagePage(std::string_view title, std::string_view message);

// The state's label on its colour, wherever a state is shown.
std::string StateBadge(uint32_t state);
// A time the script shows in the reader's zone.
std::string TimeElement(int64_t unix_ms);

// The dashboard's style sheet: the layout and one rule per named state with
// the browser's colour.
std::string DashboardStylesheet();
// The dashboard's script: local times and live updates.
std::string_view DashboardScript();

}  // namespace vnscope::server
