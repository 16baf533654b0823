#include "canvas/layer_stack.h"

#include <gtest/gtest.h>

#include <cstring>

#include "canvas_fixture.h"

namespace vnscope {
namespace {

using test::Bgra;
using test::CompositeAt;
using test::OpenCanvas;
using test::SolidScreenshot;

TEST(LayerStack, FreshCanvasShowsTheScreenshotWithAlphaZero) {
  const auto shot = SolidScreenshot(7, 5, 10, 20, 30, 255);
  OpenCanvas(7, 5, shot.data());
  EXPECT_EQ(LayerCount(), 2);
  EXPECT_EQ(CurrentLayerIndex(), 1);
  EXPECT_EQ(CurrentLayer(), LayerAt(1));
  for (int32_t y = 0; y < 5; ++y)
    for (int32_t x = 0; x < 7; ++x) EXPECT_EQ(CompositeAt(x, y), (Bgra{10, 20, 30, 0}));
}

TEST(LayerStack, ScreenshotAlphaDecidesWhetherItShows) {
  const auto transparent = SolidScreenshot(3, 3, 90, 80, 70, 0);
  OpenCanvas(3, 3, transparent.data());
  EXPECT_EQ(CompositeAt(1, 1), (Bgra{0, 0, 0, 0}));
  OpenCanvas(3, 3, nullptr);  // no screenshot: an all-zero base
  EXPECT_EQ(CompositeAt(2, 2), (Bgra{0, 0, 0, 0}));
}

// Sizes no vector can hold fail as a missing block does, with an empty
// layer, instead of throwing out of the canvas window's creation.
TEST(LayerStack, SizesPastAnyBlockGiveAnEmptyLayer) {
  const struct {
    const char* why;
    int32_t width, height;
  } cases[] = {
      {"more pixels than a vector of them can count", INT32_MAX, INT32_MAX},
      {"a negative size", -1, 4},
  };
  for (const auto& c : cases) {
    Layer layer;
    EXPECT_FALSE(InitLayer(layer, c.width, c.height, nullptr)) << c.why;
    EXPECT_EQ(layer.width, 0) << c.why;
    EXPECT_EQ(layer.height, 0) << c.why;
    EXPECT_TRUE(layer.pixels.empty()) << c.why;
    EXPECT_FALSE(InitLayer(CompositeImage(), c.width, c.height, nullptr)) << c.why;
    EXPECT_EQ(CompositeImage().width, 0) << c.why;
    EXPECT_FALSE(ResetLayers(c.width, c.height, nullptr)) << c.why;
    EXPECT_EQ(LayerAt(0)->height, 0) << c.why;
  }
}

// One opaque pixel of colour C on layer 1 over a grey screenshot: C at the
// pixel, black on its eight neighbours, the screenshot elsewhere, and nothing
// wrapping across an edge.
TEST(LayerStack, OpaquePixelGetsABlackRimClippedAtTheEdges) {
  constexpr int32_t kWidth = 20, kHeight = 15;
  const Bgra grey{128, 128, 128, 0}, colour{0x30, 0x20, 0x10, 0}, black{0, 0, 0, 0};
  struct Case {
    int32_t x, y;
  } cases[] = {{10, 10}, {0, 0}, {kWidth - 1, 7}, {0, kHeight - 1}};
  for (const auto& c : cases) {
    const auto shot = SolidScreenshot(kWidth, kHeight, 128, 128, 128, 255);
    OpenCanvas(kWidth, kHeight, shot.data());
    SetLayerPixel(*CurrentLayer(), c.x, c.y, 0xFF102030);
    Recomposite();
    for (int32_t y = 0; y < kHeight; ++y)
      for (int32_t x = 0; x < kWidth; ++x) {
        const bool centre = x == c.x && y == c.y;
        const bool near = std::abs(x - c.x) <= 1 && std::abs(y - c.y) <= 1;
        EXPECT_EQ(CompositeAt(x, y), centre ? colour : near ? black : grey)
            << "pixel (" << c.x << ", " << c.y << ") seen at (" << x << ", " << y << ")";
      }
  }
}

// Worked by hand from the rim and blend rules: each rim step is
// c - floor(c a / 255), the blend c + trunc((s - c) a / 255).
TEST(LayerStack, PartialAlphaDarkensThenBlends) {
  struct Case {
    Bgra under;
    uint32_t layerPixel;
    Bgra expected;
  } cases[] = {
      // White at 128 over (200, 100, 0): rim (100, 50, 0), blend (177, 152, 128).
      {{200, 100, 0, 255}, 0x80FFFFFF, {177, 152, 128, 0}},
      // Black at 128 over 255: rim 255 - 128 = 127, blend 127 - 63 = 64.
      {{255, 255, 255, 255}, 0x80000000, {64, 64, 64, 0}},
      // Black at 200 over 10: rim 10 - 7 = 3, blend 3 + trunc(-600 / 255) = 1.
      {{10, 10, 10, 255}, 0xC8000000, {1, 1, 1, 0}},
      // Alpha 1 over 255: rim 255 - 1 = 254, blend toward 0 by trunc(-254 / 255) = 0.
      {{255, 255, 255, 255}, 0x01000000, {254, 254, 254, 0}},
  };
  for (const auto& c : cases) {
    const auto shot = SolidScreenshot(5, 5, c.under.b, c.under.g, c.under.r, c.under.a);
    OpenCanvas(5, 5, shot.data());
    SetLayerPixel(*CurrentLayer(), 2, 2, c.layerPixel);
    EXPECT_TRUE(CompositeChanges());
    EXPECT_EQ(CompositeAt(2, 2), c.expected) << std::hex << c.layerPixel;
  }
}

TEST(LayerStack, SelectAndDeleteFollowTheStack) {
  OpenCanvas(4, 4, nullptr);
  AddLayer();
  AddLayer();  // base, 1, 2, 3
  Layer* second = LayerAt(2);
  SelectLayer(0);
  EXPECT_EQ(CurrentLayerIndex(), 3) << "selecting the base changes nothing";
  SelectLayer(1);
  EXPECT_EQ(CurrentLayerIndex(), 1);
  SelectLayer(9);
  EXPECT_EQ(CurrentLayerIndex(), 3) << "beyond the stack: the last layer";
  DeleteLayer(4);
  EXPECT_EQ(LayerCount(), 4) << "beyond the stack: nothing";
  DeleteLayer(1);
  EXPECT_EQ(CurrentLayerIndex(), 1);
  EXPECT_EQ(CurrentLayer(), second) << "positions are stable: the follower keeps its address";
  DeleteLayer(2);
  EXPECT_EQ(CurrentLayerIndex(), 1) << "removing the last makes the one before it current";
  DeleteLayer(1);
  EXPECT_EQ(LayerCount(), 1);
  EXPECT_EQ(CurrentLayerIndex(), 0);
}

TEST(LayerStack, DeletingTheTextTargetClearsIt) {
  OpenCanvas(4, 4, nullptr);
  AddLayer();
  SetTextTarget(CurrentLayer());
  DeleteLayer(1);
  EXPECT_EQ(TextTarget(), LayerAt(1)) << "another layer's removal keeps the target";
  DeleteLayer(1);
  EXPECT_EQ(TextTarget(), nullptr);
  SetTextTarget(LayerAt(0));
  OpenCanvas(4, 4, nullptr);
  EXPECT_EQ(TextTarget(), nullptr) << "a new canvas has no target";
}

TEST(LayerStack, FlattenWritesOnlyAMatching32BitBuffer) {
  const auto shot = SolidScreenshot(3, 2, 1, 2, 3, 255);
  OpenCanvas(3, 2, shot.data());
  struct Case {
    uint8_t bits;
    uint16_t width, height;
    bool written;
  } cases[] = {{32, 3, 2, true}, {39, 3, 2, true}, {24, 3, 2, false}, {40, 3, 2, false},
               {32, 2, 3, false}, {32, 3, 1, false}};
  for (const auto& c : cases) {
    std::vector<uint8_t> destination(3 * 2 * 4, 0xEE);
    FlattenSnapshot(c.bits, c.width, c.height, destination.data());
    const std::vector<uint8_t> expected =
        c.written ? SolidScreenshot(3, 2, 1, 2, 3, 0xFF) : std::vector<uint8_t>(24, 0xEE);
    EXPECT_EQ(destination, expected) << int{c.bits} << " bits, " << c.width << " x " << c.height;
  }
  FlattenSnapshot(32, 3, 2, nullptr);  // ignored, not a crash
}

TEST(LayerStack, LineColourBecomesAnOpaqueLayerPixel) {
  const uint32_t before = LineColour();
  SetLineColour(0x00332211);  // COLORREF: red 0x11, green 0x22, blue 0x33
  EXPECT_EQ(LinePixel(), 0xFF112233u);
  SetLineColour(before);
}

}  // namespace
}  // namespace vnscope
