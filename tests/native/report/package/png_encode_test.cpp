#include "report/package/png_encode.h"

#include <gtest/gtest.h>
#include <png.h>

#include <cstring>
#include <optional>
#include <vector>

namespace vnscope {
namespace {

// A picture whose every byte differs from its neighbours, alpha included, so
// that swapped channels or shifted rows cannot go unnoticed.
PixelBuffer MakePicture(uint16_t width, uint16_t height) {
  PixelBuffer picture;
  if (!CreatePixelBuffer(32, height, width, &picture)) return picture;
  uint32_t seed = 0x12345678u + width * 31u + height;
  for (uint32_t i = 0; i < picture.RowBytes() * height; ++i) {
    seed = seed * 1103515245u + 12345u;
    picture.pixels[i] = static_cast<uint8_t>(seed >> 16);
  }
  return picture;
}

// Decodes with libpng's own reader into B, G, R, A bytes; none on any error.
std::optional<std::vector<uint8_t>> DecodeBgra(const ByteBuffer& png, uint32_t* width,
                                               uint32_t* height, uint32_t* file_format) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_memory(&image, png.Data(), png.RequestedSize())) {
    return std::nullopt;
  }
  *width = image.width;
  *height = image.height;
  *file_format = image.format;
  image.format = PNG_FORMAT_BGRA;
  std::vector<uint8_t> pixels(PNG_IMAGE_SIZE(image));
  if (!png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr)) {
    png_image_free(&image);
    return std::nullopt;
  }
  return pixels;
}

struct PictureSize {
  uint16_t width;
  uint16_t height;
};

TEST(EncodePng, EveryPictureDecodesToItsOwnPixels) {
  const PictureSize sizes[] = {{1, 1}, {3, 2}, {2, 3}, {257, 3}, {64, 64}, {1280, 4}};
  for (const auto& size : sizes) {
    const PixelBuffer picture = MakePicture(size.width, size.height);
    ASSERT_NE(picture.pixels, nullptr);
    ByteBuffer png;
    ASSERT_EQ(EncodePng(picture, &png), 0) << size.width << "x" << size.height;
    uint32_t width = 0, height = 0, format = 0;
    const auto decoded = DecodeBgra(png, &width, &height, &format);
    ASSERT_TRUE(decoded.has_value()) << size.width << "x" << size.height;
    EXPECT_EQ(width, size.width);
    EXPECT_EQ(height, size.height);
    EXPECT_EQ(format, static_cast<uint32_t>(PNG_FORMAT_RGBA));  // 8-bit RGBA in the file
    ASSERT_EQ(decoded->size(), picture.RowBytes() * size.height);
    EXPECT_EQ(std::memcmp(decoded->data(), picture.pixels, decoded->size()), 0)
        << size.width << "x" << size.height;
  }
}

TEST(EncodePng, HeaderIsEightBitRgbaWithoutInterlace) {
  const PixelBuffer picture = MakePicture(300, 2);
  ByteBuffer png;
  ASSERT_EQ(EncodePng(picture, &png), 0);
  ASSERT_GE(png.RequestedSize(), 33u);
  const uint8_t* bytes = png.Data();
  // PNG signature, then the IHDR chunk: length 13, "IHDR", width, height,
  // bit depth, colour type, compression, filter, interlace.
  const uint8_t expected[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n',
                              0, 0, 0, 13, 'I', 'H', 'D', 'R',
                              0, 0, 0x01, 0x2C, 0, 0, 0, 2,
                              8, 6, 0, 0, 0};
  EXPECT_EQ(std::memcmp(bytes, expected, sizeof expected), 0);
  // The file ends with the IEND chunk.
  const uint8_t iend[] = {0, 0, 0, 0, 'I', 'E', 'N', 'D', 0xAE, 0x42, 0x60, 0x82};
  EXPECT_EQ(std::memcmp(bytes + png.RequestedSize() - sizeof iend, iend, sizeof iend), 0);
}

TEST(EncodePng, AppendsAfterWhatTheBufferHolds) {
  const PixelBuffer picture = MakePicture(4, 4);
  ByteBuffer alone;
  ASSERT_EQ(EncodePng(picture, &alone), 0);
  ByteBuffer after;
  const uint8_t prefix[] = {'z', 'i', 'p'};
  ASSERT_TRUE(after.Append(prefix, sizeof prefix));
  ASSERT_EQ(EncodePng(picture, &after), 0);
  ASSERT_EQ(after.RequestedSize(), alone.RequestedSize() + 3);
  EXPECT_EQ(std::memcmp(after.Data(), prefix, 3), 0);
  EXPECT_EQ(std::memcmp(after.Data() + 3, alone.Data(), alone.RequestedSize()), 0);
}

struct BadPicture {
  const char* why;
  uint8_t bits_per_pixel;
  uint16_t width;
  uint16_t height;
  bool drop_pixels;
};

TEST(EncodePng, RefusesPicturesItCannotEncode) {
  const BadPicture cases[] = {
      {"width 0", 32, 0, 4, false},
      {"height 0", 32, 4, 0, false},
      {"both 0", 32, 0, 0, false},
      {"24-bit rows would be read past their end", 24, 4, 4, false},
      {"64-bit pixels are not B, G, R, A bytes", 64, 4, 4, false},
      {"no pixels", 32, 4, 4, true},
  };
  for (const auto& c : cases) {
    PixelBuffer picture;
    if (c.drop_pixels) {
      picture.width = c.width;
      picture.height = c.height;
      picture.bitsPerPixel = c.bits_per_pixel;
    } else {
      ASSERT_TRUE(CreatePixelBuffer(c.bits_per_pixel, c.height, c.width, &picture)) << c.why;
    }
    ByteBuffer png;
    EXPECT_EQ(EncodePng(picture, &png), -1) << c.why;
  }
  const PixelBuffer picture = MakePicture(2, 2);
  EXPECT_EQ(EncodePng(picture, nullptr), -1) << "no output buffer";
}

}  // namespace
}  // namespace vnscope
