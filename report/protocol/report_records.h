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
  // when missing. The reference holds until the next name is added.
  ReportRecord& operator[](std::u16string_view name) {
    Settle();
    if (entries_.empty() || entries_.back().first < name) return Append(name);
    const auto place = LowerBound(name);
    if (place != entries_.end() && place->first == name) return place->second;
    return entries_.insert(place, Entry{texts_.Keep(name), ReportRecord{}})->second;
  }

  // The list as the server sends it: a name adds a record on the end, and
  // the summaries after it fill that record (see ParseReportSummary). The
  // server lists in name order, so nothing moves; Settle, which must come
  // before any other use, puts what came out of order in its place.
  void Arrive(std::u16string_view name) {
    if (!entries_.empty() && !(entries_.back().first < name)) unsettled_ = true;
    // Records that were there before hold what they hold.
    summarised_.resize(entries_.size(), true);
    Append(name);
    summarised_.push_back(false);
  }
  // False, with nothing changed, when the payload is unreadable or no name
  // has arrived since the last Settle.
  bool SummariseLast(std::span<const uint8_t> payload) {
    if (summarised_.empty() || !ParseReportSummary(payload, texts_, &entries_.back().second)) return false;
    summarised_.back() = true;
    return true;
  }
  // Sorts the names that arrived out of order in, in one pass however many.
  // A name that came more than once keeps one record, as a lookup by name
  // would have left it: the last summary read for it, or an empty one.
  void Settle();

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
    summarised_.clear();
    unsettled_ = false;
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
  // While the list arrives: whether each record's summary was read, and
  // whether a name came out of order or again.
  std::vector<bool> summarised_;
  bool unsettled_ = false;
};

}  // namespace vnscope
