// A report's history as people read it: state changes, comments and
// assignee changes in one list, in the order they happened. The report page
// and the JSON API show the same list.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "server/store.h"

namespace vnscope::server {

inline constexpr char kHistoryState[] = "state";

struct HistoryEntry {
  int64_t time_ms = 0;
  std::string kind;  // kHistoryState, kNoteComment or kNoteAssignee
  std::string by;
  std::string source;  // kSourceBrowser, kSourceDashboard or kSourceApi
  std::string peer;
  // state: the states; assignee: who had it and who has it (empty: nobody).
  std::optional<uint32_t> from_state, to_state;
  std::string from, to;
  std::string text;  // comment
};

// Oldest first; of changes in the same millisecond, state changes first.
std::vector<HistoryEntry> MergedHistory(const ReportDetails& details);

}  // namespace vnscope::server
