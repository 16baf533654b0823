// Seeds for composite: screenshots from the canvas tests' fixture, then
// strokes, pixels, text and layer edits as the window makes them.
#include <algorithm>
#include <iterator>

#include "canvas/canvas_fixture.h"
#include "fuzz/canvas/composite_ops.h"
#include "fuzz/common/op_stream.h"
#include "seeds/seed_registry.h"

namespace vnscope::fuzz {
namespace {

using namespace composite;

// The screenshot as the target reads it: sizes less one, opacity, then B, G,
// R per pixel and, unless opaque, its alpha (one of kAlphas by index, or
// kAnyAlpha and the alpha itself).
OpWriter Screenshot(int32_t width, int32_t height, uint8_t alpha) {
  const std::vector<uint8_t> pixels = test::SolidScreenshot(width, height, 0x20, 0x80, 0xE0, alpha);
  OpWriter out;
  const bool opaque = alpha == 255;
  out.U8(static_cast<uint8_t>(width - 1)).U8(static_cast<uint8_t>(height - 1)).U8(opaque ? 0 : 1);
  for (size_t i = 0; i < pixels.size(); ++i) {
    if (i % 4 != 3) {
      out.U8(static_cast<uint8_t>(pixels[i] + i));
    } else if (!opaque) {
      const auto known = std::find(std::begin(kAlphas), std::end(kAlphas), pixels[i]);
      if (known != std::end(kAlphas)) out.U8(static_cast<uint8_t>(known - std::begin(kAlphas)));
      else out.U8(kAnyAlpha).U8(pixels[i]);
    }
  }
  return out;
}

// A segment near the picture: each coordinate plus 3.
OpWriter& Segment(OpWriter& out, int x0, int y0, int x1, int y1, uint8_t pileUp = 0) {
  out.U8(kSegment | pileUp).U8(0);
  for (int value : {x0, y0, x1, y1}) out.U8(0).U8(static_cast<uint8_t>(value + 3));
  return out;
}

const SeedWriter kComposite("composite", [] {
  OpWriter stroke = Screenshot(5, 4, 255);
  Segment(Segment(Segment(stroke, 0, 0, 4, 3), 2, -3, 2, 6), -3, 1, 7, 1);
  stroke.U8(kPixels).U8(0).U8(2).U8(0).U8(4).U8(0).U8(4).U8(3).U32(0x123456);

  OpWriter translucent = Screenshot(7, 3, 128);
  translucent.U8(kAddLayer).U8(kPixels).U8(1).U8(0).U8(5).U8(0).U8(4).U8(3).U32(0xABCDEF);
  Segment(translucent, 1, 1, 5, 2).U8(kRecomposite);

  // Zoomed in twice, panned, then a stroke in client positions.
  stroke.U8(kView).U8(1).U8(kView).U8(1).U8(kView).U8(0).U16(40).U16(30);
  stroke.U8(kSegment).U8(200).U16(2).U16(2).U16(9).U16(7);

  OpWriter wordEdge = Screenshot(65, 2, 255);
  Segment(wordEdge.U8(kLineColour).U32(0x00FF8000), 60, 0, 64, 0);

  OpWriter text = Screenshot(12, 10, 255);
  text.U8(kTextTarget).U8(kText).U8(4).U8(80).U8(81).U8(10).U8(82).U8(0).U8(4).U8(0).U8(5);
  for (int glyph = 0; glyph < 3; ++glyph) {
    text.U8(static_cast<uint8_t>(3 + 6 * 2)).U8(0).U8(0).U8(40);
    for (int level = 0; level < 8; ++level) text.U8(static_cast<uint8_t>(level * 9));
  }

  OpWriter layers = Screenshot(6, 5, 254);
  layers.U8(kAddLayer).U8(kAddLayer).U8(kPixels).U8(1).U8(0).U8(3).U8(0).U8(5).U8(0).U8(255).U32(0x0000FF);
  layers.U8(kSelectLayer).U8(2).U8(kDeleteLayer).U8(2).U8(1).U8(kFlatten).U8(0).U8(kReopen).U8(3).U8(2).U8(0);
  // Edits on two layers left to pile up: pixels (one of any alpha), a stroke,
  // a colour, then one stroke composites them all; more pixels, then a
  // deletion whose compositing takes them too.
  OpWriter piled = Screenshot(6, 4, 255);
  piled.U8(kAddLayer | kPileUp).U8(kPixels | kPileUp).U8(0).U8(1);
  piled.U8(0).U8(5).U8(0).U8(4).U8(2).U32(0x00FF00).U8(0).U8(6).U8(0).U8(4).U8(kAnyAlpha).U8(77).U32(0x0000FF);
  Segment(piled, 0, 0, 5, 3, kPileUp).U8(kLineColour | kPileUp).U32(0x00FF8000).U8(kSelectLayer | kPileUp).U8(2);
  Segment(piled, 0, 3, 5, 0).U8(kPixels | kPileUp).U8(1).U8(0).U8(0).U8(4).U8(0).U8(5).U8(1).U32(0xFFFFFF);
  piled.U8(kDeleteLayer).U8(1).U8(1);
  // Shapes, a mosaic and layers as steps, undone and redone.
  OpWriter history = Screenshot(20, 12, 255);
  auto corners = [&history](int x0, int y0, int x1, int y1) {
    for (int value : {x0, y0, x1, y1}) history.U8(0).U8(static_cast<uint8_t>(value + 3));
  };
  history.U8(kShape).U8(0);
  corners(2, 2, 9, 7);
  history.U8(kShape).U8(1);
  corners(1, 10, 18, 4);
  history.U8(kMosaic);
  corners(10, 1, 17, 9);
  history.U8(kLayerStep).U8(0).U8(kShape).U8(0);
  corners(-2, -1, 22, 13);
  history.U8(kLayerStep).U8(1).U8(1).U8(kUndo).U8(kUndo).U8(kUndo).U8(kRedo).U8(kRedo).U8(kUndo);
  history.U8(kMosaic);
  corners(0, 0, 19, 11);
  history.U8(kRedo).U8(kUndo).U8(kUndo);
  return Seeds{{"stroke", stroke.bytes()},   {"translucent-base", translucent.bytes()},
               {"word-edge", wordEdge.bytes()}, {"text", text.bytes()}, {"layers", layers.bytes()},
               {"piled-up", piled.bytes()},    {"history", history.bytes()}};
});

}  // namespace
}  // namespace vnscope::fuzz
