// The preview: sizing by the first picture, what is drawn, and the records
// it refuses.
#include <vector>

#include "harness/harness.h"
#include "harness/memory_pressure.h"

namespace vnscope::test {
namespace {

class PreviewTest : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    ASSERT_TRUE(monitors.created());
    preview = monitors.set().preview;
    ASSERT_NE(preview, nullptr);
    SetWindowPos(preview, HWND_TOP, 0, 0, 0, 0, SWP_NOSIZE | SWP_SHOWWINDOW);
    PumpMessages();
  }
  void Send(int32_t width, int32_t height, uint8_t bitsPerPixel, const void* pixels,
            DWORD byteCount = sizeof(PreviewImage)) {
    PreviewImage image{width, height, bitsPerPixel, {}, pixels};
    SendHostMessage(preview, VN_PREVIEW_IMAGE, &image, byteCount, engine.window());
    UpdateWindow(preview);
  }
  SIZE Client() {
    RECT r{};
    GetClientRect(preview, &r);
    return {r.right, r.bottom};
  }
  COLORREF PixelAt(int x, int y) {
    HDC dc = GetDC(preview);
    const COLORREF colour = GetPixel(dc, x, y);
    ReleaseDC(preview, dc);
    return colour;
  }

  ScopedMonitors monitors{engine.window(), 24};
  HWND preview = nullptr;
};

// Bottom-up 32-bit rows: the lower half blue, the upper half red.
std::vector<uint32_t> Halves(int width, int height) {
  std::vector<uint32_t> pixels(static_cast<size_t>(width) * height, 0x000000FF);
  for (size_t i = pixels.size() / 2; i < pixels.size(); ++i) pixels[i] = 0x00FF0000;
  return pixels;
}

TEST_F(PreviewTest, FirstPictureSizesTheWindowAndLaterOnesDoNot) {
  const auto big = Halves(640, 480);
  Send(640, 480, 32, big.data());
  EXPECT_EQ(Client().cx, 640);
  EXPECT_EQ(Client().cy, 480);
  EXPECT_EQ(PixelAt(10, 10), RGB(255, 0, 0));
  EXPECT_EQ(PixelAt(10, 470), RGB(0, 0, 255));

  const std::vector<uint32_t> small(320 * 240, 0x0000FF00);
  Send(320, 240, 32, small.data());
  EXPECT_EQ(Client().cx, 640);
  EXPECT_EQ(Client().cy, 480);
  EXPECT_EQ(PixelAt(10, 10), RGB(0, 255, 0));
  // Outside the smaller picture nothing was invalidated: the old one stays.
  EXPECT_EQ(PixelAt(600, 470), RGB(0, 0, 255));
}

TEST_F(PreviewTest, RecordsOfAnotherSizeAreIgnored) {
  const SIZE before = Client();
  const auto pixels = Halves(100, 100);
  Send(100, 100, 32, pixels.data(), 12);
  EXPECT_EQ(Client().cx, before.cx);
  EXPECT_EQ(Client().cy, before.cy);
  // The first picture that does arrive still sizes the window.
  Send(100, 100, 32, pixels.data());
  EXPECT_EQ(Client().cx, 100);
  EXPECT_EQ(Client().cy, 100);
}

TEST_F(PreviewTest, PicturesBelowSixteenBitsAreRefused) {
  const SIZE before = Client();
  const std::vector<uint8_t> pixels(64 * 64, 0xFF);
  Send(64, 64, 8, pixels.data());
  Send(64, 64, 1, pixels.data());
  EXPECT_EQ(Client().cx, before.cx);
  EXPECT_EQ(Client().cy, before.cy);
}

TEST_F(PreviewTest, RowsNotAMultipleOfFourBytesArePaddedInTheCopy) {
  // 3 x 2 pixels of 24 bits: 9-byte rows, bottom row first.
  const uint8_t pixels[] = {
      0, 0, 255, 0, 0, 255, 255, 0, 0,  // bottom: red, red, blue
      0, 255, 0, 0, 255, 0, 0, 255, 0,  // top: green
  };
  Send(3, 2, 24, pixels);
  EXPECT_EQ(PixelAt(0, 1), RGB(255, 0, 0));
  EXPECT_EQ(PixelAt(2, 1), RGB(0, 0, 255));
  EXPECT_EQ(PixelAt(0, 0), RGB(0, 255, 0));
  EXPECT_EQ(PixelAt(2, 0), RGB(0, 255, 0));
}

// A picture the copy finds no memory for (128 MiB, within the monitor's
// own bound) is refused like a malformed one: the last picture stays.
TEST_F(PreviewTest, APictureWithoutMemoryForItsCopyLeavesTheLastOne) {
  const auto first = Halves(100, 100);
  Send(100, 100, 32, first.data());
  ASSERT_EQ(PixelAt(10, 10), RGB(255, 0, 0));
  {
    const ScopedAddressSpaceSqueeze crowded(64u << 20);
    // Never read: the copy is refused before it starts.
    const uint32_t pixel = 0x0000FF00;
    Send(4096, 8192, 32, &pixel);
  }
  InvalidateRect(preview, nullptr, TRUE);
  UpdateWindow(preview);
  EXPECT_EQ(Client().cx, 100);
  EXPECT_EQ(PixelAt(10, 10), RGB(255, 0, 0));
  EXPECT_EQ(PixelAt(10, 90), RGB(0, 0, 255));
}

}  // namespace
}  // namespace vnscope::test
