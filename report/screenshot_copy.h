// The report dialog's copy of the engine's screenshot: the canvas's
// background and, once flattened, the source of the report's PNG.
#pragma once
#include <cstdint>

#include "canvas/pixel_buffer.h"

namespace vnscope {

// Fills the empty `snapshot` with a top-down 32-bit copy (B, G, R, A bytes) of
// the engine's bottom-up screenshot, whose rows are width x depth / 8 bytes
// without padding: 32-bit pixels (depths 32 to 39 have 4-byte pixels) or
// 24-bit ones, since the canvas and the PNG work on 32-bit pixels only. Every
// alpha byte becomes 255: a screen has no transparency, and the canvas blends
// its base layer by alpha, so the 0 that GDI captures leave there would turn
// the snapshot black. False, with `snapshot` left empty, for any other depth,
// no pixels, an empty picture, or no memory.
bool CopyScreenshot(const uint8_t* bottomUp, uint16_t width, uint16_t height, uint8_t bitsPerPixel,
                    PixelBuffer* snapshot);

}  // namespace vnscope
