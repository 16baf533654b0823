// The literal passes run over the canvas's current stack into a composite of
// their own, kept between runs as the canvas keeps its composite (neither is
// cleared before a run), so the two can be compared byte for byte after any
// sequence of edits.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "bench/native/canvas/literal_passes.h"
#include "canvas/layer_stack.h"

namespace vnscope::test {

class LiteralComposite {
 public:
  // Zeros, as the canvas's composite holds when it opens.
  void Open(int32_t width, int32_t height) {
    width_ = width;
    height_ = height;
    bytes_.assign(static_cast<size_t>(width) * height * 4, 0);
  }

  // Every layer of the stack from the base up; false at the first that fails.
  bool Recomposite() {
    std::vector<literal::Plane> planes;
    for (int32_t i = 0; i < LayerCount(); ++i)
      planes.push_back({LayerAt(i)->width, LayerAt(i)->height,
                        reinterpret_cast<const uint8_t*>(LayerAt(i)->pixels.data())});
    return literal::Recomposite(planes, bytes_.data(), width_, height_);
  }

  // The first byte where the canvas's composite differs; kSame when none.
  static constexpr size_t kSame = ~size_t{0};
  size_t FirstDifference() const {
    const Layer& composite = CompositeImage();
    const auto* fast = reinterpret_cast<const uint8_t*>(composite.pixels.data());
    if (composite.pixels.size() * 4 != bytes_.size()) return 0;
    for (size_t i = 0; i < bytes_.size(); ++i)
      if (fast[i] != bytes_[i]) return i;
    return kSame;
  }

 private:
  int32_t width_ = 0;
  int32_t height_ = 0;
  std::vector<uint8_t> bytes_;
};

}  // namespace vnscope::test
