// The mosaic tool: hides an area of the picture behind blocks of its mean
// colours, in the current layer. Platform-free.
#pragma once
#include <cstdint>

namespace vnscope {

// The side of a mosaic block, in image pixels.
inline constexpr int32_t kMosaicBlock = 8;

// Every kMosaicBlock-square block (aligned to the image's origin, smaller at
// the right and bottom edges) that the rectangle with opposite corners
// (x0, y0) and (x1, y1), both included, touches within the image becomes, in
// the current layer, the rounded mean of the composite's pixels in that
// block, per channel ((sum + count / 2) / count), with alpha 255. Reads the
// composite as it stands, so it must be up to date. Nothing outside the
// image, while the base layer is current, or for a layer of another size.
void DrawMosaic(int32_t x0, int32_t y0, int32_t x1, int32_t y1);

}  // namespace vnscope
