#include "canvas/pixel_buffer.h"

#include <gtest/gtest.h>

namespace vnscope {
namespace {

struct SizeCase {
  uint8_t bits_per_pixel;
  uint16_t height;
  uint16_t width;
  uint32_t row_bytes;  // width x ((bitsPerPixel >> 3) & 31)
};

TEST(PixelBuffer, CreateStoresTheSizesAndAllocatesTheRows) {
  const SizeCase cases[] = {
      {32, 2, 3, 12}, {24, 4, 5, 15}, {39, 1, 1, 4}, {32, 0, 10, 40}, {255, 1, 2, 62}};
  for (const auto& c : cases) {
    PixelBuffer buffer;
    ASSERT_TRUE(CreatePixelBuffer(c.bits_per_pixel, c.height, c.width, &buffer));
    EXPECT_EQ(buffer.width, c.width);
    EXPECT_EQ(buffer.height, c.height);
    EXPECT_EQ(buffer.bitsPerPixel, c.bits_per_pixel);
    ASSERT_NE(buffer.pixels, nullptr);
    EXPECT_EQ(buffer.RowBytes(), c.row_bytes) << int{c.bits_per_pixel};
    // Every byte is writable (ASan reports an overrun).
    for (uint32_t i = 0; i < c.row_bytes * c.height; ++i) buffer.pixels[i] = 0xAB;
  }
}

TEST(PixelBuffer, CreateKeepsPixelsAlreadyThereUntilReleased) {
  PixelBuffer buffer;
  ASSERT_TRUE(CreatePixelBuffer(32, 1, 1, &buffer));
  uint8_t* pixels = buffer.pixels;
  EXPECT_FALSE(CreatePixelBuffer(32, 5, 5, &buffer));
  EXPECT_EQ(buffer.pixels, pixels);
  EXPECT_EQ(buffer.width, 1);
  EXPECT_FALSE(CreatePixelBuffer(32, 1, 1, nullptr));
  ReleasePixelBuffer(&buffer);
  EXPECT_EQ(buffer.pixels, nullptr);
  EXPECT_EQ(buffer.width + buffer.height + buffer.bitsPerPixel, 0);
  EXPECT_TRUE(CreatePixelBuffer(32, 1, 1, &buffer));
}

}  // namespace
}  // namespace vnscope
