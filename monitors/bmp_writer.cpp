#include "monitors/bmp_writer.h"

#include <cstring>
#include <limits>
#include <new>

namespace vnscope {
namespace {

void Put16(uint8_t* at, uint16_t value) {
  at[0] = static_cast<uint8_t>(value);
  at[1] = static_cast<uint8_t>(value >> 8);
}

void Put32(uint8_t* at, uint32_t value) {
  for (int i = 0; i < 4; ++i) at[i] = static_cast<uint8_t>(value >> (8 * i));
}

// One row: the fourth byte of each source pixel dropped. Four pixels at a
// time as three 32-bit stores, then the rest one by one.
void ConvertRow(const uint8_t* source, uint8_t* target, uint32_t width) {
  uint32_t x = 0;
  for (; x + 4 <= width; x += 4, source += 16, target += 12) {
    uint32_t p[4];
    std::memcpy(p, source, 16);
    const uint32_t out[3] = {(p[0] & 0x00FFFFFFu) | (p[1] << 24), ((p[1] >> 8) & 0xFFFFu) | (p[2] << 16),
                             ((p[2] >> 16) & 0xFFu) | (p[3] << 8)};
    std::memcpy(target, out, 12);
  }
  for (; x < width; ++x, source += 4, target += 3) std::memcpy(target, source, 3);
}

}  // namespace

bool EncodeBmp24(int32_t width, int32_t height, const uint8_t* pixels, std::vector<uint8_t>* file) {
  file->clear();
  if (width < 0 || height < 0) return false;
  const uint64_t stride = Bmp24Stride(width);
  const uint64_t imageBytes = stride * static_cast<uint64_t>(height);
  const uint64_t sourceBytes = 4ull * static_cast<uint64_t>(width) * static_cast<uint64_t>(height);
  // The file size field is 32 bits; the source must be addressable here too.
  const uint64_t fileBytes = kBmpHeaderBytes + imageBytes;
  if (fileBytes > std::numeric_limits<uint32_t>::max() || sourceBytes > std::numeric_limits<size_t>::max() ||
      fileBytes > std::numeric_limits<size_t>::max()) {
    return false;
  }
  if (imageBytes > 0 && !pixels) return false;
  try {
    file->assign(static_cast<size_t>(fileBytes), 0);
  } catch (const std::bad_alloc&) {
    file->clear();
    return false;
  }
  uint8_t* out = file->data();
  out[0] = 'B';
  out[1] = 'M';
  Put32(out + 2, static_cast<uint32_t>(fileBytes));
  Put32(out + 10, kBmpHeaderBytes);
  Put32(out + 14, 40);
  Put32(out + 18, static_cast<uint32_t>(width));
  Put32(out + 22, static_cast<uint32_t>(height));
  Put16(out + 26, 1);
  Put16(out + 28, 24);
  Put32(out + 34, static_cast<uint32_t>(imageBytes));
  if (imageBytes == 0) return true;
  const size_t sourceStride = 4u * static_cast<size_t>(width);
  for (int32_t row = 0; row < height; ++row) {
    ConvertRow(pixels + row * sourceStride, out + kBmpHeaderBytes + row * stride, static_cast<uint32_t>(width));
  }
  return true;
}

}  // namespace vnscope
