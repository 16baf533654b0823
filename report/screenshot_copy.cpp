#include "report/screenshot_copy.h"

#include <cstring>

namespace vnscope {

bool CopyScreenshot(const uint8_t* bottomUp, uint16_t width, uint16_t height, uint8_t bitsPerPixel,
                    PixelBuffer* snapshot) {
  const bool fourBytes = (bitsPerPixel & ~7u) == 32;
  const bool threeBytes = bitsPerPixel == 24;
  if (snapshot == nullptr || bottomUp == nullptr || width == 0 || height == 0) return false;
  if (!fourBytes && !threeBytes) return false;
  if (!CreatePixelBuffer(32, height, width, snapshot)) return false;
  const uint32_t rowBytes = snapshot->RowBytes();
  const uint32_t sourceRowBytes = uint32_t{width} * (threeBytes ? 3u : 4u);
  for (uint32_t y = 0; y < height; ++y) {
    const uint8_t* source = bottomUp + size_t{height - 1 - y} * sourceRowBytes;
    uint8_t* target = snapshot->pixels + size_t{y} * rowBytes;
    if (fourBytes) {
      std::memcpy(target, source, rowBytes);
      continue;
    }
    for (uint32_t x = 0; x < width; ++x, source += 3, target += 4) {
      target[0] = source[0];
      target[1] = source[1];
      target[2] = source[2];
      target[3] = 0xFF;
    }
  }
  return true;
}

}  // namespace vnscope
