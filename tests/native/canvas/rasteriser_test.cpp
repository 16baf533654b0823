#include "canvas/rasteriser.h"

#include <gtest/gtest.h>

#include "canvas_fixture.h"

namespace vnscope {
namespace {

using test::CoveredPixels;
using test::Pixels;
using test::Stamps;

TEST(Rasteriser, SegmentsStampTheBrushAlongTheLine) {
  struct Case {
    const char* what;
    int32_t x0, y0, x1, y1;
    Pixels expected;
  } cases[] = {
      {"horizontal: both ends", 10, 10, 20, 10,
       Stamps({{10, 10}, {11, 10}, {12, 10}, {13, 10}, {14, 10}, {15, 10}, {16, 10}, {17, 10}, {18, 10},
               {19, 10}, {20, 10}}, 40, 30)},
      {"general: end point left to the next segment", 10, 10, 14, 12,
       Stamps({{10, 10}, {11, 10}, {12, 11}, {13, 11}}, 40, 30)},
      {"steep: y steps", 5, 5, 6, 8, Stamps({{5, 5}, {5, 6}, {5, 7}}, 40, 30)},
      {"a single point", 3, 4, 3, 4, Stamps({{3, 4}}, 40, 30)},
      {"vertical beyond the bottom: clamped", 2, 25, 2, 90,
       Stamps({{2, 25}, {2, 26}, {2, 27}, {2, 28}, {2, 29}}, 40, 30)},
      {"horizontal beyond the right edge: up to the last column", 35, 0, 500, 0,
       Stamps({{35, 0}, {36, 0}, {37, 0}, {38, 0}, {39, 0}}, 40, 30)},
      // A click left of the window during capture is negative, so the line
      // goes toward the left edge, not to the far right.
      {"horizontal left of the window: toward column 0", 3, 7, -200, 7,
       Stamps({{0, 7}, {1, 7}, {2, 7}, {3, 7}}, 40, 30)},
      {"general off the image: only the pixels inside", -2, -2, 1, 1, Stamps({{-1, -1}, {0, 0}}, 40, 30)},
  };
  for (const auto& c : cases) {
    test::OpenCanvas(40, 30, nullptr);
    DrawSegment(c.x0, c.y0, c.x1, c.y1);
    EXPECT_EQ(CoveredPixels(*CurrentLayer()), c.expected) << c.what;
    EXPECT_EQ(CurrentLayer()->pixels[static_cast<size_t>(c.expected.begin()->second) * 40 +
                                     c.expected.begin()->first],
              LinePixel())
        << c.what;
  }
}

TEST(Rasteriser, NothingIsDrawnWhileTheBaseLayerIsCurrent) {
  test::OpenCanvas(8, 8, nullptr);
  DeleteLayer(1);
  ASSERT_EQ(CurrentLayerIndex(), 0);
  DrawSegment(1, 1, 6, 1);
  EXPECT_TRUE(CoveredPixels(*LayerAt(0)).empty());
}

TEST(Rasteriser, ClientToImageUndoesZoomAndPan) {
  struct Case {
    int32_t zoom;
    CanvasPoint pan, client, image;
  } cases[] = {
      {1, {0, 0}, {17, 23}, {17, 23}},
      {2, {0, 0}, {400, 300}, {400, 300}},  // the centre stays put
      {2, {0, 0}, {0, 0}, {200, 150}},
      {2, {100, -40}, {500, 260}, {400, 300}},
      {3, {0, 0}, {-1, -1}, {267, 200}},  // 400 + (-401) / 3 truncates toward zero
  };
  for (const auto& c : cases) {
    CanvasView view{800, 600, c.zoom, c.pan, {}};
    EXPECT_EQ(ClientToImage(view, c.client), c.image) << c.zoom << " at " << c.client.x << ", " << c.client.y;
  }
}

TEST(Rasteriser, ZoomStaysWithinOneToFive) {
  CanvasView view{800, 600};
  for (int i = 0; i < 6; ++i) StepZoom(view, false);
  EXPECT_EQ(view.zoom, 5);
  view.pan = {10000, -10000};
  ClampPan(view);
  EXPECT_EQ(view.pan, (CanvasPoint{1600, -1200}));  // (5 x 800) / 2 - 400, 300 - (5 x 600) / 2
  CanvasView one{800, 600, 1, {0, 0}, {7, 7}};
  StepZoom(one, true);
  EXPECT_EQ(one.zoom, 1);
  EXPECT_EQ(one.pan, (CanvasPoint{0, 0}));
  EXPECT_EQ(one.panAnchor, (CanvasPoint{0, 0}));
}

TEST(Rasteriser, PanFollowsTheDragWithinTheImage) {
  CanvasView view{100, 80, 2, {0, 0}, {50, 50}};
  DragPan(view, {60, 45});
  EXPECT_EQ(view.pan, (CanvasPoint{10, -5}));
  EXPECT_EQ(view.panAnchor, (CanvasPoint{60, 45}));
  DragPan(view, {500, 45});
  EXPECT_EQ(view.pan.x, 50) << "held at (2 x 100) / 2 - 50";
  EXPECT_EQ(ImageOrigin(view), (CanvasPoint{0, -45}));  // 50 - 100 + 50, 40 - 80 - 5
}

}  // namespace
}  // namespace vnscope
