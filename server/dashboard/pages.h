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
  int64_t page = 1;  // from 1
  ReportPage data;
  uint64_t revision = 0;
  std::string form_token;  // for the logout form
  bool logged_in = false;
};
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
  uint64_t revision = 0;
  std::string form_token;
  bool logged_in = false;
};
std::string RenderReportPage(const ReportPageModel& model);

std::string RenderLoginPage(std::string_view message, std::string_view next);

// A page for a failure, with `message` as its text.
std::string RenderMessagePage(std::string_view title, std::string_view message);

// The state's label in UTF-8, or its number as 0xXXXXXXXX when it has none.
std::string StateLabel(uint32_t state);

// The dashboard's style sheet: the layout and one rule per named state with
// the browser's colour.
std::string DashboardStylesheet();
// The dashboard's script: local times and live updates.
std::string_view DashboardScript();

}  // namespace vnscope::server
