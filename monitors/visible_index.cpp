#include "monitors/visible_index.h"

#include <bit>

namespace vnscope {

void VisibleIndex::Add(size_t top, int64_t delta) {
  for (size_t i = top + 1; i < tree_.size(); i += i & (~i + 1)) {
    tree_[i] = static_cast<size_t>(static_cast<int64_t>(tree_[i]) + delta);
  }
  total_ = static_cast<size_t>(static_cast<int64_t>(total_) + delta);
}

VisibleIndex::Position VisibleIndex::Find(size_t visible) const {
  // Descend the tree for the last entry whose start is at or before
  // `visible`; what is left over is the offset inside that entry.
  const size_t size = tree_.size() - 1;
  size_t top = 0;
  size_t remaining = visible;
  for (size_t step = std::bit_floor(size); step != 0; step >>= 1) {
    if (top + step <= size && tree_[top + step] <= remaining) {
      top += step;
      remaining -= tree_[top];
    }
  }
  return {top, remaining};
}

}  // namespace vnscope
