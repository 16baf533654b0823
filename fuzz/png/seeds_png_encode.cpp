// Seeds for png_encode: the sizes the encoder's tests use, each depth
// class, and a buffer that already holds bytes.
#include "fuzz/common/op_stream.h"
#include "seeds/seed_registry.h"

namespace vnscope::fuzz {
namespace {

SeedBytes Picture(uint16_t width, uint8_t height, uint8_t bits, uint8_t prefix = 0) {
  OpWriter out;
  // A depth of 32 to 39 bits is written as its offset from 32, any other
  // below 64 as itself plus 192.
  out.U16(width).U8(height).U8(static_cast<uint8_t>(bits >= 32 && bits < 40 ? bits - 32 : bits + 192)).U8(prefix);
  for (int i = 0; i < 64; ++i) out.U8(static_cast<uint8_t>(i * 37 + 11));
  return out.bytes();
}

const SeedWriter kPngEncode("png_encode", [] {
  return Seeds{
      {"one-pixel", Picture(1, 1, 32)},    {"three-by-two", Picture(3, 2, 32)},
      {"wide", Picture(257, 3, 39)},       {"square", Picture(40, 40, 32, 5)},
      {"empty", Picture(0, 4, 32)},        {"depth-24", Picture(4, 4, 24)},
  };
});

}  // namespace
}  // namespace vnscope::fuzz
