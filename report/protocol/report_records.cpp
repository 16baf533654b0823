#include "report/protocol/report_records.h"

#include <cstdint>
#include <numeric>

namespace vnscope {

void ReportRecords::Settle() {
  if (unsettled_) {
    // Arrival order within a name decides which summary it keeps.
    std::vector<uint32_t> order(entries_.size());
    std::iota(order.begin(), order.end(), 0u);
    std::stable_sort(order.begin(), order.end(),
                     [this](uint32_t a, uint32_t b) { return entries_[a].first < entries_[b].first; });
    std::vector<Entry> settled;
    settled.reserve(entries_.size());
    for (size_t run = 0; run < order.size();) {
      Entry kept{entries_[order[run]].first, ReportRecord{}};
      size_t end = run;
      for (; end < order.size() && entries_[order[end]].first == kept.first; ++end) {
        if (order[end] >= summarised_.size() || summarised_[order[end]]) kept.second = entries_[order[end]].second;
      }
      settled.push_back(kept);
      run = end;
    }
    entries_ = std::move(settled);
    unsettled_ = false;
  }
  summarised_.clear();
}

}  // namespace vnscope
