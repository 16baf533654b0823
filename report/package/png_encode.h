// PNG encoding of the report snapshot.
#pragma once

#include "canvas/pixel_buffer.h"
#include "report/protocol/byte_buffer.h"

namespace vnscope {

// Appends a complete PNG file (8-bit RGBA, no interlace, libpng's default
// compression and filters) of a 32-bit B, G, R, A picture to `out`. 0 on
// success, -1 on failure: an empty picture, no pixels, a depth other than 32
// to 39 bits, no memory, or an error reported by libpng. After a failure `out`
// may hold part of a file; the caller releases it.
int EncodePng(const PixelBuffer& image, ByteBuffer* out);

}  // namespace vnscope
