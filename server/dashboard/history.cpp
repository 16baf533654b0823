#include "server/dashboard/history.h"

#include <algorithm>

namespace vnscope::server {

std::vector<HistoryEntry> MergedHistory(const ReportDetails& details) {
  std::vector<HistoryEntry> entries;
  entries.reserve(details.history.size() + details.notes.size());
  for (const StateChange& change : details.history) {
    HistoryEntry& entry = entries.emplace_back();
    entry.time_ms = change.changed_ms;
    entry.kind = kHistoryState;
    entry.by = change.by;
    entry.source = change.source;
    entry.peer = change.peer;
    entry.from_state = change.previous;
    entry.to_state = change.state;
  }
  for (const ReportNote& note : details.notes) {
    HistoryEntry& entry = entries.emplace_back();
    entry.time_ms = note.at_ms;
    entry.kind = note.kind;
    entry.by = note.by;
    entry.source = note.source;
    entry.peer = note.peer;
    if (note.kind == kNoteComment) {
      entry.text = note.text;
    } else {
      entry.from = note.previous;
      entry.to = note.text;
    }
  }
  // Each list is in its own order already; a stable sort keeps it.
  std::stable_sort(entries.begin(), entries.end(),
                   [](const HistoryEntry& a, const HistoryEntry& b) { return a.time_ms < b.time_ms; });
  return entries;
}

}  // namespace vnscope::server
