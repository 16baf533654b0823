#include "monitors/bmp_writer.h"

#include <cstring>
#include <limits>
#include <new>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace vnscope {
namespace {

void Put16(uint8_t* at, uint16_t value) {
  at[0] = static_cast<uint8_t>(value);
  at[1] = static_cast<uint8_t>(value >> 8);
}

void Put32(uint8_t* at, uint32_t value) {
  for (int i = 0; i < 4; ++i) at[i] = static_cast<uint8_t>(value >> (8 * i));
}

#if defined(__SSE2__)
// Four pixels to 12 bytes in one register: pixel i's three bytes move down
// by i bytes; the top four bytes end up 0.
inline __m128i PackFourPixels(__m128i v) {
  const __m128i keep0 = _mm_setr_epi32(0x00FFFFFF, 0, 0, 0);
  const __m128i keep1 = _mm_setr_epi32(static_cast<int>(0xFF000000), 0x0000FFFF, 0, 0);
  const __m128i keep2 = _mm_setr_epi32(0, static_cast<int>(0xFFFF0000), 0x000000FF, 0);
  const __m128i keep3 = _mm_setr_epi32(0, 0, static_cast<int>(0xFFFFFF00), 0);
  return _mm_or_si128(_mm_or_si128(_mm_and_si128(v, keep0), _mm_and_si128(_mm_srli_si128(v, 1), keep1)),
                      _mm_or_si128(_mm_and_si128(_mm_srli_si128(v, 2), keep2),
                                   _mm_and_si128(_mm_srli_si128(v, 3), keep3)));
}
#endif

// One row: the fourth byte of each source pixel dropped. Sixteen pixels at a
// time where the processor has SSE2 (three full 16-byte stores, none past
// the row), then the rest one by one; the conversion then costs about what
// a plain copy of the source does.
void ConvertRow(const uint8_t* source, uint8_t* target, uint32_t width) {
  uint32_t x = 0;
#if defined(__SSE2__)
  for (; x + 16 <= width; x += 16, source += 64, target += 48) {
    const auto load = [&](int at) { return PackFourPixels(_mm_loadu_si128(reinterpret_cast<const __m128i*>(source + at))); };
    const __m128i r0 = load(0), r1 = load(16), r2 = load(32), r3 = load(48);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(target), _mm_or_si128(r0, _mm_slli_si128(r1, 12)));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(target + 16),
                     _mm_or_si128(_mm_srli_si128(r1, 4), _mm_slli_si128(r2, 8)));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(target + 32),
                     _mm_or_si128(_mm_srli_si128(r2, 8), _mm_slli_si128(r3, 4)));
  }
#endif
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
  // A vector's own limit is below the address space (2 GiB in a 32-bit
  // process): a size past it would throw rather than fail.
  if (fileBytes > std::numeric_limits<uint32_t>::max() || sourceBytes > std::numeric_limits<size_t>::max() ||
      fileBytes > file->max_size()) {
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
