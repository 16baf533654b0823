#include "report/screenshot_copy.h"

#include <cstddef>

namespace vnscope {

bool CopyScreenshot(const uint8_t* bottomUp, uint16_t width, uint16_t height, uint8_t bitsPerPixel,
                    PixelBuffer* snapshot) {
  const bool fourBytes = (bitsPerPixel & ~7u) == 32;
  const bool threeBytes = bitsPerPixel == 24;
  if (snapshot == nullptr || bottomUp == nullptr || width == 0 || height == 0) return false;
  if (!fourBytes && !threeBytes) return false;
  if (!CreatePixelBuffer(32, height, width, snapshot)) return false;
  const size_t sourceBytes = threeBytes ? 3 : 4;
  const size_t sourceRowBytes = size_t{width} * sourceBytes;
  for (uint32_t y = 0; y < height; ++y) {
    const uint8_t* source = bottomUp + (height - 1 - y) * sourceRowBytes;
    uint8_t* target = snapshot->pixels + y * size_t{snapshot->RowBytes()};
    for (uint32_t x = 0; x < width; ++x, source += sourceBytes, target += 4) {
      target[0] = source[0];
      target[1] = source[1];
      target[2] = source[2];
      target[3] = 0xFF;
    }
  }
  return true;
}

}  // namespace vnscope
