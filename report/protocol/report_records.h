// What a list fetch learnt of the reports stored on the server: one record
// per report name, in ascending UTF-16 order of the names, with every name,
// title and reporter kept in one pool. Thousands of reports fill it with a
// few allocations, where a tree of strings took four for each report.
#pragma once
#include <algorithm>
#include <cstddef>
#include <string_view>
#include <utility>
#include <vector>

#include "report/protocol/report_summary.h"
#include "report/protocol/text_pool.h"

namespace vnscope {

class ReportRecords {
 public:
  // The report's name and record; both view the pool.
  using Entry = std::pair<std::u16string_view, ReportRecord>;
  using const_iterator = std::vector<Entry>::const_iterator;

  ReportRecords() = default;
  // Moving keeps every view valid; a copy would view the other's pool.
  ReportRecords(ReportRecords&&) noexcept = default;
  ReportRecords& operator=(ReportRecords&&) noexcept = default;
  ReportRecords(const ReportRecords&) = delete;
  ReportRecords& operator=(const ReportRecords&) = delete;

  // The record of that name, added with empty texts, flags 0 and state New
  // when missing. The server lists in name order, so a new name usually goes
  // on the end; one out of order is put in its place. The reference holds
  // until the next name is added.
  ReportRecord& operator[](std::u16string_view name) {
    if (entries_.empty() || entries_.back().first < name) return Append(name);
    const auto place = LowerBound(name);
    if (place != entries_.end() && place->first == name) return place->second;
    return entries_.insert(place, Entry{texts_.Keep(name), ReportRecord{}})->second;
  }

  // Fills `record` (one of these) from a ReportSummary payload, its texts
  // kept here; see ParseReportSummary.
  bool Summarise(std::span<const uint8_t> payload, ReportRecord* record) {
    return ParseReportSummary(payload, texts_, record);
  }

  const_iterator find(std::u16string_view name) const {
    const auto place = std::lower_bound(begin(), end(), name, NameBefore);
    return place != end() && place->first == name ? place : end();
  }
  size_t count(std::u16string_view name) const { return find(name) != end() ? 1 : 0; }
  size_t size() const { return entries_.size(); }
  bool empty() const { return entries_.empty(); }
  const_iterator begin() const { return entries_.begin(); }
  const_iterator end() const { return entries_.end(); }

  void clear() {
    entries_.clear();
    texts_.Clear();
  }

 private:
  static bool NameBefore(const Entry& entry, std::u16string_view name) { return entry.first < name; }

  ReportRecord& Append(std::u16string_view name) {
    return entries_.emplace_back(texts_.Keep(name), ReportRecord{}).second;
  }
  std::vector<Entry>::iterator LowerBound(std::u16string_view name) {
    return std::lower_bound(entries_.begin(), entries_.end(), name, NameBefore);
  }

  std::vector<Entry> entries_;
  TextPool texts_;
};

}  // namespace vnscope
