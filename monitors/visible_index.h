// Where each visible row of a collapsible list sits: a Fenwick tree over the
// number of rows each top-level entry shows, so that finding the entry at a
// visible position and changing one entry's span both take logarithmic time
// however long the list is.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

namespace vnscope {

class VisibleIndex {
 public:
  // Rebuilds the index over `count` entries; `spanOf(i)` is the number of
  // visible rows entry i takes (itself plus its shown members). Linear time.
  template <typename SpanOf>
  void Build(size_t count, SpanOf spanOf) {
    tree_.assign(count + 1, 0);
    total_ = 0;
    for (size_t i = 1; i <= count; ++i) {
      const size_t span = spanOf(i - 1);
      tree_[i] += span;
      total_ += span;
      // Each node passes its sum on to its parent once.
      const size_t parent = i + (i & (~i + 1));
      if (parent <= count) tree_[parent] += tree_[i];
    }
  }

  // Entry `top` now shows `delta` more (or fewer) rows.
  void Add(size_t top, int64_t delta);

  // The entry holding visible row `visible` and the row's offset inside it
  // (0: the entry itself). Only for visible < Count().
  struct Position {
    size_t top;
    size_t offset;
  };
  Position Find(size_t visible) const;

  size_t Count() const { return total_; }

 private:
  std::vector<size_t> tree_ = std::vector<size_t>(1, 0);  // 1-based
  size_t total_ = 0;
};

}  // namespace vnscope
