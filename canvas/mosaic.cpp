#include "canvas/mosaic.h"

#include <algorithm>
#include <cstddef>
#include <new>
#include <vector>

#include "canvas/canvas_model.h"
#include "canvas/layer_stack.h"

namespace vnscope {
namespace {

// The opaque pixel of the rounded mean colour of `rows` x `columns` composite
// pixels from `first` on.
uint32_t MeanOf(const uint32_t* first, int32_t stride, int32_t columns, int32_t rows) {
  uint32_t blue = 0, green = 0, red = 0;
  for (int32_t y = 0; y < rows; ++y, first += stride)
    for (int32_t x = 0; x < columns; ++x) {
      const uint32_t pixel = first[x];
      blue += pixel & 0xFF;
      green += (pixel >> 8) & 0xFF;
      red += (pixel >> 16) & 0xFF;
    }
  const auto count = static_cast<uint32_t>(rows * columns);
  auto mean = [count](uint32_t sum) { return (sum + count / 2) / count; };
  return 0xFF000000u | mean(red) << 16 | mean(green) << 8 | mean(blue);
}

}  // namespace

void DrawMosaic(int32_t x0, int32_t y0, int32_t x1, int32_t y1) {
  if (CurrentLayerIndex() == 0) return;
  Layer* layer = CurrentLayer();
  const Layer& composite = CompositeImage();
  if (layer == nullptr || layer->width != composite.width || layer->height != composite.height) return;
  const int32_t width = composite.width, height = composite.height;
  const int32_t left = std::max(std::min(x0, x1), 0), right = std::min(std::max(x0, x1), width - 1);
  const int32_t top = std::max(std::min(y0, y1), 0), bottom = std::min(std::max(y0, y1), height - 1);
  if (left > right || top > bottom) return;
  // Whole blocks: from the block holding the first pixel to the end of the
  // block holding the last.
  const int32_t blockLeft = left / kMosaicBlock * kMosaicBlock;
  const int32_t blockRight = std::min((right / kMosaicBlock + 1) * kMosaicBlock, width);
  const int32_t blockTop = top / kMosaicBlock * kMosaicBlock;
  const int32_t blockBottom = std::min((bottom / kMosaicBlock + 1) * kMosaicBlock, height);
  ReserveRecording(*layer, static_cast<size_t>(blockRight - blockLeft) * static_cast<size_t>(blockBottom - blockTop));
  static thread_local std::vector<uint32_t> row;
  try {
    row.resize(static_cast<size_t>(blockRight - blockLeft));
  } catch (const std::bad_alloc&) {
    return;
  }
  for (int32_t blockY = blockTop; blockY < blockBottom; blockY += kMosaicBlock) {
    const int32_t rows = std::min(kMosaicBlock, height - blockY);
    for (int32_t blockX = blockLeft; blockX < blockRight; blockX += kMosaicBlock) {
      const int32_t columns = std::min(kMosaicBlock, width - blockX);
      const uint32_t mean =
          MeanOf(composite.pixels.data() + static_cast<size_t>(blockY) * width + blockX, width, columns, rows);
      std::fill_n(row.begin() + (blockX - blockLeft), columns, mean);
    }
    // The whole width of the blocks in one run per row.
    for (int32_t y = blockY; y < blockY + rows; ++y)
      SetLayerRun(*layer, blockLeft, y, row.data(), blockRight - blockLeft);
  }
}

}  // namespace vnscope
