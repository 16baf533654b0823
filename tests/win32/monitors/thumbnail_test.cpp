// OutputBMP32to24 writes files that another BMP reader (the system's own)
// loads back with the same pixels.
#include <vector>

#include "harness/harness.h"

namespace vnscope::test {
namespace {

// The picture as 32-bit top-down pixels, read through LoadImage and GetDIBits.
std::vector<uint32_t> LoadWithTheSystem(const wchar_t* name, int* width, int* height) {
  HBITMAP bitmap = static_cast<HBITMAP>(LoadImageW(nullptr, name, IMAGE_BITMAP, 0, 0, LR_LOADFROMFILE | LR_CREATEDIBSECTION));
  if (!bitmap) return {};
  BITMAP info{};
  GetObjectW(bitmap, sizeof(info), &info);
  *width = info.bmWidth;
  *height = info.bmHeight;
  BITMAPINFO request{};
  request.bmiHeader = {sizeof(BITMAPINFOHEADER), info.bmWidth, -info.bmHeight, 1, 32, BI_RGB};
  std::vector<uint32_t> pixels(static_cast<size_t>(info.bmWidth) * info.bmHeight);
  HDC dc = GetDC(nullptr);
  GetDIBits(dc, bitmap, 0, info.bmHeight, pixels.data(), &request, DIB_RGB_COLORS);
  ReleaseDC(nullptr, dc);
  DeleteObject(bitmap);
  return pixels;
}

TEST(OutputBMP32to24, WritesANumberedFileTheSystemReadsBack) {
  const VnscopeDll& dll = VnscopeDll::Get();
  ASSERT_NE(dll.OutputBMP32to24, nullptr);
  // 19 x 2 (a sixteen-pixel run and three single pixels per row), every
  // pixel different, the fourth byte set to show that it is dropped.
  constexpr int kWidth = 19;
  std::vector<uint32_t> pixels(kWidth * 2);
  for (size_t i = 0; i < pixels.size(); ++i) pixels[i] = 0xAA000000u | static_cast<uint32_t>(i * 0x0B0705 + 0x102030);
  DeleteFileW(L"thumbnail\\00007.bmp");
  EXPECT_TRUE(dll.OutputBMP32to24(kWidth, 2, reinterpret_cast<const uint8_t*>(pixels.data()), 7));
  EXPECT_EQ(ReadFileBytes(L"thumbnail\\00007.bmp").size(), 54u + 2 * 60u);
  int width = 0, height = 0;
  const auto read = LoadWithTheSystem(L"thumbnail\\00007.bmp", &width, &height);
  ASSERT_EQ(width, kWidth);
  ASSERT_EQ(height, 2);
  ASSERT_EQ(read.size(), pixels.size());
  // Top-down now: the second source row comes first.
  for (int row = 0; row < 2; ++row) {
    for (int x = 0; x < kWidth; ++x) {
      EXPECT_EQ(read[row * kWidth + x] & 0xFFFFFF, pixels[(1 - row) * kWidth + x] & 0xFFFFFF) << row << "," << x;
    }
  }
}

TEST(OutputBMP32to24, NamesAndReplacement) {
  const VnscopeDll& dll = VnscopeDll::Get();
  const uint32_t pixel = 0x00102030;
  EXPECT_TRUE(dll.OutputBMP32to24(1, 1, reinterpret_cast<const uint8_t*>(&pixel), 123456));
  EXPECT_EQ(ReadFileBytes(L"thumbnail\\123456.bmp").size(), 58u);
  // The same index again replaces the file.
  EXPECT_TRUE(dll.OutputBMP32to24(1, 0, reinterpret_cast<const uint8_t*>(&pixel), 123456));
  EXPECT_EQ(ReadFileBytes(L"thumbnail\\123456.bmp").size(), 54u);
}

TEST(OutputBMP32to24, SizesOutsideTheFormatWriteNothingAndStillReportSuccess) {
  const VnscopeDll& dll = VnscopeDll::Get();
  const uint32_t pixel = 0;
  const struct {
    const char* why;
    int32_t width, height;
  } cases[] = {{"negative width", -1, 1}, {"negative height", 1, -1}, {"bytes overflow", 0x10000, 0x10000}};
  for (const auto& c : cases) {
    DeleteFileW(L"thumbnail\\00099.bmp");
    EXPECT_TRUE(dll.OutputBMP32to24(c.width, c.height, reinterpret_cast<const uint8_t*>(&pixel), 99)) << c.why;
    EXPECT_EQ(GetFileAttributesW(L"thumbnail\\00099.bmp"), INVALID_FILE_ATTRIBUTES) << c.why;
  }
}

}  // namespace
}  // namespace vnscope::test
