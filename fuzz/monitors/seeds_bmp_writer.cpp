// Seeds for bmp_writer: the sizes the tests write (the worked 2 x 2 file,
// one pass of the sixteen-pixel path and five single pixels, empty
// pictures) and each kind of refused size.
#include "fuzz/common/op_stream.h"
#include "fuzz/monitors/bmp_writer_ops.h"
#include "seeds/seed_registry.h"

namespace vnscope::fuzz {
namespace {

using namespace bmp_writer;

SeedBytes Picture(uint16_t width, uint8_t height, std::initializer_list<uint8_t> pixels) {
  OpWriter out;
  out.U8(kPicture).U16(width).U8(height).Bytes(std::vector<uint8_t>(pixels));
  return out.bytes();
}

SeedBytes Refused(RefusedKind kind) { return OpWriter().U8(RefusedMode(kind)).U32(0x40000000).bytes(); }

const SeedWriter kBmpWriter("bmp_writer", [] {
  return Seeds{
      {"two-by-two", Picture(2, 2, {1, 2, 3, 0xFF, 4, 5, 6, 0xFF, 7, 8, 9, 0xFF, 10, 11, 12, 0xFF})},
      {"wide-rows", Picture(21, 3, {1, 2, 3, 4, 5, 6, 7, 8, 9})},
      {"empty-row", Picture(0, 4, {})},
      {"no-rows", Picture(4, 0, {})},
      {"negative-width", Refused(kNegativeWidth)},
      {"negative-height", Refused(kNegativeHeight)},
      {"past-four-gib", Refused(kPastFourGib)},
  };
});

}  // namespace
}  // namespace vnscope::fuzz
