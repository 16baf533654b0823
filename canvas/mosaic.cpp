#include "canvas/mosaic.h"

#include <algorithm>
#include <cstddef>
#include <new>
#include <vector>

#include "canvas/layer_stack.h"

namespace vnscope {
namespace {

static_assert(kMosaicBlock * kMosaicBlock * 255 <= 0xFFFF, "a block's channel sum must fit in 16 bits");

// The opaque pixel of the rounded mean colour of `count` pixels whose blue
// and red were summed side by side in the halves of `blueRed`.
uint32_t MeanPixel(uint32_t blueRed, uint32_t green, uint32_t count) {
  auto mean = [count](uint32_t sum) { return (sum + count / 2) / count; };
  return 0xFF000000u | mean(blueRed >> 16) << 16 | mean(green) << 8 | mean(blueRed & 0xFFFFu);
}

// Sums each of `span` columns down `rows` composite rows from `first` on:
// blue and red side by side in the halves of `blueRed`, green alone. With the
// height a constant (a whole block) and the sums known not to overlap the
// composite, the compiler sums several columns at once.
template <int32_t kRows>
void SumColumns(const uint32_t* __restrict first, int32_t stride, int32_t rows, int32_t span,
                uint32_t* __restrict blueRed, uint32_t* __restrict green) {
  const int32_t height = kRows > 0 ? kRows : rows;
  for (int32_t x = 0; x < span; ++x) {
    uint32_t columnBlueRed = 0, columnGreen = 0;
    const uint32_t* pixel = first + x;
    for (int32_t y = 0; y < height; ++y, pixel += stride) {
      columnBlueRed += *pixel & 0x00FF00FFu;
      columnGreen += (*pixel >> 8) & 0xFFu;
    }
    blueRed[x] = columnBlueRed;
    green[x] = columnGreen;
  }
}

// Fills `row` with the means of one row of blocks: `rows` composite rows from
// `first` on, `row.size()` pixels wide, the columns summed first and then
// block by block; a block's sum of at most 64 x 255 fits in 16 bits.
void BlockMeans(const uint32_t* first, int32_t stride, int32_t rows, std::vector<uint32_t>& row,
                std::vector<uint32_t>& columns) {
  const auto span = static_cast<int32_t>(row.size());
  columns.resize(static_cast<size_t>(span) * 2);
  uint32_t* blueRed = columns.data();
  uint32_t* green = blueRed + span;
  if (rows == kMosaicBlock) SumColumns<kMosaicBlock>(first, stride, rows, span, blueRed, green);
  else SumColumns<0>(first, stride, rows, span, blueRed, green);
  for (int32_t left = 0; left < span; left += kMosaicBlock) {
    const int32_t width = std::min(kMosaicBlock, span - left);
    uint32_t blockBlueRed = 0, blockGreen = 0;
    for (int32_t x = left; x < left + width; ++x) {
      blockBlueRed += blueRed[x];
      blockGreen += green[x];
    }
    std::fill_n(row.begin() + left, width, MeanPixel(blockBlueRed, blockGreen, static_cast<uint32_t>(width * rows)));
  }
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
  static thread_local std::vector<uint32_t> row, sums;
  try {
    row.resize(static_cast<size_t>(blockRight - blockLeft));
    sums.reserve(row.size() * 2);
  } catch (const std::bad_alloc&) {
    return;
  }
  for (int32_t blockY = blockTop; blockY < blockBottom; blockY += kMosaicBlock) {
    const int32_t rows = std::min(kMosaicBlock, height - blockY);
    BlockMeans(composite.pixels.data() + static_cast<size_t>(blockY) * width + blockLeft, width, rows, row, sums);
    // The whole width of the blocks in one run per row.
    for (int32_t y = blockY; y < blockY + rows; ++y)
      SetLayerRun(*layer, blockLeft, y, row.data(), blockRight - blockLeft);
  }
}

}  // namespace vnscope
