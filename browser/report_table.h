// What the library knows of the reports stored on the report server: one
// record per report name, filled by the list fetch and shown through the
// browser's four tab filters (their rules, labels and colours are shared
// with the server's dashboard in report_states.h).
#pragma once
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "report/protocol/report_states.h"
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

// Whether the tab `filter` lists the report. An index outside 0 to 3 lists
// every report.
inline bool ReportPassesFilter(const ReportRecord& record, int filter) {
  return ReportPassesFilter(record.flags, record.state, filter);
}

}  // namespace vnscope
