// The thumbnail BMP writer with random sizes and pixels, its file read back
// by an independent reading of the format: both headers, rows bottom-up in
// the source's order, B, G, R per pixel, rows padded with zeros to 4 bytes.
#include <cstdlib>
#include <limits>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "fuzz/monitors/bmp_writer_ops.h"
#include "monitors/bmp_writer.h"

namespace {

using vnscope::fuzz::Check;

uint32_t Le(const std::vector<uint8_t>& file, size_t at, int bytes) {
  uint32_t value = 0;
  for (int i = bytes - 1; i >= 0; --i) value = value << 8 | file[at + i];
  return value;
}

// Sizes the format or a 32-bit size field cannot hold: refused, file empty,
// and no pixel read (the buffer holds one pixel; ASan sees any read past it).
void CheckRefused(int32_t width, int32_t height) {
  const uint8_t pixel[4] = {1, 2, 3, 4};
  std::vector<uint8_t> file(3, 0xAA);
  Check(!vnscope::EncodeBmp24(width, height, pixel, &file));
  Check(file.empty());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace vnscope::fuzz::bmp_writer;
  vnscope::fuzz::OpReader in(data, size);
  const uint8_t mode = in.U8();
  if (IsRefused(mode)) {
    // Negative sizes, or a picture whose file passes 4 GiB.
    const int32_t big = static_cast<int32_t>(in.U32() | 0x20000000u);
    const int32_t negative = std::numeric_limits<int32_t>::min() + static_cast<int32_t>(in.U16());
    switch (RefusedKindOf(mode)) {
      case kNegativeWidth: CheckRefused(negative, in.U8()); break;
      case kNegativeHeight: CheckRefused(in.U8(), -1 - static_cast<int32_t>(in.U16())); break;
      default: CheckRefused(big, big); break;  // kPastFourGib
    }
    return 0;
  }
  const int32_t width = in.Below(300);
  const int32_t height = in.Below(40);
  std::vector<uint8_t> pixels(static_cast<size_t>(width) * height * 4);
  in.Fill(pixels);
  std::vector<uint8_t> file;
  Check(vnscope::EncodeBmp24(width, height, pixels.empty() ? nullptr : pixels.data(), &file));

  // 24 bits a pixel, each row rounded up to whole 32-bit words.
  const size_t stride = (static_cast<size_t>(width) * 24 + 31) / 32 * 4;
  const size_t image = stride * height;
  Check(file.size() == 54 + image);
  Check(file[0] == 'B' && file[1] == 'M');
  Check(Le(file, 2, 4) == file.size() && Le(file, 6, 4) == 0 && Le(file, 10, 4) == 54);
  Check(Le(file, 14, 4) == 40 && Le(file, 18, 4) == static_cast<uint32_t>(width) &&
        Le(file, 22, 4) == static_cast<uint32_t>(height));
  Check(Le(file, 26, 2) == 1 && Le(file, 28, 2) == 24 && Le(file, 30, 4) == 0 && Le(file, 34, 4) == image);
  // A positive height stores the bottom row first: the source's first row.
  for (int32_t row = 0; row < height; ++row) {
    const uint8_t* stored = file.data() + 54 + row * stride;
    const uint8_t* source = pixels.data() + static_cast<size_t>(row) * width * 4;
    for (int32_t x = 0; x < width; ++x)
      for (int c = 0; c < 3; ++c) Check(stored[x * 3 + c] == source[x * 4 + c]);
    for (size_t pad = static_cast<size_t>(width) * 3; pad < stride; ++pad) Check(stored[pad] == 0);
  }
  return 0;
}
