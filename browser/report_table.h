// What the library knows of the reports stored on the report server: one
// record per report name, filled by the list fetch and shown through the
// browser's four tab filters (their rules, labels and colours are shared
// with the server's dashboard in report_states.h).
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "report/protocol/report_states.h"
#include "report/protocol/report_records.h"

namespace vnscope {

// Keyed by the server's report name. std::u16string compares by code unit, so
// the browser lists reports in ascending UTF-16 order of their names. The
// table has no lock: the browser keeps its worker and its UI thread apart.
class ReportTable {
 public:
  using Records = ReportRecords;

  void Clear() { records_.clear(); }
  // The record of that name, added with an empty title and reporter, flags 0
  // and state New when missing. The reference holds until the next name is
  // added; rows that point into the table must be filled again after it.
  ReportRecord& FindOrAdd(std::u16string_view name) { return records_[name]; }
  const Records& records() const { return records_; }
  // Takes the records of a finished list fetch as the whole table.
  void Replace(Records&& records) { records_ = std::move(records); }

 private:
  Records records_;
};

// Whether the tab `filter` lists the report. An index outside 0 to 3 lists
// every report.
inline bool ReportPassesFilter(const ReportRecord& record, int filter) {
  return ReportPassesFilter(record.flags, record.state, filter);
}

// What the browser's state column shows: the label, or for a state without
// one its value in decimal (as the unsigned 32 bits the server stores), so a
// state from a newer server is still told apart from the others.
inline std::u16string ReportStateText(uint32_t state) {
  const std::u16string_view label = ReportStateLabel(state);
  if (!label.empty()) return std::u16string(label);
  const std::string digits = std::to_string(state);
  return std::u16string(digits.begin(), digits.end());
}

}  // namespace vnscope
