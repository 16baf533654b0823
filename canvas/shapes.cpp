#include "canvas/shapes.h"

#include <algorithm>
#include <cmath>

#include "canvas/layer_stack.h"

namespace vnscope {
namespace {

// A segment as the line tool steps it, but a vertical or horizontal one is
// clipped to the pixels whose brush reaches the image instead of being pulled
// onto its edge.
void DrawClippedSegment(Layer& layer, CanvasPoint from, CanvasPoint to, uint32_t value) {
  if (from.x == to.x) {
    if (from.x < -1 || from.x > layer.width) return;
    const int32_t last = std::min(std::max(from.y, to.y), layer.height);
    for (int32_t y = std::max(std::min(from.y, to.y), -1); y <= last; ++y) StampBrush(layer, from.x, y, value);
  } else if (from.y == to.y) {
    if (from.y < -1 || from.y > layer.height) return;
    const int32_t last = std::min(std::max(from.x, to.x), layer.width);
    for (int32_t x = std::max(std::min(from.x, to.x), -1); x <= last; ++x) StampBrush(layer, x, from.y, value);
  } else {
    StepSegment(layer, from.x, from.y, to.x, to.y, value);
  }
}

// The layer the tools draw into; null while the base layer is current.
Layer* ToolLayer() { return CurrentLayerIndex() == 0 ? nullptr : CurrentLayer(); }

}  // namespace

void DrawRectangle(int32_t x0, int32_t y0, int32_t x1, int32_t y1) {
  Layer* layer = ToolLayer();
  if (layer == nullptr) return;
  const uint32_t value = LinePixel();
  const CanvasPoint corners[4] = {{x0, y0}, {x1, y0}, {x1, y1}, {x0, y1}};
  for (int side = 0; side < 4; ++side) DrawClippedSegment(*layer, corners[side], corners[(side + 1) % 4], value);
}

std::pair<CanvasPoint, CanvasPoint> ArrowHeadEnds(CanvasPoint tail, CanvasPoint tip) {
  const double dx = tip.x - tail.x, dy = tip.y - tail.y;
  const double length = std::hypot(dx, dy);
  const double backX = -dx / length, backY = -dy / length;
  const double turn = kArrowHeadDegrees * std::acos(-1.0) / 180;
  const double c = std::cos(turn) * kArrowHeadLength, s = std::sin(turn) * kArrowHeadLength;
  auto end = [&](double x, double y) {
    return CanvasPoint{tip.x + static_cast<int32_t>(std::lround(x)), tip.y + static_cast<int32_t>(std::lround(y))};
  };
  return {end(backX * c - backY * s, backX * s + backY * c), end(backX * c + backY * s, -backX * s + backY * c)};
}

void DrawArrow(int32_t x0, int32_t y0, int32_t x1, int32_t y1) {
  Layer* layer = ToolLayer();
  if (layer == nullptr || (x0 == x1 && y0 == y1)) return;
  const uint32_t value = LinePixel();
  const CanvasPoint tail{x0, y0}, tip{x1, y1};
  // The shaft's stepping leaves the tip out; the head's strokes start there.
  DrawClippedSegment(*layer, tail, tip, value);
  const auto [one, other] = ArrowHeadEnds(tail, tip);
  DrawClippedSegment(*layer, tip, one, value);
  DrawClippedSegment(*layer, tip, other, value);
}

}  // namespace vnscope
