// UTF-16 texts kept in large blocks that never move. A view into the pool
// stays valid until Clear or the pool's end, also when the pool is moved, so
// a list of thousands of reports costs a handful of allocations instead of
// one or two for every text.
#pragma once
#include <algorithm>
#include <cstddef>
#include <memory>
#include <string_view>
#include <utility>
#include <vector>

namespace vnscope {

class TextPool {
 public:
  TextPool() = default;
  TextPool(const TextPool&) = delete;
  TextPool& operator=(const TextPool&) = delete;
  TextPool(TextPool&& other) noexcept { *this = std::move(other); }
  TextPool& operator=(TextPool&& other) noexcept {
    blocks_ = std::move(other.blocks_);
    next_ = std::exchange(other.next_, nullptr);
    free_ = std::exchange(other.free_, 0);
    other.blocks_.clear();
    return *this;
  }

  // Room for `units` code units that stays where it is; null for 0.
  char16_t* Allocate(size_t units) {
    if (units == 0) return nullptr;
    if (units > free_) {
      // A long text gets a block of its own, and the current block stays in
      // use for the short ones after it.
      if (units > kBlockUnits / 4) return blocks_.emplace_back(new char16_t[units]).get();
      next_ = blocks_.emplace_back(new char16_t[kBlockUnits]).get();
      free_ = kBlockUnits;
    }
    char16_t* room = next_;
    next_ += units;
    free_ -= units;
    return room;
  }

  std::u16string_view Keep(std::u16string_view text) {
    char16_t* room = Allocate(text.size());
    if (room == nullptr) return {};
    std::copy(text.begin(), text.end(), room);
    return {room, text.size()};
  }

  void Clear() {
    blocks_.clear();
    next_ = nullptr;
    free_ = 0;
  }

 private:
  static constexpr size_t kBlockUnits = 16 * 1024;

  std::vector<std::unique_ptr<char16_t[]>> blocks_;
  char16_t* next_ = nullptr;  // the free room of the last block of kBlockUnits
  size_t free_ = 0;
};

}  // namespace vnscope
