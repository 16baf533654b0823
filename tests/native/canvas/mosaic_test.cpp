#include "canvas/mosaic.h"

#include <gtest/gtest.h>

#include <set>
#include <utility>
#include <vector>

#include "canvas_fixture.h"

namespace vnscope {
namespace {

using test::Bgra;
using test::CompositeAt;

// 10 x 9 pixels, so that the blocks at the right and bottom edges are 2
// wide and 1 high: blue 3x + 1, green 10y, red 200, opaque.
constexpr int32_t kWidth = 10;
constexpr int32_t kHeight = 9;

std::vector<uint8_t> GradientShot() {
  std::vector<uint8_t> pixels;
  for (int32_t y = 0; y < kHeight; ++y)
    for (int32_t x = 0; x < kWidth; ++x)
      pixels.insert(pixels.end(), {static_cast<uint8_t>(3 * x + 1), static_cast<uint8_t>(10 * y), 200, 255});
  return pixels;
}

// The rounded means of the four blocks, worked by hand from the gradient:
// block (0, 0): blue 8 x (1 + 4 + ... + 22) = 736 over 64, (736 + 32) / 64 =
// 12; green 8 x (0 + 10 + ... + 70) = 2240, (2240 + 32) / 64 = 35.
// Block (1, 0): blue 8 x (25 + 28) = 424 over 16, (424 + 8) / 16 = 27;
// green (560 + 8) / 16 = 35. Block (0, 1): blue (92 + 4) / 8 = 12, green 80.
// Block (1, 1): blue (53 + 1) / 2 = 27, green 80. Red is 200 throughout.
uint32_t BlockMean(int32_t blockX, int32_t blockY) {
  const uint32_t blue = blockX == 0 ? 12 : 27, green = blockY == 0 ? 35 : 80;
  return 0xFF000000u | 200u << 16 | green << 8 | blue;
}

using Blocks = std::set<std::pair<int32_t, int32_t>>;

// The layer a mosaic of these blocks leaves: each of their pixels its block's
// mean, every other pixel transparent.
std::vector<uint32_t> LayerWith(const Blocks& blocks) {
  std::vector<uint32_t> pixels(kWidth * kHeight, 0);
  for (int32_t y = 0; y < kHeight; ++y)
    for (int32_t x = 0; x < kWidth; ++x)
      if (blocks.count({x / 8, y / 8})) pixels[y * kWidth + x] = BlockMean(x / 8, y / 8);
  return pixels;
}

TEST(Mosaic, EveryTouchedBlockTakesItsRoundedMean) {
  struct Case {
    const char* what;
    int32_t x0, y0, x1, y1;
    Blocks blocks;
  } cases[] = {
      {"inside one block: the whole block", 1, 1, 2, 2, {{0, 0}}},
      {"corners the other way round, across all four", 9, 8, 7, 7, {{0, 0}, {1, 0}, {0, 1}, {1, 1}}},
      {"a click", 3, 8, 3, 8, {{0, 1}}},
      {"partly above the image: clipped", 8, -3, 20, 3, {{1, 0}}},
      {"left of and above the image: nothing", -5, -5, -1, -1, {}},
      {"right of the image: nothing", 10, 2, 12, 5, {}},
  };
  const std::vector<uint8_t> shot = GradientShot();
  for (const auto& c : cases) {
    test::OpenCanvas(kWidth, kHeight, shot.data());
    DrawMosaic(c.x0, c.y0, c.x1, c.y1);
    EXPECT_EQ(CurrentLayer()->pixels, LayerWith(c.blocks)) << c.what;
  }
}

TEST(Mosaic, TheFlattenedAreaHoldsOnlyMeansWithTheRimAround) {
  const std::vector<uint8_t> shot = GradientShot();
  test::OpenCanvas(kWidth, kHeight, shot.data());
  DrawMosaic(0, 0, 7, 7);
  ASSERT_TRUE(CompositeChanges());
  for (int32_t y = 0; y < 8; ++y)
    for (int32_t x = 0; x < 8; ++x) EXPECT_EQ(CompositeAt(x, y), (Bgra{12, 35, 200, 0})) << x << ", " << y;
  EXPECT_EQ(CompositeAt(8, 3), (Bgra{0, 0, 0, 0})) << "the rim right of the area";
  EXPECT_EQ(CompositeAt(3, 8), (Bgra{0, 0, 0, 0})) << "the rim below it";
  EXPECT_EQ(CompositeAt(9, 3), (Bgra{28, 30, 200, 0})) << "the screenshot beyond the rim";
}

// The mean is of the picture as shown, annotations and their rims included:
// over grey 100, a white pixel at (3, 3) on layer 1 with its black rim leaves
// one pixel of 255, eight of 0 and 55 of 100 in the block, (5755 + 32) / 64
// = 90.
TEST(Mosaic, ReadsTheCompositeNotTheScreenshot) {
  const auto shot = test::SolidScreenshot(8, 8, 100, 100, 100, 255);
  test::OpenCanvas(8, 8, shot.data());
  SetLayerPixel(*CurrentLayer(), 3, 3, 0xFFFFFFFF);
  ASSERT_TRUE(CompositeChanges());
  AddLayer();
  DrawMosaic(5, 5, 5, 5);
  EXPECT_EQ(CurrentLayer()->pixels, std::vector<uint32_t>(64, 0xFF5A5A5A));
}

TEST(Mosaic, NothingWhileTheBaseLayerIsCurrent) {
  const std::vector<uint8_t> shot = GradientShot();
  test::OpenCanvas(kWidth, kHeight, shot.data());
  DeleteLayer(1);
  DrawMosaic(0, 0, 9, 8);
  EXPECT_EQ(LayerAt(0)->pixels[0], 0xFFC80001u) << "the screenshot as it came";
}

}  // namespace
}  // namespace vnscope
