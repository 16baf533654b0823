// Seeds for bmp_writer: the sizes the tests write (the worked 2 x 2 file,
// one pass of the sixteen-pixel path and five single pixels, empty
// pictures) and each kind of refused size.
#include "fuzz/fuzz_support.h"
#include "seeds/seed_registry.h"

namespace vnscope::fuzz {
namespace {

SeedBytes Picture(uint16_t width, uint8_t height, std::initializer_list<uint8_t> pixels) {
  OpWriter out;
  out.U8(0).U16(width).U8(height).Bytes(std::vector<uint8_t>(pixels));
  return out.bytes();
}

SeedBytes Refused(uint8_t kind) { return OpWriter().U8(static_cast<uint8_t>(7 + 8 * kind)).U32(0x40000000).bytes(); }

const SeedWriter kBmpWriter("bmp_writer", [] {
  return Seeds{
      {"two-by-two", Picture(2, 2, {1, 2, 3, 0xFF, 4, 5, 6, 0xFF, 7, 8, 9, 0xFF, 10, 11, 12, 0xFF})},
      {"wide-rows", Picture(21, 3, {1, 2, 3, 4, 5, 6, 7, 8, 9})},
      {"empty-row", Picture(0, 4, {})},
      {"no-rows", Picture(4, 0, {})},
      {"negative-width", Refused(0)},
      {"negative-height", Refused(1)},
      {"past-four-gib", Refused(2)},
  };
});

}  // namespace
}  // namespace vnscope::fuzz
