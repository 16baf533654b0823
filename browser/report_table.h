// What the library knows of the reports stored on the report server: one
// record per report name, filled by the list fetch and shown through the
// browser's four tab filters.
#pragma once
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "report/protocol/report_summary.h"

namespace vnscope {

// Keyed by the server's report name. std::u16string compares by code unit, so
// the browser lists reports in ascending UTF-16 order of their names. The
// table has no lock: the browser keeps its worker and its UI thread apart.
class ReportTable {
 public:
  using Records = ReportRecords;

  void Clear() { records_.clear(); }
  // The record of that name, added with an empty title and reporter, flags 0
  // and state New when missing. The reference stays valid until Clear.
  ReportRecord& FindOrAdd(const std::u16string& name) { return records_[name]; }
  const Records& records() const { return records_; }
  // Takes the records of a finished list fetch as the whole table.
  void Replace(Records records) { records_ = std::move(records); }

 private:
  Records records_;
};

// The browser's tabs, by tab index.
enum ReportFilter : int {
  kAllWithText = 0,           // "TXT全件"
  kOpenWithText = 1,          // "TXT未処理"
  kAllWithSnapshot = 2,       // "SS付き全件"
  kOpenWithSnapshot = 3,      // "SS付き未処理"
};

// Whether the tab `filter` lists the report. An index outside 0 to 3 lists
// every report.
bool ReportPassesFilter(const ReportRecord& record, int filter);

// The state column's text; empty for a state without a name of its own.
std::u16string_view ReportStateLabel(uint32_t state);

// What the browser's state column shows: the label, or for a state without
// one its value in decimal (as the unsigned 32 bits the server stores), so a
// state from a newer server is still told apart from the others.
std::u16string ReportStateText(uint32_t state);

struct ReportColour {
  uint8_t red;
  uint8_t green;
  uint8_t blue;
};

// Text colour of a row in the browser's list; none means the list's default.
std::optional<ReportColour> ReportStateColour(uint32_t state);

}  // namespace vnscope
