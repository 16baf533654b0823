// The thumbnail BMP: strides, the worked 2 x 2 file, empty pictures and the
// sizes refused.
#include "monitors/bmp_writer.h"

#include <gtest/gtest.h>

#include <climits>

namespace vnscope {
namespace {

uint32_t Read32(const std::vector<uint8_t>& file, size_t at) {
  return file[at] | file[at + 1] << 8 | file[at + 2] << 16 | static_cast<uint32_t>(file[at + 3]) << 24;
}

TEST(Bmp24StrideTest, ThreeBytesAPixelRoundedUpToFour) {
  const struct {
    int32_t width;
    uint64_t stride;
  } cases[] = {{0, 0}, {1, 4}, {2, 8}, {3, 12}, {4, 12}, {5, 16}, {640, 1920}, {1920, 5760},
               // 3 x width rounded up to 4, past 32 bits.
               {0x55555555, 0x100000000}, {0x55555556, 0x100000004}, {INT32_MAX, 0x180000000}};
  for (const auto& c : cases) EXPECT_EQ(Bmp24Stride(c.width), c.stride) << c.width;
}

TEST(EncodeBmp24Test, TwoByTwoFileByteForByte) {
  // Rows as the engine keeps them: B, G, R and an unused byte per pixel.
  const uint8_t pixels[] = {1, 2, 3, 0xFF, 4, 5, 6, 0xFF, 7, 8, 9, 0xFF, 10, 11, 12, 0xFF};
  // 14-byte file header, 40-byte information header, two rows of 6 pixel
  // bytes padded to 8, as the BMP format lays them out.
  const std::vector<uint8_t> expected = {
      'B', 'M', 70, 0, 0, 0, 0, 0, 0, 0, 54, 0, 0, 0,                    // file header
      40, 0, 0, 0, 2, 0, 0, 0, 2, 0, 0, 0, 1, 0, 24, 0, 0, 0, 0, 0,      // size, width, height, planes, bpp, BI_RGB
      16, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,       // image size, resolutions, colours
      1, 2, 3, 4, 5, 6, 0, 0, 7, 8, 9, 10, 11, 12, 0, 0};                 // rows, first source row first
  std::vector<uint8_t> file;
  ASSERT_TRUE(EncodeBmp24(2, 2, pixels, &file));
  EXPECT_EQ(file, expected);
}

TEST(EncodeBmp24Test, WideRowsKeepEveryPixelAndZeroPadding) {
  // Width 21: one run of the sixteen-pixel path, then five single pixels.
  constexpr int kWidth = 21;
  constexpr int kStride = 64;
  std::vector<uint8_t> pixels(kWidth * 4 * 3);
  for (size_t i = 0; i < pixels.size(); ++i) pixels[i] = static_cast<uint8_t>(i + 1);
  std::vector<uint8_t> file;
  ASSERT_TRUE(EncodeBmp24(kWidth, 3, pixels.data(), &file));
  ASSERT_EQ(file.size(), 54u + kStride * 3u);
  for (int row = 0; row < 3; ++row) {
    for (int x = 0; x < kWidth; ++x) {
      for (int c = 0; c < 3; ++c) {
        EXPECT_EQ(file[54 + row * kStride + x * 3 + c], pixels[row * kWidth * 4 + x * 4 + c]) << row << "," << x;
      }
    }
    EXPECT_EQ(file[54 + row * kStride + 63], 0) << row;
  }
}

TEST(EncodeBmp24Test, EmptyPicturesGiveTheHeadersAlone) {
  const struct {
    int32_t width, height;
  } cases[] = {{0, 0}, {4, 0}, {0, 4}};
  for (const auto& c : cases) {
    std::vector<uint8_t> file;
    ASSERT_TRUE(EncodeBmp24(c.width, c.height, nullptr, &file));
    ASSERT_EQ(file.size(), 54u);
    EXPECT_EQ(Read32(file, 2), 54u);
    EXPECT_EQ(Read32(file, 18), static_cast<uint32_t>(c.width));
    EXPECT_EQ(Read32(file, 22), static_cast<uint32_t>(c.height));
    EXPECT_EQ(Read32(file, 34), 0u);
  }
}

TEST(EncodeBmp24Test, RefusesSizesOutsideTheFormat) {
  const uint8_t pixel[4] = {};
  const struct {
    const char* why;
    int32_t width, height;
  } cases[] = {
      {"negative width", -1, 1},
      {"negative height", 1, -1},
      {"both negative: their product is positive", -2, -2},
      {"row bytes times height pass the 32-bit size field", 65536, 65536},
      {"largest sizes", INT32_MAX, INT32_MAX},
      {"a stride of 2^32 bytes, 0 when wrapped to 32 bits", 0x55555555, 1},
      {"a stride past 2^32 bytes, 4 when wrapped to 32 bits", 0x55555556, 1},
  };
  for (const auto& c : cases) {
    std::vector<uint8_t> file{1, 2, 3};
    EXPECT_FALSE(EncodeBmp24(c.width, c.height, pixel, &file)) << c.why;
    EXPECT_TRUE(file.empty()) << c.why;
  }
}

}  // namespace
}  // namespace vnscope
