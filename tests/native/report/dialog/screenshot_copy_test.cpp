#include "report/screenshot_copy.h"

#include <gtest/gtest.h>

#include <vector>

namespace vnscope {
namespace {

std::vector<uint8_t> PixelsOf(const PixelBuffer& buffer) {
  return std::vector<uint8_t>(buffer.pixels, buffer.pixels + buffer.RowBytes() * buffer.height);
}

// Bottom-up source: the last image row comes first. Alpha becomes opaque
// whatever the engine left there (GDI captures leave 0).
TEST(CopyScreenshot, Turns32BitRowsTopDownAndOpaque) {
  const std::vector<uint8_t> bottomUp = {
      1, 2, 3, 0, 5, 6, 7, 0x80,       // image row 1
      9, 10, 11, 12, 13, 14, 15, 255,  // image row 0
  };
  PixelBuffer copy;
  ASSERT_TRUE(CopyScreenshot(bottomUp.data(), 2, 2, 32, &copy));
  EXPECT_EQ(copy.width, 2);
  EXPECT_EQ(copy.height, 2);
  EXPECT_EQ(copy.bitsPerPixel, 32);
  EXPECT_EQ(PixelsOf(copy),
            (std::vector<uint8_t>{9, 10, 11, 255, 13, 14, 15, 255, 1, 2, 3, 255, 5, 6, 7, 255}));
}

TEST(CopyScreenshot, Widens24BitPixelsWithOpaqueAlpha) {
  // Rows of 3 x 3 = 9 bytes without padding.
  const std::vector<uint8_t> bottomUp = {
      1, 2, 3, 4, 5, 6, 7, 8, 9,          // image row 1
      11, 12, 13, 14, 15, 16, 17, 18, 19,  // image row 0
  };
  PixelBuffer copy;
  ASSERT_TRUE(CopyScreenshot(bottomUp.data(), 3, 2, 24, &copy));
  EXPECT_EQ(copy.bitsPerPixel, 32);
  EXPECT_EQ(PixelsOf(copy), (std::vector<uint8_t>{11, 12, 13, 255, 14, 15, 16, 255, 17, 18, 19, 255,  //
                                                  1, 2, 3, 255, 4, 5, 6, 255, 7, 8, 9, 255}));
}

struct Refusal {
  const char* why;
  bool pixels;
  uint16_t width;
  uint16_t height;
  uint8_t depth;
};

TEST(CopyScreenshot, LeavesTheSnapshotEmptyWhenItCannotCopy) {
  const std::vector<uint8_t> source(64, 0x5A);
  const Refusal cases[] = {
      {"16-bit pixels", true, 2, 2, 16},
      {"8-bit pixels", true, 2, 2, 8},
      {"48-bit pixels", true, 2, 2, 48},
      {"no pixels", false, 2, 2, 32},
      {"no width", true, 0, 2, 32},
      {"no height", true, 2, 0, 32},
  };
  for (const auto& c : cases) {
    PixelBuffer copy;
    EXPECT_FALSE(CopyScreenshot(c.pixels ? source.data() : nullptr, c.width, c.height, c.depth, &copy)) << c.why;
    EXPECT_EQ(copy.pixels, nullptr) << c.why;
    EXPECT_EQ(copy.width, 0) << c.why;
  }
}

}  // namespace
}  // namespace vnscope
