// The rows of the browser's list under one tab: the records of the report
// table that the tab's filter lists, in name order, with the text of each
// cell. The list control holds only their count and asks for a cell when it
// draws or is read, so a refill costs one walk of the table however many
// thousand reports the server holds.
#pragma once
#include <string>
#include <vector>

#include "browser/report_table.h"

namespace vnscope {

class ReportRows {
 public:
  using Entry = ReportTable::Records::Entry;

  // Takes the records of `table` that the tab `filter` lists. The rows point
  // into the table: fill again after every change to it, and Clear before
  // the table is replaced.
  void Fill(const ReportTable& table, int filter) {
    rows_.clear();
    for (const Entry& entry : table.records()) {
      if (ReportPassesFilter(entry.second, filter)) rows_.push_back(&entry);
    }
  }
  void Clear() { rows_.clear(); }

  int count() const { return static_cast<int>(rows_.size()); }

  // The row's name and record; null outside the rows.
  const Entry* At(int row) const {
    return row >= 0 && row < count() ? rows_[static_cast<size_t>(row)] : nullptr;
  }

  // What the list shows in the cell: column 0 the report name, 1 the title
  // (the name when the title is empty), 2 the state, 3 the reporter. Empty
  // outside the rows and columns.
  std::u16string Cell(int row, int column) const {
    const Entry* entry = At(row);
    if (entry == nullptr) return {};
    const auto& [name, record] = *entry;
    switch (column) {
      case 0: return std::u16string(name);
      case 1: return std::u16string(record.title.empty() ? name : record.title);
      case 2: return ReportStateText(record.state);
      case 3: return std::u16string(record.reporter);
      default: return {};
    }
  }

 private:
  std::vector<const Entry*> rows_;
};

}  // namespace vnscope
