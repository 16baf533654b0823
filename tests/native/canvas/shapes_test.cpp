#include "canvas/shapes.h"

#include <gtest/gtest.h>

#include <vector>

#include "canvas_fixture.h"

namespace vnscope {
namespace {

using test::Boundary;
using test::CoveredPixels;
using test::Joined;
using test::Pixels;
using test::Points;
using test::RightwardHead;
using test::Row;
using test::Stamps;

constexpr int32_t kWidth = 40;
constexpr int32_t kHeight = 30;

Pixels Drawn(void (*draw)(int32_t, int32_t, int32_t, int32_t), int32_t x0, int32_t y0, int32_t x1, int32_t y1) {
  test::OpenCanvas(kWidth, kHeight, nullptr);
  draw(x0, y0, x1, y1);
  return CoveredPixels(*CurrentLayer());
}

TEST(Shapes, RectangleOutlinesItsSidesClippedNotClamped) {
  struct Case {
    const char* what;
    int32_t x0, y0, x1, y1;
    Pixels expected;
  } cases[] = {
      {"inside", 10, 10, 13, 12, Stamps(Boundary(10, 10, 13, 12), kWidth, kHeight)},
      {"corners the other way round", 13, 12, 10, 10, Stamps(Boundary(10, 10, 13, 12), kWidth, kHeight)},
      {"a click: one stamp", 5, 5, 5, 5, Stamps({{5, 5}}, kWidth, kHeight)},
      // A line's horizontal segment would be pulled onto row 0 and reach
      // row 1; the rectangle's top side shows only its brush's lower arms.
      {"top side above the image", -5, -1, 3, 2, Stamps(Boundary(-5, -1, 3, 2), kWidth, kHeight)},
      {"a side two rows above the image: nothing of it", 2, -2, 6, 3, Stamps(Boundary(2, -2, 6, 3), kWidth, kHeight)},
      {"beyond the right edge: no pixel on the next row", 35, 5, 45, 8, Stamps(Boundary(35, 5, 45, 8), kWidth, kHeight)},
      {"all outside", 50, 40, 60, 45, {}},
  };
  for (const auto& c : cases) EXPECT_EQ(Drawn(DrawRectangle, c.x0, c.y0, c.x1, c.y1), c.expected) << c.what;
  EXPECT_EQ(CurrentLayer()->pixels.size(), size_t{kWidth * kHeight});
}

TEST(Shapes, ArrowHeadEndsAreSixteenPixelsBackAtThirtyDegrees) {
  // 16 (cos, sin) of the shaft's direction turned back by 180 +- 30 degrees,
  // worked by hand and rounded; which stroke comes first does not matter.
  struct Case {
    CanvasPoint tail, tip, one, other;
  } cases[] = {
      {{0, 0}, {10, 0}, {-4, 8}, {-4, -8}},      // right: (-13.86, +-8)
      {{0, 0}, {0, 10}, {8, -4}, {-8, -4}},      // down: (+-8, -13.86)
      {{0, 0}, {10, 10}, {6, -5}, {-5, 6}},      // 45 degrees: (-4.14, -15.45), (-15.45, -4.14)
      {{0, 0}, {30, 40}, {28, 24}, {15, 34}},    // 3-4-5: (-1.91, -15.89), (-14.71, -6.29)
      {{20, 20}, {10, 20}, {24, 12}, {24, 28}},  // left: (13.86, -+8)
  };
  for (const auto& c : cases) {
    const auto [one, other] = ArrowHeadEnds(c.tail, c.tip);
    EXPECT_TRUE((one == c.one && other == c.other) || (one == c.other && other == c.one))
        << "tip " << c.tip.x << ", " << c.tip.y << ": " << one.x << ", " << one.y << " and " << other.x << ", "
        << other.y;
  }
}

TEST(Shapes, ArrowIsAShaftAndTwoHeadStrokes) {
  // The 45-degree head strokes, stepped by hand: 15 steps toward (-4, -15)
  // and, mirrored over the diagonal, toward (-15, -4).
  const Points diagonalHead = {{20, 20}, {20, 19}, {20, 18}, {20, 17}, {19, 16}, {19, 15}, {19, 14}, {19, 13},
                               {18, 12}, {18, 11}, {18, 10}, {18, 9},  {17, 8},  {17, 7},  {17, 6},  {19, 20},
                               {18, 20}, {17, 20}, {16, 19}, {15, 19}, {14, 19}, {13, 19}, {12, 18}, {11, 18},
                               {10, 18}, {9, 18},  {8, 17},  {7, 17},  {6, 17}};
  Points diagonalShaft;
  for (int32_t i = 0; i < 10; ++i) diagonalShaft.push_back({10 + i, 10 + i});
  struct Case {
    const char* what;
    int32_t x0, y0, x1, y1;
    Pixels expected;
  } cases[] = {
      {"rightward: a horizontal shaft stamped at both ends", 10, 10, 30, 10,
       Stamps(Joined(Row(10, 30, 10), RightwardHead(30, 10)), kWidth, kHeight)},
      {"diagonal: the shaft's end left to the head", 10, 10, 20, 20,
       Stamps(Joined(diagonalShaft, diagonalHead), kWidth, kHeight)},
      {"along the row above the image: clipped, not pulled onto row 0", 5, -1, 25, -1,
       Stamps(Joined(Row(5, 25, -1), RightwardHead(25, -1)), kWidth, kHeight)},
      {"a click: nothing", 12, 12, 12, 12, {}},
  };
  for (const auto& c : cases) EXPECT_EQ(Drawn(DrawArrow, c.x0, c.y0, c.x1, c.y1), c.expected) << c.what;
}

TEST(Shapes, NothingIsDrawnWhileTheBaseLayerIsCurrent) {
  for (auto draw : {DrawRectangle, DrawArrow}) {
    test::OpenCanvas(8, 8, nullptr);
    DeleteLayer(1);
    ASSERT_EQ(CurrentLayerIndex(), 0);
    draw(1, 1, 6, 5);
    EXPECT_TRUE(CoveredPixels(*LayerAt(0)).empty());
  }
}

TEST(Shapes, StrokesTakeTheLineColour) {
  const uint32_t before = LineColour();
  SetLineColour(0x00336699);
  test::OpenCanvas(kWidth, kHeight, nullptr);
  DrawRectangle(2, 2, 6, 6);
  DrawArrow(10, 20, 30, 20);
  for (const auto& [x, y] : CoveredPixels(*CurrentLayer()))
    EXPECT_EQ(CurrentLayer()->pixels[static_cast<size_t>(y) * kWidth + x], 0xFF996633u) << x << ", " << y;
  SetLineColour(before);
}

}  // namespace
}  // namespace vnscope
